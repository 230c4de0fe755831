// A firmware-update plug-in for tests: it serves made-up devices and appends every call it
// receives, with its arguments, to a record file. What it answers comes from a scenario file
// named by MORLIN_TEST_PLUGIN_SCENARIO, one "key=value" per line ('#' starts a comment).
// A key may be prefixed with the plug-in's file stem ("VUPRecorder.devices=2") to apply to
// that plug-in only; the prefixed key wins.
//
//   record=PATH              where calls are recorded (else MORLIN_TEST_PLUGIN_RECORD)
//   devices=N                devices listed by VUPCreateDeviceInfoList (default 1, at most 30)
//   device.I.name=TEXT       name of device I (default "COM<I+1> - <stem>")
//   device.I.dfu=0|1         DFU-mode field of device I
//   candidates=I,J,...       devices whose candidate flag the filter and match calls set
//                            (default: every listed device; "none" for no device)
//   accept=PATTERN;...       file names (last component, wildcards, ignoring case) that
//                            VUPIsBinaryValid accepts (default "*")
//   reject=CODE              VUPIsBinaryValid's answer for other files (default 207)
//   result.FUNCTION=CODE     what FUNCTION returns (default 0), e.g. result.VUPIsOSSupported,
//                            result.VUPIsUploadSupported, result.VUPDownloadFirmware;
//                            VUPStartStop: result.VUPStartStop.start / result.VUPStartStop.stop
//   download.wait_ms=MS      VUPDownloadFirmware takes this long, polling the abort flag
//   download.abort=honour|ignore   whether a set abort flag ends that wait (default honour)
//   download.abort_result=CODE     what an aborted download returns (default 212)
//   result.VUPDownloadFirmware.I=CODE   the download into device I (else as above)
//   error.CODE=TEXT          VUPGetErrorMessage's text (default "Recorder error CODE")
//   dllinfo.KIND=TEXT        VUPGetDLLInfo's text (answer 0 when not given)
//
// Record lines: "<stem> <function> <arguments...>", a null text written as "(null)".
#include "platform/files/files.h"
#include "platform/winapi/library.h"
#include "platform/winapi/version_info.h"
#include "vup_plugin.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifndef RECORDER_DESCRIPTION
#define RECORDER_DESCRIPTION "Recording Test Interface"
#endif
MORLIN_VERSION_INFO(RECORDER_DESCRIPTION, "2.05", "Recorder", "Morlin", "1.24", "Test");

#define RECORDER_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

VUPLogger g_logger = nullptr;

struct Detail {
    int index;
};

