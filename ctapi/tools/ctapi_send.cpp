// ctapi-send: sends CT-API commands to a Halvane terminal through BRANTEL.so and prints the
// responses.
//
//   ctapi-send [--library PATH] [--port N] [--ctn N] [--dad N] [--sad N] [--lenr N] HEX...
//
// Each HEX argument is one command ("20 13 00 46 00" or "2013004600"). The library is loaded
// by name beside the program unless --library names it. Output, one line per command:
//   <return code> <dad> <sad> <response bytes in hex>
// Exit code: 0 when every call returned OK, 1 when one did not, 2 for a usage error.
#include "ctapi.h"
#include "hex_bytes.h"
#include "platform/library.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

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
    if (error != std::errc{} || end != text.data() + text.size() || parsed > max)
        return false;
    value = parsed;
    return true;
}

void usage() {
    std::fputs("usage: ctapi-send [--library PATH] [--port N] [--ctn N] [--dad N] [--sad N]"
               " [--lenr N] HEX...\n",
               stderr);
}

bool parse_options(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--library" && has_value) {
            options.library = argv[++i];
        } else if (arg == "--port" && has_value) {
            if (!parse_number(argv[++i], 0xFFFF, options.port))
                return false;
        } else if (arg == "--ctn" && has_value) {
            if (!parse_number(argv[++i], 0xFFFF, options.ctn))
                return false;
        } else if (arg == "--dad" && has_value) {
            if (!parse_number(argv[++i], 0xFF, options.dad))
                return false;
        } else if (arg == "--sad" && has_value) {
            if (!parse_number(argv[++i], 0xFF, options.sad))
                return false;
        } else if (arg == "--lenr" && has_value) {
            if (!parse_number(argv[++i], 0xFFFF, options.lenr))
                return false;
        } else if (arg.starts_with("--")) {
            return false;
        } else {
            auto bytes = ctapi_send::parse_hex(arg);
            if (!bytes || bytes->size() > 0xFFFF) {
                std::fprintf(stderr, "ctapi-send: not a command in hex: %s\n", argv[i]);
                return false;
            }
            options.commands.push_back(std::move(*bytes));
        }
    }
    return !options.commands.empty();
}

template <typename Function> Function bind(const platform::Library& library, const char* name) {
    return reinterpret_cast<Function>(library.symbol(name));
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse_options(argc, argv, options)) {
        usage();
        return 2;
    }
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
        if (result != OK)
            exit_code = 1;
    }
    ct_close(ctn);
    return exit_code;
}
