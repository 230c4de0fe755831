#pragma once
// The courses that Morlin takes after start-up besides the configured run: the configuration
// editor (/CE), the device information display (/DI) and the interactive run (main window).
// Each returns the exit-code contribution.
namespace morlin {

class MorlinApp;

int run_configuration_editor(MorlinApp& app);
int run_device_information_display(MorlinApp& app);
int run_interactive(MorlinApp& app);

} // namespace morlin
