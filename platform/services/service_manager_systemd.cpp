// The service manager on Linux: systemd's manager object on the system bus. A service is a
// unit; its state comes from ActiveState, its dependents from the units that cannot run on (or
// would start it again) once it stops: RequiredBy, RequisiteOf, BoundBy and TriggeredBy (the
// socket unit that activates a service counts as its dependent). Targets are never stopped.
#include "platform/foundation/last_error.h"
#include "platform/services/service_manager.h"
#include "platform/services/system_bus_posix.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <set>

namespace platform {
namespace {

constexpr const char* kSystemd = "org.freedesktop.systemd1";
constexpr const char* kSystemdPath = "/org/freedesktop/systemd1";
constexpr const char* kManager = "org.freedesktop.systemd1.Manager";
constexpr const char* kUnit = "org.freedesktop.systemd1.Unit";
// Every call is answered within this time or counts as failed (1053): no hang on a bus whose
// service manager has stopped answering.
constexpr std::chrono::seconds kCallLimit{10};
constexpr std::array<std::string_view, 4> kDependentProperties = {"RequiredBy", "RequisiteOf",
                                                                  "BoundBy", "TriggeredBy"};
// More units than this in one dependency walk means a loop or a broken reply.
constexpr std::size_t kMaxUnitsWalked = 64;

ServiceState state_of(std::string_view active_state) {
    if (active_state == "inactive" || active_state == "failed") {
        return ServiceState::Stopped;
    }
    if (active_state == "deactivating") {
        return ServiceState::Stopping;
    }
    return ServiceState::Running; // active, activating, reloading, refreshing
}

struct UnitFacts {
    ServiceState state = ServiceState::Stopped;
    std::vector<std::string> dependents; // direct ones, in property order
};

class SystemdManager final : public ServiceManager {
  public:
    explicit SystemdManager(BusConnection bus) : bus_(std::move(bus)) {}

    std::optional<ServiceState> query(std::string_view service) override {
        const auto facts = unit_facts(service);
        if (!facts) {
            return std::nullopt;
        }
        return facts->state;
    }

    std::optional<std::vector<std::string>> active_dependents(std::string_view service) override {
        const auto facts = unit_facts(service);
        std::vector<std::string> order;
        std::set<std::string> seen{std::string(service)};
        if (!facts || !walk_dependents(*facts, seen, order)) {
            return std::nullopt;
        }
        set_last_error(kErrorSuccess);
        return order;
    }

    bool stop(std::string_view service) override { return job("StopUnit", service); }
    bool start(std::string_view service) override { return job("StartUnit", service); }

  private:
    bool fail(const BusError& error, int result) {
        set_last_error(bus_error_code(error.value(), result));
        return false;
    }

    // The unit's object path. A unit that systemd has not loaded is loaded first (GetUnit only
    // knows loaded units).
    std::optional<std::string> unit_path(std::string_view unit) {
        const std::string name(unit);
        for (const char* method : {"GetUnit", "LoadUnit"}) {
            BusError error;
            sd_bus_message* reply = nullptr;
            const int result = sd_bus_call_method(bus_.get(), kSystemd, kSystemdPath, kManager,
                                                  method, error.get(), &reply, "s", name.c_str());
            const BusMessage message(reply);
            if (result >= 0) {
                const char* path = nullptr;
                if (sd_bus_message_read(reply, "o", &path) < 0 || path == nullptr) {
                    set_last_error(kErrorInvalidData);
                    return std::nullopt;
                }
                return std::string(path);
            }
            if (!sd_bus_error_has_name(error.get(), "org.freedesktop.systemd1.NoSuchUnit")) {
                fail(error, result);
                return std::nullopt;
            }
        }
        set_last_error(kErrorServiceDoesNotExist);
        return std::nullopt;
    }

    // The unit's state and direct dependents, from one GetAll of its Unit properties.
    std::optional<UnitFacts> unit_facts(std::string_view unit) {
        const auto path = unit_path(unit);
        if (!path) {
            return std::nullopt;
        }
        BusError error;
        sd_bus_message* reply = nullptr;
        const int result = sd_bus_call_method(bus_.get(), kSystemd, path->c_str(),
                                              "org.freedesktop.DBus.Properties", "GetAll",
                                              error.get(), &reply, "s", kUnit);
        const BusMessage message(reply);
        if (result < 0) {
            fail(error, result);
            return std::nullopt;
        }
        UnitFacts facts;
        std::string load_state;
        if (!read_properties(reply, facts, load_state)) {
            set_last_error(kErrorInvalidData);
            return std::nullopt;
        }
        if (load_state == "not-found") {
            set_last_error(kErrorServiceDoesNotExist);
            return std::nullopt;
        }
        set_last_error(kErrorSuccess);
        return facts;
    }

