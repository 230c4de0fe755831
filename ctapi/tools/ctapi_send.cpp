// ctapi-send: sends CT-API commands to a Halvane terminal through BRANTEL.so and prints the
// responses.
//
//   ctapi-send [--library PATH] [--port N] [--ctn N] [--dad N] [--sad N] [--lenr N] HEX...
//
// Each HEX argument is one command ("20 13 00 46 00" or "2013004600"). The library is loaded
// by name (beside the program, or in the installed product's library folder) unless
// --library names it. Output, one line per command:
//   <return code> <dad> <sad> <response bytes in hex>
// Exit code: 0 when every call returned OK, 1 when one did not, 2 for a usage error.
#include "cli/tool_usage.h"
#include "ctapi.h"
#include "hex_bytes.h"
#include "platform/foundation/ansi_code_page.h"
#include "platform/winapi/library.h"
#include "platform/winapi/version_info.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

MORLIN_VERSION_INFO("CT-API command tool", "1.24", "ctapi-send", "Morlin", "1.24",
                    "Copyright (C) 2026 Ostrum");

namespace {

struct Options {
    std::string library = "BRANTEL" MORLIN_LIBRARY_SUFFIX;
    unsigned port = 0;
    unsigned ctn = 0;
    unsigned dad = CTAPI_ADDR_CT;
    unsigned sad = CTAPI_ADDR_HOST;
    unsigned lenr = 4096;
    std::vector<std::vector<std::uint8_t>> commands;
};

bool parse_number(std::string_view text, unsigned max, unsigned& value) {
    unsigned parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc{} || end != text.data() + text.size() || parsed > max) {
        return false;
    }
    value = parsed;
    return true;
}

constexpr std::string_view kName = "ctapi-send";

const cli::ToolUsage kUsage{
    kName,
    "usage: ctapi-send [--library PATH] [--port N] [--ctn N] [--dad N] [--sad N] [--lenr N] "
    "HEX...\n",
    "Sends each HEX argument (\"20 13 00 46 00\" or \"2013004600\") as one CT-API command\n"
    "through BRANTEL" MORLIN_LIBRARY_SUFFIX
    " and prints one line per command: return code, the response's\n"
    "destination and source, the response in hex.\n"
    "\n"
    "  --library PATH  the CT-API library (default BRANTEL" MORLIN_LIBRARY_SUFFIX
    ", beside the program or in\n"
    "                  the installed product's library folder)\n"
    "  --port N        port number for CT_init (0: the first Halvane terminal found)\n"
    "  --ctn N         card terminal number (default 0)\n"
    "  --dad N         destination: 1 the terminal (default), 0 the card\n"
    "  --sad N         source (default 2, the host)\n"
    "  --lenr N        response buffer in bytes (default 4096)\n"
    "  -h, --help      this text\n"
    "  --version       the version line\n"
    "\n"
    "Environment: MORLIN_DEVICES (folder of simulated terminals, docs/simulation.md),\n"
    "MORLIN_REAL_PORTS=none (leave the machine's serial ports out).\n"
    "Exit codes: 0 every call returned OK, 1 one did not, 2 usage error.\n"};

// The CT-API return code's name and what it most likely means here.
std::string explain(IS8 code, bool at_init) {
    switch (code) {
    case ERR_INVALID:
        return at_init ? "ERR_INVALID: no Halvane terminal found (is MORLIN_DEVICES set?), or "
                         "the terminal number is open already"
                       : "ERR_INVALID: the command or its addresses were refused";
    case ERR_CT:
        return "ERR_CT: the terminal could not be reached or reported an error";
    case ERR_TRANS:
        return "ERR_TRANS: transmission failed (terminal unplugged or not answering?)";
    case ERR_MEMORY:
        return "ERR_MEMORY: the response does not fit in --lenr bytes";
    default:
        return "code " + std::to_string(code) + ": not a CT-API return code";
    }
}

