// A local serial device through termios: exclusive open, line settings, the Windows time-out
// rules with poll(), break, purge, and reads that another thread can end.
#include "platform/foundation/last_error.h"
#include "platform/io/wait_posix.h"
#include "platform/serial/serial_port_backends.h"
#include "platform/serial/serial_timeouts.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace platform {
namespace {

struct BaudEntry {
    std::uint32_t rate;
    speed_t code;
};
constexpr BaudEntry kBauds[] = {
    {110, B110},       {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
    {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

std::optional<speed_t> speed_code(std::uint32_t rate) {
    for (const auto& entry : kBauds) {
        if (entry.rate == rate) {
            return entry.code;
        }
    }
    return std::nullopt;
}

std::uint32_t speed_rate(speed_t code) {
    for (const auto& entry : kBauds) {
        if (entry.code == code) {
            return entry.rate;
        }
    }
    return 0;
}

// Binary transfer: no translation, no flow control characters, no signals. The descriptor is
// non-blocking and the time-out rules are kept with poll; VMIN 1 makes an empty read report
// EAGAIN, so that a read of 0 bytes means the line hung up.
void make_raw(termios& tio) {
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF | IXANY);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
}

bool device_gone_errno(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

class TermiosPort final : public SerialPort {
  public:
    TermiosPort(int fd, const termios& original) : fd_(fd), original_(original) {}
    ~TermiosPort() override {
        // Leaves the line as the previous program had it. Ignored on failure: the port is
        // being closed and nothing is left to report to.
        ::tcsetattr(fd_, TCSANOW, &original_);
        ::close(fd_); // also drops the flock
    }

    bool valid() const { return cancel_.valid(); }

    bool get_line_settings(LineSettings& settings) override {
        termios tio{};
        if (::tcgetattr(fd_, &tio) != 0) {
            return fail_from_errno();
        }
        settings.baud = speed_rate(cfgetospeed(&tio));
        switch (tio.c_cflag & CSIZE) {
        case CS5:
            settings.data_bits = 5;
            break;
        case CS6:
            settings.data_bits = 6;
            break;
        case CS7:
            settings.data_bits = 7;
            break;
        default:
            settings.data_bits = 8;
            break;
        }
        if ((tio.c_cflag & PARENB) == 0) {
            settings.parity = Parity::None;
        } else if (tio.c_cflag & CMSPAR) {
            settings.parity = (tio.c_cflag & PARODD) ? Parity::Mark : Parity::Space;
        } else {
            settings.parity = (tio.c_cflag & PARODD) ? Parity::Odd : Parity::Even;
        }
        settings.stop_bits =
            (tio.c_cflag & CSTOPB)
                ? (settings.data_bits == 5 ? StopBits::OnePointFive : StopBits::Two)
                : StopBits::One;
        settings.binary = binary_;
        settings.dtr = dtr_;
        set_last_error(kErrorSuccess);
        return true;
    }

    bool set_line_settings(const LineSettings& settings) override {
        const auto speed = speed_code(settings.baud);
        if (!speed || settings.data_bits < 5 || settings.data_bits > 8) {
            set_last_error(kErrorInvalidParameter);
            return false;
        }
        termios tio{};
        if (::tcgetattr(fd_, &tio) != 0) {
            return fail_from_errno();
        }
        make_raw(tio);
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
        static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
        tio.c_cflag |= kSizes[settings.data_bits - 5];
        switch (settings.parity) {
        case Parity::None:
            break;
        case Parity::Odd:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case Parity::Even:
            tio.c_cflag |= PARENB;
            break;
        case Parity::Mark:
            tio.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case Parity::Space:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
        }
        if (settings.stop_bits != StopBits::One) {
            tio.c_cflag |= CSTOPB;
        }
        cfsetispeed(&tio, *speed);
        cfsetospeed(&tio, *speed);
        if (::tcsetattr(fd_, TCSANOW, &tio) != 0) {
            return fail_from_errno();
        }
        // Handshake on DTR has no termios form; the line is raised as with Enable.
        int dtr = TIOCM_DTR;
        const bool raise = settings.dtr != DtrControl::Disable;
        if (::ioctl(fd_, raise ? TIOCMBIS : TIOCMBIC, &dtr) != 0 && errno != ENOTTY &&
            errno != EINVAL) {
            return fail_from_errno(); // pseudo-terminals have no modem lines
        }
        binary_ = settings.binary;
        dtr_ = settings.dtr;
        set_last_error(kErrorSuccess);
        return true;
    }

    bool get_timeouts(Timeouts& timeouts) override {
        timeouts = timeouts_;
        set_last_error(kErrorSuccess);
        return true;
    }
    bool set_timeouts(const Timeouts& timeouts) override {
        timeouts_ = timeouts;
        set_last_error(kErrorSuccess);
        return true;
    }
    bool setup_queues(std::uint32_t, std::uint32_t) override {
        set_last_error(kErrorSuccess); // the tty layer keeps its own buffers
        return true;
    }

    std::optional<std::size_t> read(std::span<std::uint8_t> buffer) override {
        if (!connected()) {
            set_last_error(kErrorDeviceNotConnected);
            return std::nullopt;
        }
        cancel_.clear();
        Reader reader{*this};
        return read_under_timeouts(timeouts_, buffer, reader);
    }

    std::optional<std::size_t> write(std::span<const std::uint8_t> data) override {
        if (!connected()) {
            set_last_error(kErrorDeviceNotConnected);
            return std::nullopt;
        }
        cancel_.clear();
        Writer writer{*this};
        return write_under_timeouts(timeouts_, data, writer);
    }

    bool set_break(bool on) override {
        if (::ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) != 0) {
            return fail_from_errno();
        }
        set_last_error(kErrorSuccess);
        return true;
    }

    bool purge(std::uint32_t flags) override {
        const bool rx = (flags & (kPurgeRxAbort | kPurgeRxClear)) != 0;
        const bool tx = (flags & (kPurgeTxAbort | kPurgeTxClear)) != 0;
        if (flags & (kPurgeRxAbort | kPurgeTxAbort)) {
            cancel_.raise(); // ends an operation pending on another thread
        }
        if ((rx || tx) && ::tcflush(fd_, rx && tx ? TCIOFLUSH : (rx ? TCIFLUSH : TCOFLUSH)) != 0) {
            return fail_from_errno();
        }
        set_last_error(kErrorSuccess);
        return true;
    }

    void cancel() override { cancel_.raise_kept(); }
    bool connected() const override { return connected_.load(); }

  private:
    bool fail_from_errno() {
        const int error = errno;
        if (device_gone_errno(error)) {
            connected_.store(false);
            set_last_error(kErrorDeviceNotConnected);
        } else {
            set_last_error_from_errno(error);
        }
        return false;
    }

    TransferStep gone() {
        connected_.store(false);
        return {0, kErrorDeviceNotConnected};
    }

    // Waits for `events`; nothing when the descriptor is ready, else the step to report.
    std::optional<TransferStep> wait(short events, WaitLimit limit) {
        short revents = 0;
        switch (wait_for(fd_, events, limit, cancel_, revents)) {
        case WaitOutcome::Cancelled:
            cancel_.seen();
            return TransferStep{0, kErrorOperationAborted};
        case WaitOutcome::TimedOut:
            return TransferStep{};
        case WaitOutcome::Failed:
            return TransferStep{0, error_from_errno(errno)};
        case WaitOutcome::Ready:
            break;
        }
        if ((revents & events) == 0 && (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            return gone();
        }
        return std::nullopt;
    }

    // One step of a non-blocking transfer: `attempt` reads or writes; when the line is not
    // ready it waits once for `events`, within `limit`. A read of no bytes means the line hung
    // up; a write of none does not.
    template <typename Attempt>
    TransferStep transfer_step(Attempt attempt, short events, WaitLimit limit,
                               bool none_is_hang_up) {
        bool waited = false;
        for (;;) {
            const ssize_t n = attempt();
            if (n > 0) {
                return {static_cast<std::size_t>(n), 0};
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if ((n == 0 && none_is_hang_up) || (n < 0 && device_gone_errno(errno))) {
                return gone();
            }
            if (n < 0 && errno != EAGAIN) {
                return {0, error_from_errno(errno)};
            }
            if (waited || (limit && *limit == 0)) {
                return {}; // nothing done, and no (more) waiting wanted
            }
            if (auto step = wait(events, limit)) {
                return *step;
            }
            waited = limit.has_value();
        }
    }

    struct Reader final : ByteSource {
        explicit Reader(TermiosPort& port) : port_(port) {}
        TransferStep fetch(std::span<std::uint8_t> buffer, WaitLimit limit) override {
            // A non-blocking tty read gives 0 only once the line hung up.
            return port_.transfer_step(
                [&] { return ::read(port_.fd_, buffer.data(), buffer.size()); }, POLLIN, limit,
                true);
        }
        TermiosPort& port_;
    };

    struct Writer final : ByteSink {
        explicit Writer(TermiosPort& port) : port_(port) {}
        TransferStep put(std::span<const std::uint8_t> data, WaitLimit limit) override {
            return port_.transfer_step([&] { return ::write(port_.fd_, data.data(), data.size()); },
                                       POLLOUT, limit, false);
        }
        TermiosPort& port_;
    };

    int fd_;
    termios original_;
    CancelSignal cancel_;
    std::atomic<bool> connected_{true};
    Timeouts timeouts_{};
    bool binary_ = true;
    DtrControl dtr_ = DtrControl::Enable;
};

} // namespace

std::unique_ptr<SerialPort> open_native_port(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        set_last_error(error == EBUSY || error == EACCES || error == EPERM
                           ? kErrorAccessDenied
                           : (error == ENOENT || error == ENXIO || error == ENODEV
                                  ? kErrorFileNotFound
                                  : error_from_errno(error)));
        return nullptr;
    }
    const auto fail = [fd](std::uint32_t code) -> std::unique_ptr<SerialPort> {
        ::close(fd);
        set_last_error(code);
        return nullptr;
    };
    termios original{};
    if (::tcgetattr(fd, &original) != 0) {
        return fail(kErrorFileNotFound); // not a serial device
    }
    // TIOCEXCL keeps other opens out (EBUSY); the lock also covers programs running as root,
    // which TIOCEXCL lets through, as long as they lock too.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return fail(errno == EWOULDBLOCK ? kErrorAccessDenied : error_from_errno(errno));
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        return fail(error_from_errno(errno));
    }
    auto port = std::make_unique<TermiosPort>(fd, original);
    if (!port->valid()) {
        set_last_error(kErrorNotEnoughMemory);
        return nullptr;
    }
    // Raw bytes from the start; the caller chooses the line settings. A port that stays as the
    // previous program left it (VMIN 0 makes an empty read look like a hang-up, a cooked line
    // changes bytes) is refused rather than used.
    termios raw = original;
    make_raw(raw);
    if (::tcsetattr(fd, TCSANOW, &raw) != 0) {
        set_last_error_from_errno(errno);
        return nullptr; // the port's destructor closes the descriptor
    }
    set_last_error(kErrorSuccess);
    return port;
}

} // namespace platform
