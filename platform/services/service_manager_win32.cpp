// The service control manager: OpenSCManager, OpenService, QueryServiceStatus,
// EnumDependentServices (active ones, in the order to stop them), ControlService with
// SERVICE_CONTROL_STOP and StartService. The smart-card service is SCARDSVR (service names
// ignore case).
#include "platform/foundation/win32_text.h"
#include "platform/services/service_manager.h"

#include <windows.h>

namespace platform {
namespace {

class ServiceHandle {
  public:
    explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
    ~ServiceHandle() {
        if (handle_ != nullptr)
            ::CloseServiceHandle(handle_);
    }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    SC_HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

  private:
    SC_HANDLE handle_;
};

class Win32ServiceManager final : public ServiceManager {
  public:
    explicit Win32ServiceManager(SC_HANDLE manager) : manager_(manager) {}

    std::optional<ServiceState> query(std::string_view service) override {
        const ServiceHandle handle = open(service, SERVICE_QUERY_STATUS);
        SERVICE_STATUS status{};
        if (!handle || !::QueryServiceStatus(handle.get(), &status)) {
            win32::take_system_error();
            return std::nullopt;
        }
        switch (status.dwCurrentState) {
        case SERVICE_STOPPED:
            return ServiceState::Stopped;
        case SERVICE_STOP_PENDING:
            return ServiceState::Stopping;
        default:
            return ServiceState::Running;
        }
    }

    std::optional<std::vector<std::string>> active_dependents(std::string_view service) override {
        const ServiceHandle handle = open(service, SERVICE_ENUMERATE_DEPENDENTS);
        if (!handle) {
            win32::take_system_error();
            return std::nullopt;
        }
        DWORD needed = 0;
        DWORD count = 0;
        std::vector<BYTE> buffer;
        while (!::EnumDependentServicesW(handle.get(), SERVICE_ACTIVE,
                                         reinterpret_cast<LPENUM_SERVICE_STATUSW>(buffer.data()),
                                         static_cast<DWORD>(buffer.size()), &needed, &count)) {
            if (::GetLastError() != ERROR_MORE_DATA || needed <= buffer.size()) {
                win32::take_system_error();
                return std::nullopt;
            }
            buffer.resize(needed);
        }
        std::vector<std::string> dependents;
        const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUSW*>(buffer.data());
        for (DWORD at = 0; at < count; ++at)
            dependents.push_back(win32::utf8(entries[at].lpServiceName));
        return dependents;
    }

    bool stop(std::string_view service) override {
        const ServiceHandle handle = open(service, SERVICE_STOP);
        SERVICE_STATUS status{};
        if (!handle || !::ControlService(handle.get(), SERVICE_CONTROL_STOP, &status)) {
            win32::take_system_error();
            return false;
        }
        return true;
    }

    bool start(std::string_view service) override {
        const ServiceHandle handle = open(service, SERVICE_START);
        if (!handle || !::StartServiceW(handle.get(), 0, nullptr)) {
            win32::take_system_error();
            return false;
        }
        return true;
    }

  private:
    ServiceHandle open(std::string_view service, DWORD access) {
        return ServiceHandle(::OpenServiceW(manager_.get(), win32::wide(service).c_str(), access));
    }

    ServiceHandle manager_;
};

} // namespace

std::unique_ptr<ServiceManager> ServiceManager::open() {
    const SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr) {
        win32::take_system_error();
        return nullptr;
    }
    return std::make_unique<Win32ServiceManager>(manager);
}

std::string_view smart_card_service_name() {
    return "SCARDSVR";
}

std::string_view smart_card_service_process_name() {
    return "SCARDSVR"; // the service program of the 9x platforms
}

} // namespace platform