// A command of class 00 (an ISO card command) sent to the terminal itself is answered by the
// terminal, not by the card.
void note_card_command_to_terminal(const Options& options) {
    for (const auto& command : options.commands) {
        if (!command.empty() && command[0] == 0x00 && options.dad == CTAPI_ADDR_CT) {
            std::fputs("ctapi-send: note: commands of class 00 go to the terminal with --dad 1; "
                       "card commands need --dad 0\n",
                       stderr);
            return;
        }
    }
}

// A usage error leaves its reason in `problem`.
bool parse_options(int argc, char** argv, Options& options, std::string& problem) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--library" && has_value) {
            options.library = argv[++i];
        } else if (arg.starts_with("--") && arg != "--library" && has_value) {
            unsigned* target = arg == "--port"   ? &options.port
                               : arg == "--ctn"  ? &options.ctn
                               : arg == "--dad"  ? &options.dad
                               : arg == "--sad"  ? &options.sad
                               : arg == "--lenr" ? &options.lenr
                                                 : nullptr;
            const unsigned max = arg == "--dad" || arg == "--sad" ? 0xFF : 0xFFFF;
            if (target == nullptr) {
                problem = "unknown option " + std::string(arg);
                return false;
            }
            if (!parse_number(argv[++i], max, *target)) {
                problem = std::string(arg) + " wants a number up to " + std::to_string(max);
                return false;
            }
        } else if (arg.starts_with("--")) {
            problem = "unknown option or missing value: " + std::string(arg);
            return false;
        } else {
            auto bytes = ctapi_send::parse_hex(arg);
            if (!bytes || bytes->size() > 0xFFFF) {
                problem = "not a command in hex: " + std::string(arg);
                return false;
            }
            options.commands.push_back(std::move(*bytes));
        }
    }
    if (options.commands.empty()) {
        problem = "no command given";
        return false;
    }
    return true;
}

template <typename Function> Function bind(const platform::Library& library, const char* name) {
    return reinterpret_cast<Function>(library.symbol(name));
}

} // namespace

int main(int argc, char** argv) {
    platform::use_ansi_code_page_on_console();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (const auto answered = cli::answer_help_or_version(kUsage, arguments)) {
        return *answered;
    }
    Options options;
    std::string problem;
    if (!parse_options(argc, argv, options, problem)) {
        return cli::usage_error(kName, problem);
    }
    note_card_command_to_terminal(options);
    const auto library = platform::Library::load(options.library);
    if (!library) {
        std::fprintf(stderr, "ctapi-send: cannot load %s\n", options.library.c_str());
        return 2;
    }
    const auto ct_init = bind<CT_init_fn>(*library, "CT_init");
    const auto ct_data = bind<CT_data_fn>(*library, "CT_data");
    const auto ct_close = bind<CT_close_fn>(*library, "CT_close");
    if (ct_init == nullptr || ct_data == nullptr || ct_close == nullptr) {
        std::fprintf(stderr, "ctapi-send: %s lacks the CT-API functions\n",
                     library->path().c_str());
        return 2;
    }

    const auto ctn = static_cast<IU16>(options.ctn);
    const IS8 opened = ct_init(ctn, static_cast<IU16>(options.port));
    if (opened != OK) {
        std::printf("CT_init %d\n", opened);
        std::fprintf(stderr, "ctapi-send: CT_init: %s\n", explain(opened, true).c_str());
        return 1;
    }
    int exit_code = 0;
    std::vector<IU8> response(options.lenr);
    for (auto& command : options.commands) {
        IU8 dad = static_cast<IU8>(options.dad);
        IU8 sad = static_cast<IU8>(options.sad);
        IU16 lenr = static_cast<IU16>(options.lenr);
        const IS8 result = ct_data(ctn, &dad, &sad, static_cast<IU16>(command.size()),
                                   command.data(), &lenr, response.data());
        const std::size_t shown = result == OK ? lenr : 0;
        std::printf("%d %u %u %s\n", result, dad, sad,
                    ctapi_send::format_hex(std::span(response).first(shown)).c_str());
        if (result != OK) {
            std::fprintf(stderr, "ctapi-send: CT_data: %s\n", explain(result, false).c_str());
            exit_code = 1;
        }
    }
    ct_close(ctn);
    return exit_code;
}
