#include "host/morlin_app.h"

#include "host/config/config_reader.h"
#include "host/courses.h"
#include "host/host_log.h"
#include "host/plugins/device_lists.h"
#include "host/plugins/plugin_binding.h"
#include "host/runs/result_file.h"
#include "host/runs/update_run.h"
#include "platform/files/files.h"
#include "platform/foundation/last_error.h"
#include "platform/winapi/library.h"
#include "platform/winapi/version_info.h"
#include "ui/dialog_view.h"

#include <cstdio>

namespace morlin {

namespace {

constexpr const char* kInstanceSection = "MORLIN";
constexpr const char* kConfigFileName = "Morlin.cfg";
constexpr const char* kConfigExistenceName = "MORLIN.CFG";
constexpr const char* kResourceLibraryName = "MORLNRES" MORLIN_LIBRARY_SUFFIX;

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

namespace {

// The course as the run history names it.
const char* course_name(const CommandLine& command_line, bool configured_run) {
    if (command_line.config_editor()) {
        return "configuration-editor";
    }
    if (command_line.device_info()) {
        return "device-information";
    }
    return configured_run ? "configured" : "interactive";
}

} // namespace

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
    box.text = host_error_text(error);
    run_record.note_error(box.text);
    box.caption = message_caption();
    box.icon = platform::MessageIcon::Error;
    ui()->message_box(box);
}

std::string MorlinApp::host_error_text(const HostError& error) const {
    std::string text;
    if (error.from_plugin != 0) {
        // The error names the plug-in it came from; only that one knows its codes (the
        // current plug-in may be another one by now).
        const PluginRecord* plugin =
            error.plugin_index < kMaxPlugins ? &plugins[error.plugin_index] : nullptr;
        char message[VUP_TEXT_SIZE] = {};
        if (plugin != nullptr && plugin->bound()) {
            plugin->fn.get_error_message(error.code, message);
            message[VUP_TEXT_SIZE - 1] = '\0';
        }
        text = message;
        if (text.empty()) {
            text = "Plug-in error " + std::to_string(error.code);
        }
    } else {
        text = texts.text_or_number(error.code);
    }
    return text;
}

std::string MorlinApp::message_caption() const {
    std::string caption = texts.text(kStrCaption);
    return caption.empty() ? std::string("Morlin") : caption;
}

void MorlinApp::show_system_error(std::uint32_t error) {
    platform::MessageBoxRequest box;
    box.text = platform::system_message(error);
    run_record.note_error(box.text);
    box.caption = "Morlin";
    box.icon = platform::MessageIcon::Error;
    ui()->message_box(box);
}

void MorlinApp::show_wait_window() {
    ui()->show_wait(texts.text_or_number(kStrWaitText));
    wait_shown_ = true;
}

void MorlinApp::close_wait_window() {
    if (wait_shown_) {
        ui()->hide_wait();
        wait_shown_ = false;
    }
}

void MorlinApp::initialise(const std::vector<std::string>& arguments) {
    run_record.started = utc_timestamp_now();
    run_record.course = "none";
    // Platform class and resource language.
    platform_class = host_platform_class();
    texts.set_language(resource_language_for(host_ui_language()));

    // The resource library.
    if (!texts.load_module(kResourceLibraryName)) {
        const std::uint32_t error = platform::last_error();
        std::fprintf(stderr,
                     "Morlin: cannot load the resource library %s: looked in %s, %s and %s\n",
                     kResourceLibraryName, platform::program_directory().c_str(),
                     platform::system_library_folders(), platform::current_directory().c_str());
        show_system_error(error);
        return;
    }

    // One instance only: a second start brings the first to the front and ends. When no
    // section can be made at all (no folder of the user's own), the program runs unguarded,
    // as it would when the section cannot be created.
    // On Windows its window is found by the main window's title, else by the program's name.
    instance_ = platform::SingleInstance::acquire(
        kInstanceSection, {texts.text(kStrMainWindowTitle), texts.text(kStrCaption)});
    if (!instance_ && platform::last_error() == platform::kErrorAlreadyExists) {
        // The running instance has been asked to bring its window to the front.
        std::fputs(platform::SingleInstance::running_instance_came_to_front()
                       ? "Morlin is already running: its window was brought to the front.\n"
                       : "Morlin is already running.\n",
                   stderr);
        return;
    }
    if (instance_) {
        instance_->on_activation_request([] { dialogs::dialog_runner().bring_to_front(); });
    }

    // Plug-ins.
    const std::vector<std::string> folders = plugin_folders();
    const DiscoveryResult discovery = discover_plugins(folders, platform_class, texts, plugins);
    plugin_count = discovery.plugin_count;
    std::string folders_searched;
    for (const std::string& folder : folders) {
        folders_searched += (folders_searched.empty() ? "" : " and ") + folder;
    }
    const std::string plugins_searched = "VUP*" MORLIN_LIBRARY_SUFFIX " in " + folders_searched +
                                         ": " + std::to_string(plugin_count) + " bound";
    if (discovery.code != 0) {
        std::fprintf(stderr, "Morlin: no usable plug-in: looked for as %s\n",
                     plugins_searched.c_str());
        show_host_error(HostError::host(discovery.code));
        return;
    }

    // Command line and configuration file.
    command_line = parse_command_line(arguments);
    const std::string existence_name = command_line.config_path.empty()
                                           ? std::string(kConfigExistenceName)
                                           : command_line.config_path;
    if (platform::file_exists(platform::resolve_ignoring_case(existence_name))) {
        run_record.configuration = config_file_path();
        configured_run = read_configuration(*this) != 0;
    }
    set_log_disabled(options.disable_log);

    // The log.
    if (!options.disable_log) {
        const std::string log_path = log_file_path();
        log_opened_ = open_host_log(log_path, program_version_line(texts));
        if (!log_opened_) {
            std::fprintf(stderr, "Morlin: cannot open the log file %s: %s\n", log_path.c_str(),
                         platform::system_message(platform::last_error()).c_str());
            show_host_error(HostError::host(kStrLogOpenFailed));
        }
    }
    host_log("Morlin :Plug-ins looked for as %s", plugins_searched.c_str());
    for (const std::string& line : notes_before_log) {
        log_text(line);
    }
    notes_before_log.clear();

    dispatch_course();
}

void MorlinApp::dispatch_course() {
    run_record.course = course_name(command_line, configured_run);
    run_record.silent = silent();
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
        run_record.course = course_name(command_line, configured_run);
    }

    // The backup directory.
    const std::string temp = platform::temp_directory();
    if (temp.empty()) {
        show_system_error(platform::kErrorPathNotFound);
        return;
    }
    backup_directory = platform::join_path(temp, "Morlin");
    if (!platform::create_directory(backup_directory)) {
        const std::uint32_t error = platform::last_error();
        const char* variable = platform::temp_directory_variable();
        host_log("Morlin :Cannot create the backup folder %s (%s %s): %s", backup_directory.c_str(),
                 variable, temp.c_str(), platform::system_message(error).c_str());
        std::fprintf(stderr,
                     "Morlin: cannot create the backup folder %s (set %s to a writable "
                     "folder): %s\n",
                     backup_directory.c_str(), variable, platform::system_message(error).c_str());
        show_system_error(error);
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
    // Each plug-in's failure to destroy its list is shown as it happens; at exit nothing
    // else depends on it.
    (void)end_run(*this);
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
