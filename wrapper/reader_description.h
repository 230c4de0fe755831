#pragma once
// The reader description: Valdrun.ini beside the program (the program's path with its
// extension replaced by "ini"; a program without one gets ".ini"), section "ReaderDetails",
// read with the Windows profile rules. It names the reader or terminal, its USB identifiers,
// the target versions, the display name and the update tool.
#include "wrapper/detection/versions.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace valdrun {

inline constexpr std::string_view kDescriptionSection = "ReaderDetails";
inline constexpr std::string_view kDefaultUpdateTool = "FWUpdate.exe";

struct ReaderDescription {
    // Slot 0: TerminalName, ReaderName or ReaderName1 (USB); slot 1: ReaderName2 (serial).
    std::array<std::string, 2> slot_name;
    bool terminal = false;
    bool usb_only = false;
    bool display_warning = false;
    int active_slot = 0;
    std::string hardware_id;
    std::string vid_text, pid_text;
    std::uint16_t vid = 0, pid = 0;
    std::string fw_version_text, app_version_text;
    Version target_firmware;    // reader: major.minor (hex); terminal: major.minor.build (hex)
    Version target_application; // terminal: major.minor (decimal)
    std::string descriptor;
    std::string update_tool = std::string(kDefaultUpdateTool);
    std::string command_line;

    bool slot_described(int slot) const { return !slot_name[slot].empty(); }
};

// The path of a file beside the program: the program's path up to and including the last
// point of its file name, followed by `extension`; "." and `extension` appended when the file
// name has no point (a point in a folder name is no extension).
std::string sibling_file(std::string_view program_path, std::string_view extension);

// Reads the description at `path` in the fixed order of keys. Nothing when the file cannot be
// read, a required key is empty or missing, no reader is named, or a version or identifier
// does not scan as numbers.
std::optional<ReaderDescription> read_reader_description(std::string_view path);
// The same from the text of the file (tests, fuzzing).
std::optional<ReaderDescription> parse_reader_description(std::string_view text);

} // namespace valdrun