std::string own_stem() {
    const auto path = platform::module_path_of(reinterpret_cast<const void*>(&own_stem));
    if (!path) {
        return "recorder";
    }
    std::string name = *path;
    const auto slash = name.find_last_of("/\\");
    if (slash != std::string::npos) {
        name = name.substr(slash + 1);
    }
    const auto dot = name.find('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::map<std::string, std::string> scenario() {
    std::map<std::string, std::string> values;
    const char* path = std::getenv("MORLIN_TEST_PLUGIN_SCENARIO");
    if (path == nullptr) {
        return values;
    }
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const auto equals = line.find('=');
        if (equals != std::string::npos) {
            values[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return values;
}

std::string setting(const std::string& key, const std::string& fallback = {}) {
    const auto values = scenario();
    auto found = values.find(own_stem() + "." + key);
    if (found == values.end()) {
        found = values.find(key);
    }
    return found == values.end() ? fallback : found->second;
}

int number(const std::string& key, int fallback) {
    const std::string text = setting(key);
    return text.empty() ? fallback : std::atoi(text.c_str());
}

int result_of(const char* function) {
    return number(std::string("result.") + function, 0);
}

std::string text_or_null(const char* text) {
    return text == nullptr ? "(null)" : text;
}

void record(const std::string& line) {
    std::string path = setting("record");
    if (path.empty()) {
        const char* env = std::getenv("MORLIN_TEST_PLUGIN_RECORD");
        path = env == nullptr ? "" : env;
    }
    if (path.empty()) {
        return;
    }
    std::ofstream file(path, std::ios::app);
    file << own_stem() << " " << line << "\n";
}

int device_count() {
    const int count = number("devices", 1);
    return count < 0 ? 0 : (count > VUP_DEVICE_LIST_SIZE ? VUP_DEVICE_LIST_SIZE : count);
}

bool is_candidate(int index) {
    const std::string list = setting("candidates", "all");
    if (list == "all") {
        return true;
    }
    std::stringstream items(list);
    std::string item;
    while (std::getline(items, item, ',')) {
        if (!item.empty() && item != "none" && std::atoi(item.c_str()) == index) {
            return true;
        }
    }
    return false;
}

void set_candidates(DeviceInfoEntry* list) {
    for (int i = 0; i < VUP_DEVICE_LIST_SIZE && list[i].name[0] != '\0'; ++i) {
        list[i].candidate = is_candidate(i) ? 1u : 0u;
    }
}

bool accepted(const char* file) {
    if (file == nullptr) {
        return false;
    }
    std::string name = file;
    const auto slash = name.find_last_of("/\\");
    if (slash != std::string::npos) {
        name = name.substr(slash + 1);
    }
    std::stringstream patterns(setting("accept", "*"));
    std::string pattern;
    while (std::getline(patterns, pattern, ';')) {
        if (platform::wildcard_match(pattern, name)) {
            return true;
        }
    }
    return false;
}

void copy_text(char* target, std::size_t size, const std::string& text) {
    std::memset(target, 0, size);
    std::memcpy(target, text.data(), std::min(text.size(), size - 1));
}

} // namespace

RECORDER_EXPORT int VUPIsBinaryValid(const char* file) {
    const int answer = accepted(file) ? result_of("VUPIsBinaryValid") : number("reject", 207);
    record("VUPIsBinaryValid " + text_or_null(file) + " -> " + std::to_string(answer));
    return answer;
}

RECORDER_EXPORT int VUPCreateDeviceInfoList(DeviceInfoEntry* list, const char* config_file) {
    record("VUPCreateDeviceInfoList " + text_or_null(config_file));
    const int result = result_of("VUPCreateDeviceInfoList");
    if (result != 0) {
        return result;
    }
    int first_free = 0;
    while (first_free < VUP_DEVICE_LIST_SIZE && list[first_free].name[0] != '\0') {
        ++first_free;
    }
    for (int i = 0; i < device_count() && first_free + i < VUP_DEVICE_LIST_SIZE; ++i) {
        DeviceInfoEntry& entry = list[first_free + i];
        const std::string key = "device." + std::to_string(i);
        copy_text(entry.name, sizeof entry.name,
                  setting(key + ".name", "COM" + std::to_string(i + 1) + " - " + own_stem()));
        entry.dfu_mode = static_cast<std::uint32_t>(number(key + ".dfu", 0));
        entry.candidate = 0;
        entry.detail = new Detail{i};
    }
    return 0;
}

RECORDER_EXPORT int VUPFilterDeviceInfoSet(DeviceInfoEntry* list, const char* file, int run_kind,
                                           int iv_flag) {
    record("VUPFilterDeviceInfoSet " + text_or_null(file) + " " + std::to_string(run_kind) + " " +
           std::to_string(iv_flag));
    set_candidates(list);
    return result_of("VUPFilterDeviceInfoSet");
}

RECORDER_EXPORT int VUPUploadFirmware(DeviceInfoEntry* /*list*/, int device_index,
                                      const char* target_file, VUPProgressCallback progress,
                                      int* abort_flag) {
    record("VUPUploadFirmware " + std::to_string(device_index & 0xFF) + " " +
           text_or_null(target_file) + " progress=" + (progress ? "1" : "0") +
           " abort=" + (abort_flag ? std::to_string(*abort_flag) : "(null)"));
    return result_of("VUPUploadFirmware");
}

RECORDER_EXPORT int VUPDownloadFirmware(DeviceInfoEntry* /*list*/, int device_index,
                                        const char* backup_path, const char* file,
                                        VUPProgressCallback progress, int* abort_flag) {
    record("VUPDownloadFirmware " + std::to_string(device_index & 0xFF) + " [" +
           text_or_null(backup_path) + "] " + text_or_null(file) +
           " progress=" + (progress ? "1" : "0") +
           // The host may set the flag from its dialog thread at any time.
           " abort=" +
           (abort_flag ? std::to_string(__atomic_load_n(abort_flag, __ATOMIC_SEQ_CST)) : "(null)"));
    if (progress != nullptr) {
        progress(0, "start");
    }
    // "download.hold=1": stands at half way until the host sets the abort flag, then ends with
    // the scenario's result (the terminal plug-in's 212 in tests of a cancelled run).
    if (number("download.hold", 0) != 0 && abort_flag != nullptr) {
        if (progress != nullptr) {
            progress(50, "half way");
        }
        while (__atomic_load_n(abort_flag, __ATOMIC_SEQ_CST) == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return result_of("VUPDownloadFirmware");
    }
    // "download.steps=N": half way, then N steps at once (a plug-in with a huge step count).
    if (progress != nullptr && number("download.steps", 0) != 0) {
        progress(50, "half way");
        progress(number("download.steps", 0), "done");
    } else if (progress != nullptr) {
        progress(100, "done");
    }
    const int wait_ms = number("download.wait_ms", 0);
    const bool stops_on_abort = setting("download.abort", "honour") == "honour";
    for (int waited = 0; waited < wait_ms; waited += 10) {
        if (stops_on_abort && abort_flag != nullptr && std::atomic_ref<int>(*abort_flag).load()) {
            record("VUPDownloadFirmware aborted");
            return number("download.abort_result", 212);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return number("result.VUPDownloadFirmware." + std::to_string(device_index & 0xFF),
                  result_of("VUPDownloadFirmware"));
}

RECORDER_EXPORT int VUPDestroyDeviceInfoList(DeviceInfoEntry* list) {
    int freed = 0;
    for (int i = 0; i < VUP_DEVICE_LIST_SIZE && list[i].name[0] != '\0'; ++i) {
        delete static_cast<Detail*>(list[i].detail);
        list[i].detail = nullptr;
        ++freed;
    }
    record("VUPDestroyDeviceInfoList " + std::to_string(freed));
    return result_of("VUPDestroyDeviceInfoList");
}

RECORDER_EXPORT int VUPGetErrorMessage(int code, char* text) {
    record("VUPGetErrorMessage " + std::to_string(code));
    copy_text(text, VUP_TEXT_SIZE,
              setting("error." + std::to_string(code), "Recorder error " + std::to_string(code)));
    return 0;
}

#ifndef RECORDER_WITHOUT_DISPLAY_INFO
RECORDER_EXPORT int VUPGetDisplayInfo(DeviceInfoEntry* /*list*/, int device_index, const char* file,
                                      DisplayRow* rows) {
    record("VUPGetDisplayInfo " + std::to_string(device_index & 0xFF) + " " + text_or_null(file));
    copy_text(rows[0].label, VUP_TEXT_SIZE, "Product");
    copy_text(rows[0].device_value, VUP_TEXT_SIZE, own_stem());
    return result_of("VUPGetDisplayInfo");
}
#endif

RECORDER_EXPORT int VUPInitializeLogger(VUPLogger logger) {
    g_logger = logger;
    record("VUPInitializeLogger");
    if (g_logger != nullptr) {
        g_logger("%s(%i) :Logger of %s ready", "Recorder", 1, own_stem().c_str());
    }
    return 0;
}

#ifndef RECORDER_ELEVEN_FUNCTIONS
RECORDER_EXPORT int VUPStartStop(int start, const char* config_file) {
    record("VUPStartStop " + std::to_string(start) + " " + text_or_null(config_file));
    return result_of(start != 0 ? "VUPStartStop.start" : "VUPStartStop.stop");
}

RECORDER_EXPORT int VUPMatchDevBySymLink(DeviceInfoEntry* list, const char* symbolic_name,
                                         const char* file) {
    record("VUPMatchDevBySymLink " + text_or_null(symbolic_name) + " " + text_or_null(file));
    set_candidates(list);
    return result_of("VUPMatchDevBySymLink");
}

RECORDER_EXPORT int VUPMatchDFUDevByProdType(DeviceInfoEntry* list, const char* file) {
    record("VUPMatchDFUDevByProdType " + text_or_null(file));
    set_candidates(list);
    return result_of("VUPMatchDFUDevByProdType");
}

RECORDER_EXPORT int VUPGetDLLInfo(int kind, char* text) {
    record("VUPGetDLLInfo " + std::to_string(kind));
    const std::string info = setting("dllinfo." + std::to_string(kind));
    copy_text(text, VUP_TEXT_SIZE, info);
    return info.empty() ? 0 : 1;
}
#endif

#ifndef RECORDER_WITHOUT_OS_CHECK
RECORDER_EXPORT int VUPIsOSSupported(void) {
    record("VUPIsOSSupported");
    return result_of("VUPIsOSSupported");
}
#endif

RECORDER_EXPORT int VUPIsUploadSupported(void) {
    record("VUPIsUploadSupported");
    return result_of("VUPIsUploadSupported");
}
