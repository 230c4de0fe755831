// MorlinCfg: shows, verifies and writes Morlin.cfg.
#include "host/config/cfg_tool.h"
#include "platform/foundation/ansi_code_page.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    platform::use_ansi_code_page_on_console();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return morlin::run_cfg_tool(arguments, std::cout, std::cerr);
}
