// Morlin, the firmware update host.
#include "host/morlin_app.h"
#include "platform/version_info.h"
#ifdef MORLIN_WITH_QT
#include "ui/qt/qt_toolkit.h"
#endif

#include <string>
#include <vector>

MORLIN_VERSION_INFO("Integrated Firmware Update Utility", "1.24", "Morlin", "Morlin", "1.24",
                    "Copyright (C) Ostrum");

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
#ifdef MORLIN_WITH_QT
    // Qt draws the dialogs when a display is there; otherwise the console serves.
    const auto toolkit = dialogs::start_qt_if_wanted(argc, argv);
#endif
    morlin::MorlinApp app;
    app.initialise(arguments);
    app.shutdown();
    return app.exit_code();
}
