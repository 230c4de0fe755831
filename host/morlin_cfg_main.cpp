// MorlinCfg: shows, verifies and writes Morlin.cfg.
#include "host/config/cfg_tool.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return morlin::run_cfg_tool(arguments, std::cout, std::cerr);
}
