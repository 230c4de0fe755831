// resource-probe.exe: reads resources the way Windows programs do, for the Wine smoke checks
// (scripts/windows_smoke.sh).
//   resource-probe strings LIBRARY LANGUAGE ID...   LIBRARY loaded as a data file, LANGUAGE (hex
//       language id, 0409 or 0407) made the thread's user-interface language, each string-table
//       text ID as LoadStringA reads it: one line each, in UTF-8
//   resource-probe version FILE...   each file's version resource as the host reads it:
//       "<file description> <file version> | <product name> <product version> |
//       <internal name> | <copyright>", one line each
#include "platform/winapi/version_info.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <windows.h>

namespace {

// An ANSI text of the system's code page in UTF-8.
std::string utf8_of_ansi(const char* text, int length) {
    const int wide_length = ::MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text, length, wide.data(), wide_length);
    const int utf8_length =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(utf8_length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_length, utf8.data(), utf8_length, nullptr,
                          nullptr);
    return utf8;
}

int print_strings(const char* library_path, const char* language_text, char** ids, int count) {
    const HMODULE library = ::LoadLibraryExA(
        library_path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (library == nullptr) {
        std::fprintf(stderr, "resource-probe: cannot load %s (error %lu)\n", library_path,
                     ::GetLastError());
        return 1;
    }
    const auto language = static_cast<LANGID>(std::strtoul(language_text, nullptr, 16));
    ::SetThreadUILanguage(language);
    ::SetThreadLocale(MAKELCID(language, SORT_DEFAULT));
    int status = 0;
    for (int i = 0; i < count; ++i) {
        char text[1024];
        const auto id = static_cast<UINT>(std::strtoul(ids[i], nullptr, 10));
        const int length = ::LoadStringA(library, id, text, sizeof text);
        if (length <= 0) {
            std::fprintf(stderr, "resource-probe: no string %u (error %lu)\n", id,
                         ::GetLastError());
            status = 1;
            continue;
        }
        std::printf("%s\n", utf8_of_ansi(text, length).c_str());
    }
    ::FreeLibrary(library);
    return status;
}

int print_versions(char** files, int count) {
    int status = 0;
    for (int i = 0; i < count; ++i) {
        const auto info = platform::read_version_info(files[i]);
        if (!info) {
            std::fprintf(stderr, "resource-probe: no version resource in %s\n", files[i]);
            status = 1;
            continue;
        }
        std::printf("%s %s | %s %s | %s | %s\n", info->file_description.c_str(),
                    info->file_version.c_str(), info->product_name.c_str(),
                    info->product_version.c_str(), info->internal_name.c_str(),
                    info->legal_copyright.c_str());
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 5 && std::strcmp(argv[1], "strings") == 0) {
        return print_strings(argv[2], argv[3], argv + 4, argc - 4);
    }
    if (argc >= 3 && std::strcmp(argv[1], "version") == 0) {
        return print_versions(argv + 2, argc - 2);
    }
    std::fputs("usage: resource-probe strings LIBRARY LANGUAGE ID...\n"
               "       resource-probe version FILE...\n",
               stderr);
    return 2;
}
