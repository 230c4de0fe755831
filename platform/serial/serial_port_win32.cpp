// A local serial port through the Windows communications API: CreateFile with overlapped
// I/O, DCB line settings, COMMTIMEOUTS (scaled by the clock), break, purge, and reads and
// writes that cancel() ends from another thread.
#include "platform/foundation/clock.h"
#include "platform/foundation/last_error.h"
#include "platform/foundation/win32_text.h"
#include "platform/serial/serial_port_backends.h"

#include <atomic>
#include <windows.h>

namespace platform {
namespace {

// A time-out value scaled as every protocol wait; MAXDWORD and 0 keep their meaning.
DWORD scaled_timeout(std::uint32_t ms) {
    if (ms == 0 || ms == kMaxDword) {
        return ms;
    }
    return static_cast<DWORD>(scaled(ms).count());
}

class Win32Port final : public SerialPort {
  public:
    Win32Port(HANDLE port, HANDLE io_event, HANDLE cancel_event)
        : port_(port), io_event_(io_event), cancel_event_(cancel_event) {}
    ~Win32Port() override {
        ::CloseHandle(port_);
        ::CloseHandle(io_event_);
        ::CloseHandle(cancel_event_);
    }

    bool get_line_settings(LineSettings& settings) override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(port_, &dcb)) {
            return fail();
        }
        settings.baud = dcb.BaudRate;
        settings.data_bits = dcb.ByteSize;
        settings.parity = static_cast<Parity>(dcb.Parity);
        settings.stop_bits = static_cast<StopBits>(dcb.StopBits);
        settings.binary = dcb.fBinary != 0;
        settings.dtr = static_cast<DtrControl>(dcb.fDtrControl);
        return succeed();
    }

