// Valdrun, the installer wrapper: finds the described reader or terminal, reads its firmware
// version and tells whether an update is due (check mode), or runs the update (window).
#include "platform/files.h"
#include "platform/version_info.h"
#include "wrapper/command_line.h"
#include "wrapper/valdrun_app.h"

MORLIN_VERSION_INFO("Valdrun firmware update wrapper", "2.10.0.0", "Valdrun", "Morlin", "1.24",
                    "Copyright (C) Ostrum");

int main(int argc, char** argv) {
    return valdrun::run_valdrun(valdrun::command_line_of(argc, argv), platform::program_path());
}