    static bool read_properties(sd_bus_message* reply, UnitFacts& facts, std::string& load_state) {
        if (sd_bus_message_enter_container(reply, 'a', "{sv}") < 0) {
            return false;
        }
        int entered = 0;
        while ((entered = sd_bus_message_enter_container(reply, 'e', "sv")) > 0) {
            const char* name = nullptr;
            if (sd_bus_message_read(reply, "s", &name) < 0 ||
                !read_property(reply, name, facts, load_state) ||
                sd_bus_message_exit_container(reply) < 0) {
                return false;
            }
        }
        return entered == 0 && sd_bus_message_exit_container(reply) >= 0;
    }

    static bool read_property(sd_bus_message* reply, std::string_view name, UnitFacts& facts,
                              std::string& load_state) {
        const bool text = name == "ActiveState" || name == "LoadState";
        const bool list = std::find(kDependentProperties.begin(), kDependentProperties.end(),
                                    name) != kDependentProperties.end();
        const char* contents = nullptr;
        if ((!text && !list) || sd_bus_message_peek_type(reply, nullptr, &contents) < 0 ||
            contents == nullptr || std::string_view(contents) != (text ? "s" : "as")) {
            return sd_bus_message_skip(reply, "v") >= 0;
        }
        if (sd_bus_message_enter_container(reply, 'v', contents) < 0) {
            return false;
        }
        if (text) {
            const char* value = nullptr;
            if (sd_bus_message_read(reply, "s", &value) < 0) {
                return false;
            }
            if (name == "ActiveState") {
                facts.state = state_of(value);
            } else {
                load_state = value;
            }
        } else {
            char** names = nullptr;
            if (sd_bus_message_read_strv(reply, &names) < 0) {
                return false;
            }
            for (char** it = names; it != nullptr && *it != nullptr; ++it) {
                facts.dependents.emplace_back(*it);
                std::free(*it);
            }
            std::free(static_cast<void*>(names));
        }
        return sd_bus_message_exit_container(reply) >= 0;
    }

    // Depth first: a dependent's own dependents go before it, as they must stop first.
    bool walk_dependents(const UnitFacts& facts, std::set<std::string>& seen,
                         std::vector<std::string>& order) {
        for (const std::string& dependent : facts.dependents) {
            if (dependent.ends_with(".target") || !seen.insert(dependent).second) {
                continue;
            }
            if (seen.size() > kMaxUnitsWalked) {
                set_last_error(kErrorInvalidData);
                return false;
            }
            const auto own = unit_facts(dependent);
            if (!own) {
                if (last_error() == kErrorServiceDoesNotExist) {
                    continue; // named but not installed: nothing runs
                }
                return false;
            }
            if (!walk_dependents(*own, seen, order)) {
                return false;
            }
            if (own->state != ServiceState::Stopped) {
                order.push_back(dependent);
            }
        }
        return true;
    }

    bool job(const char* method, std::string_view unit) {
        const std::string name(unit);
        BusError error;
        const int result = sd_bus_call_method(bus_.get(), kSystemd, kSystemdPath, kManager, method,
                                              error.get(), nullptr, "ss", name.c_str(), "replace");
        if (result < 0) {
            return fail(error, result);
        }
        set_last_error(kErrorSuccess);
        return true;
    }

    BusConnection bus_;
};

} // namespace

std::unique_ptr<ServiceManager> ServiceManager::open() {
    int result = 0;
    BusConnection bus = open_system_bus(kCallLimit, result);
    if (!bus) {
        set_last_error(bus_error_code(sd_bus_error{}, result));
        return nullptr;
    }
    return std::make_unique<SystemdManager>(std::move(bus));
}

std::string_view smart_card_service_name() {
    return "pcscd.service";
}

std::string_view smart_card_service_process_name() {
    return "pcscd";
}

} // namespace platform
