#include "host/config/cfg_tool.h"

#include "cli/tool_usage.h"
#include "host/config/config_file.h"
#include "host/config/host_options.h"
#include "platform/files/files.h"
#include "platform/foundation/last_error.h"

#include <cstdio>
#include <filesystem>
#include <ostream>

namespace morlin {

namespace {

constexpr const char* kDefaultFile = "Morlin.cfg";
constexpr std::size_t kFieldTextLimit = VUP_TEXT_SIZE - 1;

const char* fault_text(ConfigFault fault) {
    switch (fault) {
    case ConfigFault::None:
        return "none";
    case ConfigFault::ShortOptionRecord:
        return "the Options section promises more records than the file holds";
    case ConfigFault::ShortDownloadRecord:
        return "the Download section promises more records than the file holds";
    case ConfigFault::PartialRecord:
        return "the file ends inside a record";
    case ConfigFault::UnknownHeader:
        return "a record that is neither a section header nor SymLink";
    case ConfigFault::RepeatedDownloadSection:
        return "a second Download section";
    }
    return "unknown";
}

std::string hex32(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

constexpr std::string_view kName = "MorlinCfg";

const cli::ToolUsage kUsage{
    kName,
    "usage: MorlinCfg show [FILE]\n"
    "       MorlinCfg verify [FILE]\n"
    "       MorlinCfg write FILE [--option KEY=VALUE]... [--download PATH]... "
    "[--symlink NAME]\n",
    "Shows, verifies and writes Morlin's configuration file (docs/configuration.md). FILE is\n"
    "Morlin.cfg in the current folder unless given.\n"
    "\n"
    "  show      the check value, options, download files and SymLink record\n"
    "  verify    whether Morlin reads the file completely with a matching check value;\n"
    "            warns on standard error for each download file not found beside it\n"
    "  write     a new file: --option KEY=VALUE (GUI, REPORTSTATUS, BACKUP, ...), one\n"
    "            --download PATH per firmware file (at most 30), --symlink NAME\n"
    "  -h, --help    this text\n"
    "  --version     the version line\n"
    "\n"
    "Exit codes: 0 valid or written, 1 not valid, 2 usage error or unreadable file.\n"};

int usage_error(std::ostream& err, std::string_view problem) {
    err << cli::usage_error_text(kName, problem);
    return cli::kExitUsage;
}

struct Inspection {
    bool readable = false;
    bool check_ok = false;
    std::uint32_t stored = 0;
    std::uint32_t computed = 0;
    ConfigParse parse;
};

Inspection inspect(const std::string& path, std::ostream& err) {
    Inspection result;
    const ConfigImage image = load_config_image(path);
    switch (image.status) {
    case ConfigLoadStatus::OpenFailed:
        err << "MorlinCfg: cannot open " << path << ": "
            << platform::system_message(platform::last_error()) << "\n";
        return result;
    case ConfigLoadStatus::TooLarge:
        err << "MorlinCfg: " << path << " is larger than " << kConfigFileSizeLimit << " bytes\n";
        return result;
    case ConfigLoadStatus::ReadFailed:
        err << "MorlinCfg: cannot read " << path << "\n";
        return result;
    case ConfigLoadStatus::Loaded:
        break;
    }
    result.readable = true;
    const auto& bytes = image.bytes;
    if (bytes.empty()) {
        result.check_ok = true; // an empty file is read without a check
        return result;
    }
    if (bytes.size() >= kCheckValueSize) {
        result.stored = std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                        std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24;
        result.computed = config_check_value(std::span(bytes).subspan(kCheckValueSize));
        result.check_ok = result.stored == result.computed;
        result.parse = parse_config_records(std::span(bytes).subspan(kCheckValueSize));
    }
    return result;
}

int show(const std::string& path, std::ostream& out, std::ostream& err) {
    const Inspection file = inspect(path, err);
    if (!file.readable) {
        return 2;
    }
    out << "File: " << path << "\n";
    out << "Check value: stored " << hex32(file.stored) << ", computed " << hex32(file.computed)
        << (file.check_ok ? " (matches)" : " (DOES NOT MATCH)") << "\n";
    const ConfigContents& contents = file.parse.contents;
    out << "Options (" << contents.options.size() << "):\n";
    for (const ConfigOption& option : contents.options) {
        out << "  " << option.key << " = " << option.value
            << (find_option_key(option.key) ? "" : "   (unknown key)") << "\n";
    }
    out << "Download files (" << contents.downloads.size() << "):\n";
    for (std::size_t i = 0; i < contents.downloads.size(); ++i) {
        out << "  " << (i + 1) << ". " << contents.downloads[i] << "\n";
    }
    out << "SymLink: " << (contents.symlink ? *contents.symlink : std::string("(none)")) << "\n";
    if (!file.parse.ok()) {
        out << "Fault: " << fault_text(file.parse.fault) << "\n";
    }
    return file.check_ok && file.parse.ok() ? 0 : 1;
}

// Morlin looks for a listed file as written, relative to its current folder, which is the
// configuration's folder when it is started beside its Morlin.cfg.
void warn_missing_downloads(const std::string& path, const ConfigContents& contents,
                            std::ostream& err) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    for (const std::string& download : contents.downloads) {
        const bool absolute = !download.empty() && download.front() == '/';
        const std::string where =
            absolute || folder.empty() ? download : platform::join_path(folder, download);
        if (!platform::file_exists(platform::resolve_ignoring_case(where))) {
            err << "MorlinCfg: warning: download file " << download << " does not exist (" << where
                << ")\n";
        }
    }
}

int verify(const std::string& path, std::ostream& out, std::ostream& err) {
    const Inspection file = inspect(path, err);
    if (!file.readable) {
        return 2;
    }
    if (!file.check_ok) {
        out << path << ": check value does not match (stored " << hex32(file.stored)
            << ", computed " << hex32(file.computed) << ")\n";
        return 1;
    }
    if (!file.parse.ok()) {
        out << path << ": " << fault_text(file.parse.fault) << "\n";
        return 1;
    }
    out << path << ": valid\n";
    warn_missing_downloads(path, file.parse.contents, err);
    return 0;
}

int write(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    if (arguments.size() < 2) {
        return usage_error(err, "write needs a FILE");
    }
    // The file the host would read under that name (found ignoring case).
    const std::string path = platform::resolve_ignoring_case(arguments[1]);
    ConfigContents contents;
    for (std::size_t i = 2; i < arguments.size(); ++i) {
        const std::string& flag = arguments[i];
        if (i + 1 >= arguments.size()) {
            err << "MorlinCfg: " << flag << " needs a value\n";
            return 2;
        }
        const std::string& value = arguments[++i];
        if (flag == "--option") {
            const auto equals = value.find('=');
            if (equals == std::string::npos) {
                err << "MorlinCfg: --option wants KEY=VALUE, got " << value << "\n";
                return 2;
            }
            ConfigOption option{value.substr(0, equals), value.substr(equals + 1)};
            if (find_option_key(option.key) == nullptr) {
                err << "MorlinCfg: unknown option key " << option.key << "\n";
                return 2;
            }
            if (option.value.size() > kFieldTextLimit) {
                err << "MorlinCfg: value of " << option.key << " is longer than " << kFieldTextLimit
                    << " bytes\n";
                return 2;
            }
            contents.options.push_back(std::move(option));
        } else if (flag == "--download") {
            if (value.empty() || value.size() > kFieldTextLimit) {
                err << "MorlinCfg: a download file name needs 1 to " << kFieldTextLimit
                    << " bytes\n";
                return 2;
            }
            if (contents.downloads.size() == static_cast<std::size_t>(kMaxDownloadRecords)) {
                err << "MorlinCfg: at most " << kMaxDownloadRecords << " download files\n";
                return 2;
            }
            contents.downloads.push_back(value);
        } else if (flag == "--symlink") {
            if (value.size() > kFieldTextLimit) {
                err << "MorlinCfg: the symbolic link name is longer than " << kFieldTextLimit
                    << " bytes\n";
                return 2;
            }
            contents.symlink = value;
        } else {
            return usage_error(err, "unknown argument " + flag);
        }
    }
    if (!save_config_file(path, contents)) {
        err << "MorlinCfg: cannot write " << path << ": "
            << platform::system_message(platform::last_error()) << "\n";
        return 2;
    }
    const auto image = build_config_image(contents);
    out << "Wrote " << path << " (" << image.size() << " bytes, check value "
        << hex32(config_check_value(std::span(image).subspan(kCheckValueSize))) << ")\n";
    return 0;
}

} // namespace

int run_cfg_tool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    switch (cli::help_request(arguments)) {
    case cli::HelpRequest::Help:
        out << cli::usage_text(kUsage);
        return 0;
    case cli::HelpRequest::Version:
        out << cli::version_line(kName);
        return 0;
    case cli::HelpRequest::None:
        break;
    }
    if (arguments.empty()) {
        return usage_error(err, "a command is missing (show, verify or write)");
    }
    const std::string& command = arguments[0];
    const std::string path = arguments.size() > 1 ? arguments[1] : kDefaultFile;
    if (command == "show" && arguments.size() <= 2) {
        return show(path, out, err);
    }
    if (command == "verify" && arguments.size() <= 2) {
        return verify(path, out, err);
    }
    if (command == "write") {
        return write(arguments, out, err);
    }
    return usage_error(err, "unknown command or too many arguments: " + command);
}

} // namespace morlin
