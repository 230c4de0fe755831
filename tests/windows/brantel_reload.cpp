// Unloading BRANTEL.DLL with a terminal open, and loading it again at another address: what a
// CT-API application that loads the library for each use does. Prints one line per step; the
// exit code is 0 when every step did what it should.
//
//     brantel-reload <path of BRANTEL.DLL>
//
// The terminal is the first Halvane terminal found (port number 0).
#include "ctapi/include/ctapi.h"

#include <cstdio>
#include <windows.h>

namespace {

using CtInit = IS8(CTAPI_CALL*)(IU16, IU16);
using CtData = IS8(CTAPI_CALL*)(IU16, IU8*, IU8*, IU16, IU8*, IU16*, IU8*);
using CtClose = IS8(CTAPI_CALL*)(IU16);

// The unload of a library with a terminal open may wait this long for its monitor thread.
constexpr DWORD kUnloadBoundMs = 1000;
constexpr DWORD kUnloadSlackMs = 500;

struct Brantel {
    HMODULE module = nullptr;
    CtInit init = nullptr;
    CtData data = nullptr;
    CtClose close = nullptr;
};

template <typename Function> Function function(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

bool load(const char* path, Brantel& brantel) {
    brantel.module = ::LoadLibraryA(path);
    if (brantel.module == nullptr) {
        std::printf("LoadLibrary failed: %lu\n", ::GetLastError());
        return false;
    }
    brantel.init = function<CtInit>(brantel.module, "CT_init");
    brantel.data = function<CtData>(brantel.module, "CT_data");
    brantel.close = function<CtClose>(brantel.module, "CT_close");
    return brantel.init != nullptr && brantel.data != nullptr && brantel.close != nullptr;
}

SIZE_T image_size(HMODULE module) {
    const auto* base = reinterpret_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    return nt->OptionalHeader.SizeOfImage;
}

bool get_status(const Brantel& brantel) {
    IU8 command[] = {0x20, 0x13, 0x00, 0x46, 0x00};
    IU8 response[100] = {};
    IU8 dad = CTAPI_ADDR_CT;
    IU8 sad = CTAPI_ADDR_HOST;
    IU16 length = sizeof response;
    const IS8 result = brantel.data(1, &dad, &sad, sizeof command, command, &length, response);
    std::printf("CT_data GET STATUS = %d, %u bytes\n", result, length);
    return result == OK && length >= 2 && response[length - 2] == 0x90 &&
           response[length - 1] == 0x00;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: brantel-reload <path of BRANTEL.DLL>\n", stderr);
        return 2;
    }
    Brantel first;
    if (!load(argv[1], first)) {
        return 1;
    }
    const IS8 opened = first.init(1, 0);
    std::printf("CT_init = %d\n", opened);
    if (opened != OK) {
        return 1;
    }
    const SIZE_T size = image_size(first.module);
    void* const old_base = first.module;
    const DWORD begun = ::GetTickCount();
    ::FreeLibrary(first.module);
    const DWORD unload_ms = ::GetTickCount() - begun;
    std::printf("unloaded with the terminal open in %lu ms\n", unload_ms);

    // The old image's addresses are taken, so the library loads somewhere else.
    void* const taken = ::VirtualAlloc(old_base, size, MEM_RESERVE, PAGE_NOACCESS);
    Brantel second;
    if (!load(argv[1], second)) {
        return 1;
    }
    const bool moved = second.module != old_base;
    std::printf("loaded again %s\n", moved ? "at another address" : "at the same address");
    const IS8 reopened = second.init(1, 0);
    std::printf("CT_init = %d\n", reopened);
    const bool exchanged = reopened == OK && get_status(second);
    const IS8 closed = reopened == OK ? second.close(1) : OK;
    std::printf("CT_close = %d\n", closed);
    ::FreeLibrary(second.module);
    if (taken != nullptr) {
        ::VirtualFree(taken, 0, MEM_RELEASE);
    }
    return unload_ms <= kUnloadBoundMs + kUnloadSlackMs && moved && exchanged && closed == OK ? 0
                                                                                              : 1;
}
