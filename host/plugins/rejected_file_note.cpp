#include "host/plugins/rejected_file_note.h"

#include "host/morlin_app.h"
#include "platform/files/files.h"

namespace morlin {

namespace {

// "missing in <folder>", "empty" or "<n> bytes".
std::string file_state(const std::string& file) {
    const std::string path = platform::resolve_ignoring_case(file);
    const auto opened = platform::File::open(path, platform::OpenOptions{});
    if (!opened) {
        return "missing in " + platform::current_directory();
    }
    const std::uint64_t size = opened->size().value_or(0);
    return size == 0 ? std::string("empty") : std::to_string(size) + " bytes";
}

std::string plugin_name(const PluginRecord& plugin) {
    if (!plugin.module) {
        return "plug-in";
    }
    const std::string& path = plugin.module->path();
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string rejected_file_note(const MorlinApp& app, const std::string& file,
                               const std::vector<int>& answers) {
    std::string note =
        "Morlin :No plug-in accepts the download file " + file + " (" + file_state(file) + ")";
    for (std::size_t index = 0; index < answers.size() && index < app.plugins.size(); ++index) {
        const PluginRecord& plugin = app.plugins[index];
        char message[VUP_TEXT_SIZE] = {};
        if (plugin.bound()) {
            plugin.fn.get_error_message(answers[index], message);
            message[VUP_TEXT_SIZE - 1] = '\0';
        }
        note += index == 0 ? ": " : "; ";
        note += plugin_name(plugin) + " answered " + std::to_string(answers[index]) + " (" +
                message + ")";
    }
    return note;
}

} // namespace morlin
