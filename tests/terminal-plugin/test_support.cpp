#include "test_support.h"

#include "terminal-plugin/plugin_log.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <platform/foundation/clock.h>

namespace vupporta::testing {
namespace {

std::mutex g_log_mutex;
std::vector<std::string> g_log_lines;

} // namespace

int capture_log_line(const char* format, ...) {
    char line[2048];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    std::lock_guard lock(g_log_mutex);
    g_log_lines.emplace_back(line);
    return 1;
}

std::vector<std::string> captured_log_lines() {
    std::lock_guard lock(g_log_mutex);
    return g_log_lines;
}

std::size_t captured_log_count(std::string_view text) {
    std::lock_guard lock(g_log_mutex);
    return static_cast<std::size_t>(
        std::count_if(g_log_lines.begin(), g_log_lines.end(),
                      [&](const auto& line) { return line.find(text) != std::string::npos; }));
}

void clear_captured_log() {
    std::lock_guard lock(g_log_mutex);
    g_log_lines.clear();
}

LogCapture::LogCapture() {
    clear_captured_log();
    set_logger(capture_log_line);
}

LogCapture::~LogCapture() {
    set_logger(nullptr);
}

std::vector<std::string> LogCapture::lines() const {
    return captured_log_lines();
}

bool LogCapture::contains(std::string_view text) const {
    return count(text) > 0;
}

std::size_t LogCapture::count(std::string_view text) const {
    return captured_log_count(text);
}

std::string NumberedTexts::text(unsigned id, std::size_t buffer_size) const {
    std::string text = id == 743 ? "T743 %d records" : "T" + std::to_string(id);
    return text.substr(0, buffer_size - 1);
}

TempFolder::TempFolder() : path_(dir_.path().string()) {}

std::string TempFolder::write(std::string_view name, const std::vector<std::uint8_t>& bytes) const {
    const std::string file = dir_.file(name);
    morlin_test::write_text(
        file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return file;
}

std::vector<std::uint8_t> make_image(char type, std::size_t size, std::string_view product,
                                     std::uint8_t major, std::uint8_t minor, std::uint8_t patch) {
    std::vector<std::uint8_t> image(size);
    for (std::size_t at = 0; at < size; ++at) {
        image[at] = static_cast<std::uint8_t>(at * 7 + at / 251);
    }
    auto put = [&](std::size_t offset, std::string_view text) {
        for (std::size_t at = 0; at < text.size() && offset + at < size; ++at) {
            image[offset + at] = static_cast<std::uint8_t>(text[at]);
        }
    };
    // Keep the pattern from spelling a product by chance.
    put(116, "xxxxxxx");
    if (type == '0') {
        put(116, product == "Halvane" ? "QVX" : product == "Pellax" ? "PELLAX" : "");
    } else if (!product.empty()) {
        const std::string marker =
            std::string("prodcfg") + '\0' + (product == "Pellax" ? '\1' : '\0');
        put(size > 600 ? 500 : 140, marker);
    }
    if (size > 136) {
        image[132] = major;
        image[133] = minor;
        image[134] = patch;
        image[136] = static_cast<std::uint8_t>(type);
    }
    return image;
}

void prepare_fast_environment() {
    setenv("MORLIN_INHIBIT", "none", 1);
    setenv("MORLIN_UI", "console", 1);
    platform::set_time_scale_percent(1);
}

} // namespace vupporta::testing