    bool set_line_settings(const LineSettings& settings) override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(port_, &dcb)) {
            return fail();
        }
        dcb.BaudRate = settings.baud;
        dcb.ByteSize = settings.data_bits;
        dcb.Parity = static_cast<BYTE>(settings.parity);
        dcb.StopBits = static_cast<BYTE>(settings.stop_bits);
        dcb.fBinary = settings.binary ? TRUE : FALSE;
        switch (settings.dtr) {
        case DtrControl::Disable:
            dcb.fDtrControl = DTR_CONTROL_DISABLE;
            break;
        case DtrControl::Enable:
            dcb.fDtrControl = DTR_CONTROL_ENABLE;
            break;
        case DtrControl::Handshake:
            dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
            break;
        }
        return ::SetCommState(port_, &dcb) ? succeed() : fail();
    }

    bool get_timeouts(Timeouts& timeouts) override {
        timeouts = timeouts_;
        return succeed();
    }

    bool set_timeouts(const Timeouts& timeouts) override {
        COMMTIMEOUTS native{};
        native.ReadIntervalTimeout = scaled_timeout(timeouts.read_interval);
        native.ReadTotalTimeoutMultiplier = scaled_timeout(timeouts.read_total_multiplier);
        native.ReadTotalTimeoutConstant = scaled_timeout(timeouts.read_total_constant);
        native.WriteTotalTimeoutMultiplier = scaled_timeout(timeouts.write_total_multiplier);
        native.WriteTotalTimeoutConstant = scaled_timeout(timeouts.write_total_constant);
        if (!::SetCommTimeouts(port_, &native)) {
            return fail();
        }
        timeouts_ = timeouts;
        return succeed();
    }

    bool setup_queues(std::uint32_t input_bytes, std::uint32_t output_bytes) override {
        return ::SetupComm(port_, input_bytes, output_bytes) ? succeed() : fail();
    }

    std::optional<std::size_t> read(std::span<std::uint8_t> buffer) override {
        return transfer([&](OVERLAPPED& overlapped) {
            return ::ReadFile(port_, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr,
                              &overlapped);
        });
    }

    std::optional<std::size_t> write(std::span<const std::uint8_t> data) override {
        const auto written = transfer([&](OVERLAPPED& overlapped) {
            return ::WriteFile(port_, data.data(), static_cast<DWORD>(data.size()), nullptr,
                               &overlapped);
        });
        if (written && *written < data.size()) {
            set_last_error(kErrorTimeout);
            return std::nullopt;
        }
        return written;
    }

    bool set_break(bool on) override {
        return (on ? ::SetCommBreak(port_) : ::ClearCommBreak(port_)) ? succeed() : fail();
    }

    bool purge(std::uint32_t flags) override {
        // PurgeComm itself ends the pending operations an abort flag names; the count tells
        // them that their end was asked for.
        if ((flags & (kPurgeRxAbort | kPurgeTxAbort)) != 0) {
            aborts_asked_.fetch_add(1);
        }
        return ::PurgeComm(port_, flags) ? succeed() : fail();
    }

    void cancel() override {
        aborts_asked_.fetch_add(1);
        ::SetEvent(cancel_event_); // auto-reset: kept until an operation has been ended by it
    }
    bool connected() const override { return connected_; }

  private:
    bool succeed() {
        set_last_error(kErrorSuccess);
        return true;
    }
    bool fail() {
        const auto code = win32::take_system_error();
        if (code == ERROR_BAD_COMMAND || code == ERROR_DEVICE_NOT_CONNECTED ||
            code == ERROR_ACCESS_DENIED) {
            connected_ = false; // the device went away while open
            set_last_error(kErrorDeviceNotConnected);
        }
        return false;
    }

    // Starts an overlapped operation and waits for it or for cancel(). A cancel that came
    // while no operation was pending ends this one before it starts. An abort that nobody
    // asked for (the driver's own) is a failure of the device, not a cancel.
    template <typename Start> std::optional<std::size_t> transfer(Start start) {
        if (!connected_) {
            set_last_error(kErrorDeviceNotConnected);
            return std::nullopt;
        }
        if (::WaitForSingleObject(cancel_event_, 0) == WAIT_OBJECT_0) {
            set_last_error(kErrorOperationAborted);
            return std::nullopt;
        }
        const unsigned asked_before = aborts_asked_.load();
        OVERLAPPED overlapped{};
        overlapped.hEvent = io_event_;
        if (!start(overlapped) && ::GetLastError() != ERROR_IO_PENDING) {
            fail();
            return std::nullopt;
        }
        HANDLE handles[2] = {io_event_, cancel_event_};
        const bool cancelled =
            ::WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0 + 1;
        if (cancelled) {
            ::CancelIoEx(port_, &overlapped);
        }
        DWORD done = 0;
        if (!::GetOverlappedResult(port_, &overlapped, &done, TRUE)) {
            if (::GetLastError() != ERROR_OPERATION_ABORTED) {
                fail();
            } else if (aborts_asked_.load() != asked_before) {
                set_last_error(kErrorOperationAborted);
            } else {
                set_last_error(kErrorGenFailure);
            }
            return std::nullopt;
        }
        if (cancelled) {
            ::SetEvent(cancel_event_); // it came too late for this one: the next one ends
        }
        set_last_error(kErrorSuccess);
        return done;
    }

    HANDLE port_;
    HANDLE io_event_;
    HANDLE cancel_event_;
    Timeouts timeouts_{};
    bool connected_ = true;
    std::atomic<unsigned> aborts_asked_{0}; // cancel() and aborting purges so far
};

} // namespace

std::unique_ptr<SerialPort> open_native_port(const std::string& path) {
    // A bare "COM3" (named "/dev/COM3" by the portable part) as the device path "\\.\COM3",
    // which also reaches COM10 and above.
    std::string device = win32::windows_path(path.starts_with("/dev/") ? path.substr(5) : path);
    if (device.find('\\') == std::string::npos) {
        device = "\\\\.\\" + device;
    }
    HANDLE port = ::CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const auto code = win32::take_system_error();
        if (code == ERROR_PATH_NOT_FOUND) {
            set_last_error(kErrorFileNotFound);
        }
        return nullptr;
    }
    HANDLE io_event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE cancel_event = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (io_event == nullptr || cancel_event == nullptr) {
        win32::take_system_error();
        for (HANDLE handle : {io_event, cancel_event, port}) {
            if (handle != nullptr) {
                ::CloseHandle(handle);
            }
        }
        return nullptr;
    }
    set_last_error(kErrorSuccess);
    return std::make_unique<Win32Port>(port, io_event, cancel_event);
}

} // namespace platform
