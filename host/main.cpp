// Morlin, the firmware update host.
#include "host/morlin_app.h"
#include "host/morlin_usage.h"
#include "platform/version_info.h"

#include <string>
#include <vector>

MORLIN_VERSION_INFO("Integrated Firmware Update Utility", "1.24", "Morlin", "Morlin", "1.24",
                    "Copyright (C) Ostrum");

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (const auto answered = morlin::answer_help_or_version(arguments)) {
        return *answered;
    }
    morlin::report_ignored_arguments(arguments);
    morlin::MorlinApp app;
    app.initialise(arguments);
    app.shutdown();
    return app.exit_code();
}
