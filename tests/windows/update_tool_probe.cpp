// A stand-in for the firmware update tool in the Wine checks (copied as FWUpdate.exe beside
// Valdrun.exe): it records where and how it was started and ends with the exit code asked
// for. It loads nothing into any device.
//
// The record, "FWUpdate.record" in the current folder (appended, one item a line):
//   folder=<current folder> (UTF-8)
//   line=<the command line as the process received it> (UTF-8)
//   arg<i>=<argument i>, as the C runtime hands them to main (arg0 the first word)
//   sig=<file name> for every "*.sig" file of the current folder (the firmware files, some of
//   them set aside by Valdrun while the tool runs)
// Exit code: FWUPDATE_EXIT (default 0), as for the Linux sample tool.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <windows.h>

namespace {

std::string utf8(const wchar_t* text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(size > 0 ? static_cast<std::size_t>(size) : 1, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), size, nullptr, nullptr);
    bytes.pop_back(); // the terminating zero
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    std::FILE* record = std::fopen("FWUpdate.record", "ab");
    if (record == nullptr) {
        std::perror("FWUpdate.record");
        return 2;
    }
    wchar_t folder[MAX_PATH + 1] = L"?";
    ::GetCurrentDirectoryW(MAX_PATH + 1, folder);
    std::fprintf(record, "folder=%s\n", utf8(folder).c_str());
    const wchar_t* line = ::GetCommandLineW();
    std::fprintf(record, "line=%s\n", utf8(line).c_str());
    for (int i = 0; i < argc; ++i)
        std::fprintf(record, "arg%d=%s\n", i, argv[i]);
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW(L"*.sig", &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(search, &found))
        std::fprintf(record, "sig=%s\n", utf8(found.cFileName).c_str());
    if (search != INVALID_HANDLE_VALUE)
        ::FindClose(search);
    std::fclose(record);
    const char* code = std::getenv("FWUPDATE_EXIT");
    return code == nullptr ? 0 : std::atoi(code);
}
