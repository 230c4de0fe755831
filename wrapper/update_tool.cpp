// The update tool's file, its folder and its start.
#include "wrapper/update_tool.h"

#include "platform/files/files.h"
#include "platform/foundation/last_error.h"
#include "platform/processes/child_process.h"
#include "wrapper/trust.h"

#include <algorithm>
#include <filesystem>

namespace valdrun {
namespace {

constexpr std::string_view kToolExtension = ".exe";
constexpr std::string_view kSerialToolFolder = "RS232DFU";

bool is_separator(char c) {
    return c == '/' || c == '\\';
}

char fold(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool ends_with_tool_extension(std::string_view name) {
    return name.size() >= kToolExtension.size() &&
           std::equal(kToolExtension.begin(), kToolExtension.end(),
                      name.end() - static_cast<std::ptrdiff_t>(kToolExtension.size()),
                      [](char a, char b) { return fold(a) == fold(b); });
}

class StartedTool : public ToolProcess {
  public:
    explicit StartedTool(std::unique_ptr<platform::ChildProcess> child)
        : child_(std::move(child)) {}
    std::optional<int> exit_code() override { return child_->exit_code(); }

  private:
    std::unique_ptr<platform::ChildProcess> child_;
};

// The tool's path as its first argument: absolute, as the folder it runs in is another.
std::string absolute(const std::string& path) {
    std::string native = platform::native_path(path);
    if (!native.empty() && !std::filesystem::path(native).is_absolute()) // "C:\\..." too
        native = platform::join_path(platform::current_directory(), native);
    return native;
}

} // namespace

std::string tool_file_name(const std::string& fw_update_tool) {
    if (ends_with_tool_extension(fw_update_tool)) {
        return fw_update_tool;
    }
    return fw_update_tool + std::string(kToolExtension);
}

std::string tool_folder(const std::string& program_folder, int active_slot) {
    if (active_slot != 1) {
        return program_folder;
    }
    const char separator = !program_folder.empty() && is_separator(program_folder.back())
                               ? program_folder.back()
                               : '/';
    std::string parent = program_folder;
    while (!parent.empty() && is_separator(parent.back())) {
        parent.pop_back();
    }
    if (parent.empty() && !program_folder.empty()) {
        parent = program_folder.substr(0, 1); // the root is its own parent
    } else {
        const std::size_t last = parent.find_last_of("/\\");
        parent = last == std::string::npos ? std::string() : parent.substr(0, last + 1);
    }
    return parent + std::string(kSerialToolFolder) + separator;
}

std::string tool_path(const std::string& folder, const std::string& file) {
    const std::string folder_path = folder.empty() ? "." : folder;
    // A native program beside a Windows one of the same stem is the one that runs here.
    if (ends_with_tool_extension(file)) {
        const std::string stem = file.substr(0, file.size() - kToolExtension.size());
        if (const auto found = platform::find_file_ignoring_case(folder_path, stem)) {
            return *found;
        }
    }
    if (const auto found = platform::find_file_ignoring_case(folder_path, file)) {
        return *found;
    }
    return platform::join_path(folder_path, file);
}

std::unique_ptr<ToolProcess> start_update_tool(const std::string& folder, const std::string& file,
                                               const std::string& command_line,
                                               std::uint32_t& error) {
    const std::string run_folder = folder.empty() ? "." : folder;
    const std::string path = tool_path(folder, file);
    auto program = platform::HeldProgram::open(platform::native_path(path));
    if (!program) {
        error = platform::last_error();
        log_line("the update tool " + path +
                 " cannot be started: " + platform::system_message(error));
        return nullptr;
    }
    // Run as root, the tool and its folder must be root's and writable by no one else: the
    // file judged is the one held open, and the one that runs.
    auto refusal = why_refused_as_root(run_folder);
    if (!refusal && own_user() == 0)
        refusal = platform::why_untrusted(program->facts(), 0);
    if (refusal) {
        error = platform::kErrorAccessDenied;
        log_line("the update tool " + path + " is refused: " + *refusal);
        return nullptr;
    }
    auto child =
        platform::start_child_process(*program, absolute(path), command_line, run_folder, error);
    if (!child) {
        log_line("the update tool " + path +
                 " cannot be started: " + platform::system_message(error));
        return nullptr;
    }
    error = 0;
    return std::make_unique<StartedTool>(std::move(child));
}

} // namespace valdrun
