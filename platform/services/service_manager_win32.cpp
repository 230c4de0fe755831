// The service control manager: OpenSCManager, OpenService, QueryServiceStatus,
// EnumDependentServices (active ones, in the order to stop them), ControlService with
// SERVICE_CONTROL_STOP and StartService. The smart-card service is SCARDSVR (service names
// ignore case). Wine's EnumDependentServices answers "none" whatever depends on the service
// (Wine 8): there the dependents come from the running services' dependency lists in the
// registry.
#include "platform/foundation/last_error.h"
#include "platform/foundation/text_case.h"
#include "platform/foundation/win32_text.h"
#include "platform/services/service_manager.h"

#include <algorithm>
#include <cwchar>
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
        if (win32::running_under_wine())
            return configured_dependents(service);
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
    // A running service and the services it depends on, from its configuration.
    struct Configured {
        std::string name;
        std::vector<std::string> depends_on;
    };

    // The running services with their dependency lists; nothing, with the last error set, when
    // they cannot be listed.
    std::optional<std::vector<Configured>> running_services() {
        DWORD needed = 0;
        DWORD count = 0;
        DWORD resume = 0;
        std::vector<BYTE> buffer;
        while (!::EnumServicesStatusExW(
            manager_.get(), SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_ACTIVE, buffer.data(),
            static_cast<DWORD>(buffer.size()), &needed, &count, &resume, nullptr)) {
            if (::GetLastError() != ERROR_MORE_DATA || needed == 0) {
                win32::take_system_error();
                return std::nullopt;
            }
            buffer.resize(buffer.size() + needed); // and again from the first
            resume = 0;
        }
        std::vector<Configured> services;
        const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
        for (DWORD at = 0; at < count; ++at) {
            auto depends_on = dependency_list(entries[at].lpServiceName);
            if (!depends_on)
                return std::nullopt;
            services.push_back({win32::utf8(entries[at].lpServiceName), std::move(*depends_on)});
        }
        return services;
    }

    // The services that `service` depends on: its DependOnService value, the list the manager
    // keeps in the registry (Wine's QueryServiceConfig leaves the dependencies out). None when
    // the value is not there.
    static std::optional<std::vector<std::string>> dependency_list(const wchar_t* service) {
        const std::wstring key = std::wstring(L"SYSTEM\\CurrentControlSet\\Services\\") + service;
        DWORD size = 0;
        LSTATUS status = ::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"DependOnService",
                                        RRF_RT_REG_MULTI_SZ, nullptr, nullptr, &size);
        std::wstring names(size / sizeof(wchar_t) + 1, L'\0');
        if (status == ERROR_SUCCESS)
            status = ::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"DependOnService",
                                    RRF_RT_REG_MULTI_SZ, nullptr, names.data(), &size);
        if (status == ERROR_FILE_NOT_FOUND)
            return std::vector<std::string>{};
        if (status != ERROR_SUCCESS) {
            set_last_error(static_cast<std::uint32_t>(status));
            return std::nullopt;
        }
        std::vector<std::string> list;
        for (const wchar_t* name = names.c_str(); *name != L'\0'; name += std::wcslen(name) + 1)
            list.push_back(win32::utf8(name));
        return list;
    }

    // What EnumDependentServices answers on Windows, from the dependency lists: every running
    // service that depends on `service`, directly or through another one, each after the
    // services that depend on it.
    std::optional<std::vector<std::string>> configured_dependents(std::string_view service) {
        const auto services = running_services();
        if (!services)
            return std::nullopt;
        std::vector<std::string> seen;
        std::vector<std::string> dependents;
        const auto depends = [](const Configured& candidate, std::string_view on) {
            return std::any_of(
                candidate.depends_on.begin(), candidate.depends_on.end(),
                [&](const std::string& name) { return equal_ignoring_case(name, on); });
        };
        const auto add_dependents_of = [&](std::string_view of, const auto& self) -> void {
            for (const Configured& candidate : *services) {
                if (!depends(candidate, of) ||
                    std::any_of(seen.begin(), seen.end(), [&](const std::string& name) {
                        return equal_ignoring_case(name, candidate.name);
                    }))
                    continue;
                seen.push_back(candidate.name); // once, even in a loop of dependencies
                self(candidate.name, self);
                dependents.push_back(candidate.name);
            }
        };
        add_dependents_of(service, add_dependents_of);
        return dependents;
    }

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
