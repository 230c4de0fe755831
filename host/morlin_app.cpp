#include "host/morlin_app.h"

#include "host/config_reader.h"
#include "host/courses.h"
#include "host/device_lists.h"
#include "host/host_log.h"
#include "host/plugin_binding.h"
#include "host/update_run.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/version_info.h"
#include "ui/dialog_view.h"

#include <cstdio>

namespace morlin {

namespace {

constexpr const char* kInstanceSection = "MORLIN";
constexpr const char* kConfigFileName = "Morlin.cfg";
constexpr const char* kConfigExistenceName = "MORLIN.CFG";

} // namespace

// "<product> - <description> <string 30> <product version>" of the program file.
std::string program_version_line(const HostTexts& texts) {
    const auto info = platform::read_version_info(platform::program_path());
    if (!info) {
        return {};
    }
    return info->product_name + " - " + info->file_description + " " + texts.text(kStrVersionJoin) +
           " " + info->product_version;
}

MorlinApp::MorlinApp() = default;

MorlinApp::~MorlinApp() {
    shutdown();
}

std::string MorlinApp::config_file_path() const {
    return platform::resolve_ignoring_case(
        command_line.config_path.empty() ? std::string(kConfigFileName) : command_line.config_path);
}

const char* MorlinApp::config_name_for_plugins() const {
    if (!command_line.config_path.empty()) {
        return command_line.config_path.c_str();
    }
    return config_loaded ? kConfigFileName : nullptr;
}

void MorlinApp::show_host_error(const HostError& error) {
    platform::MessageBoxRequest box;
    if (error.from_plugin != 0) {
        const PluginRecord* plugin = current_plugin;
        if (plugin == nullptr && error.plugin_index < kMaxPlugins) {
            plugin = &plugins[error.plugin_index];
        }
        char message[VUP_TEXT_SIZE] = {};
        if (plugin != nullptr && plugin->bound()) {
            plugin->fn.get_error_message(error.code, message);
            message[VUP_TEXT_SIZE - 1] = '\0';
        }
        box.text = message;
        if (box.text.empty()) {
            box.text = "Plug-in error " + std::to_string(error.code);
        }
    } else {
        box.text = texts.text_or_number(error.code);
    }
    box.caption = message_caption();
    box.icon = platform::MessageIcon::Error;
    ui().message_box(box);
}

std::string MorlinApp::message_caption() const {
    std::string caption = texts.text(kStrCaption);
    return caption.empty() ? std::string("Morlin") : caption;
}

void MorlinApp::show_system_error(std::uint32_t error) {
    platform::MessageBoxRequest box;
    box.text = platform::system_message(error);
    box.caption = "Morlin";
    box.icon = platform::MessageIcon::Error;
    ui().message_box(box);
}

void MorlinApp::show_wait_window() {
    ui().show_wait(texts.text_or_number(kStrWaitText));
    wait_shown_ = true;
}

void MorlinApp::close_wait_window() {
    if (wait_shown_) {
        ui().hide_wait();
        wait_shown_ = false;
    }
}

void MorlinApp::initialise(const std::vector<std::string>& arguments) {
    // Platform class and resource language.
    platform_class = host_platform_class();
    texts.set_language(resource_language_for(host_ui_language()));

    // The resource library.
    if (!texts.load_module()) {
        show_system_error(platform::last_error());
        return;
    }

    // One instance only: a second start brings the first to the front and ends.
    instance_ = platform::SingleInstance::acquire(kInstanceSection);
    if (!instance_) {
        // The running instance has been asked to bring its window to the front.
        std::fputs("Morlin is already running: its window was brought to the front.\n", stderr);
        return;
    }
    instance_->on_activation_request([] { dialogs::dialog_runner().bring_to_front(); });

    // Plug-ins.
    const DiscoveryResult discovery =
        discover_plugins(platform::current_directory(), platform_class, texts, plugins);
    plugin_count = discovery.plugin_count;
    if (discovery.code != 0) {
        show_host_error(HostError::host(discovery.code));
        return;
    }

    // Command line and configuration file.
    command_line = parse_command_line(arguments);
    const std::string existence_name = command_line.config_path.empty()
                                           ? std::string(kConfigExistenceName)
                                           : command_line.config_path;
    if (platform::file_exists(platform::resolve_ignoring_case(existence_name))) {
        configured_run = read_configuration(*this) != 0;
    }
    set_log_disabled(options.disable_log);

    // The log.
    if (!options.disable_log) {
        log_opened_ = open_host_log(log_file_path(), program_version_line(texts));
        if (!log_opened_) {
            show_host_error(HostError::host(kStrLogOpenFailed));
        }
    }

    dispatch_course();
}

void MorlinApp::dispatch_course() {
    if (command_line.config_editor()) {
        exit_code_word = run_configuration_editor(*this);
        return;
    }
    if (command_line.device_info()) {
        exit_code_word = run_device_information_display(*this);
        return;
    }

    if (configured_run && download_count == 0) {
        host_log("%s(%i) :Download files section of the Morlin.cfg file is empty/has no valid "
                 "file",
                 "Morlin", 363);
        if (silent()) {
            if (options.report_status) {
                show_host_error(HostError::host(kStrSilentRunFailed));
            }
            return;
        }
        configured_run = false;
    }

    // The backup directory.
    const std::string temp = platform::temp_directory();
    if (temp.empty()) {
        show_system_error(platform::kErrorPathNotFound);
        return;
    }
    backup_directory = platform::join_path(temp, "Morlin");
    if (!platform::create_directory(backup_directory)) {
        show_system_error(platform::last_error());
        return;
    }

    if (!start_plugins()) {
        return;
    }

    exit_code_word = configured_run ? run_configured_update(*this) : run_interactive(*this);
}

bool MorlinApp::start_plugins() {
    for (int index = 0; index < plugin_count; ++index) {
        PluginRecord& plugin = plugins[static_cast<std::size_t>(index)];
        if (plugin.fn.start_stop == nullptr) {
            continue;
        }
        if (!silent()) {
            show_wait_window();
        }
        const int result = plugin.fn.start_stop(1, config_name_for_plugins());
        if (!silent()) {
            close_wait_window();
        }
        if (result != 0) {
            plugin.start_failed = true;
            show_host_error(HostError::host(result));
            return false;
        }
        plugin.start_failed = false;
    }
    return true;
}

void MorlinApp::stop_plugins() {
    for (int index = 0; index < plugin_count; ++index) {
        PluginRecord& plugin = plugins[static_cast<std::size_t>(index)];
        if (plugin.fn.start_stop != nullptr && !plugin.start_failed) {
            plugin.fn.start_stop(0, config_name_for_plugins());
        }
    }
}

void MorlinApp::shutdown() {
    if (shut_down_) {
        return;
    }
    shut_down_ = true;
    close_wait_window();
    end_run(*this);
    stop_plugins();
    for (PluginRecord& plugin : plugins) {
        plugin.fn = {};
        plugin.module.reset();
    }
    plugin_count = 0;
    current_plugin = nullptr;
    texts.unload_module();
    if (log_opened_) {
        log_text("Morlin Quits the current session.\r\n");
        close_host_log();
        log_opened_ = false;
    }
    instance_.reset();
}

} // namespace morlin
