// Valdrun, the installer wrapper: finds the described reader or terminal, reads its firmware
// version and tells whether an update is due (check mode), or runs the update (window).
#include "platform/files/files.h"
#include "platform/winapi/version_info.h"
#include "wrapper/command_line.h"
#include "wrapper/valdrun_app.h"
#ifdef MORLIN_WITH_QT
#include "ui/qt/qt_toolkit.h"
#endif
#ifdef _WIN32
#include "ui/win32/win32_toolkit.h"
#endif

MORLIN_VERSION_INFO("Valdrun firmware update wrapper", "2.10.0.0", "Valdrun", "Morlin", "1.24",
                    "Copyright (C) Ostrum");

int main(int argc, char** argv) {
#ifdef _WIN32
    // A program without a console of its own: its lines go to the console it was started from.
    dialogs::attach_parent_console();
#endif
    if (const auto answered = valdrun::answer_help_or_version(argc, argv))
        return *answered;
    const std::string command_line = valdrun::command_line_of(argc, argv);
#ifdef MORLIN_WITH_QT
    // Qt draws the windows when a display is there; check mode has none.
    const auto toolkit = valdrun::parse_switches(command_line).check
                             ? nullptr
                             : dialogs::start_qt_if_wanted(argc, argv);
#endif
#ifdef _WIN32
    // The system's dialogs unless the console's view is wanted; check mode shows none.
    const auto toolkit =
        valdrun::parse_switches(command_line).check ? nullptr : dialogs::start_win32_if_wanted();
#endif
    return valdrun::run_valdrun(command_line, platform::program_path());
}
