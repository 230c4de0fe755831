#pragma once
// The courses that Morlin takes after start-up besides the configured run: the configuration
// editor (/CE), the device information display (/DI) and the interactive run (main window).
// Each returns the exit-code contribution.
#include <string_view>

namespace morlin {

class MorlinApp;

int run_configuration_editor(MorlinApp& app);
int run_device_information_display(MorlinApp& app);
int run_interactive(MorlinApp& app);

// A course whose dialog is not part of this build: says so in an error box and in the log,
// and fails (255).
int report_course_not_built(MorlinApp& app, std::string_view course);

} // namespace morlin
