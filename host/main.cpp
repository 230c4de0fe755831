// Morlin, the firmware update host.
#include "host/morlin_app.h"
#include "host/morlin_usage.h"
#include "host/runs/result_file.h"
#include "platform/foundation/ansi_code_page.h"
#include "platform/processes/stop_request.h"
#include "platform/winapi/library.h"
#include "platform/winapi/version_info.h"
#ifdef MORLIN_WITH_QT
#include "ui/qt/qt_toolkit.h"
#endif
#ifdef _WIN32
#include "ui/win32/win32_toolkit.h"
#endif

#include <string>
#include <vector>

MORLIN_VERSION_INFO("Integrated Firmware Update Utility", "1.24", "Morlin", "Morlin", "1.24",
                    "Copyright (C) Ostrum");

namespace {
constexpr const char* kSecondStopNotice =
    "Morlin: second stop request, ending at once; a terminal in the middle of a download may "
    "be left in download mode (start the update again)\n";
} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // A program without a console of its own: its lines go to the console it was started from.
    dialogs::attach_parent_console();
#endif
    platform::use_ansi_code_page_on_console();
    platform::restrict_library_search();
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (const auto answered = morlin::answer_help_or_version(arguments)) {
        return *answered;
    }
    morlin::report_ignored_arguments(arguments);
    platform::install_stop_request_handler(kSecondStopNotice);
#ifdef MORLIN_WITH_QT
    // Qt draws the dialogs when a display is there; otherwise the console serves.
    const auto toolkit = dialogs::start_qt_if_wanted(argc, argv);
#endif
#ifdef _WIN32
    // The system's dialogs unless the console's view is wanted.
    const auto toolkit = dialogs::start_win32_if_wanted();
#endif
    morlin::MorlinApp app;
    app.initialise(arguments);
    app.shutdown();
    // A run ended by a stop request exits as the shell expects of a program a signal ended.
    const int stop_signal = platform::stop_request_signal();
    const int exit_code = stop_signal != 0 ? 128 + stop_signal : app.exit_code();
    morlin::append_to_result_file(app.run_record,
                                  morlin::run_outcome(app.run_record, stop_signal != 0), exit_code);
    return exit_code;
}
