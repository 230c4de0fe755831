// SampleFirmware: writes sample firmware and application images for the simulated terminals.
//
//   SampleFirmware --out FILE [--kind firmware|application] [--product halvane|pellax]
//                  [--size BYTES[K|M]] [--version MAJOR.MINOR[.BUILD]] [--seed N]
//   SampleFirmware --samples DIR     the default samples: HalvaneFirmware.bin and
//                                    HalvaneApplication.bin (16 KiB each)
#include "cli/tool_usage.h"
#include "sample_image.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kName = "SampleFirmware";

const cli::ToolUsage kUsage{
    kName,
    "usage: SampleFirmware --out FILE [--kind firmware|application]\n"
    "                      [--product halvane|pellax] [--size BYTES[K|M]]\n"
    "                      [--version MAJOR.MINOR[.BUILD]] [--seed N]\n"
    "       SampleFirmware --samples DIR\n",
    "Writes a sample firmware or application image that the simulated terminals and VUPPorta\n"
    "accept (defaults: a Halvane firmware image of 16 KiB, version 2.2.0).\n"
    "\n"
    "  --out FILE      the image file to write\n"
    "  --kind          firmware (default) or application\n"
    "  --product       halvane (default) or pellax\n"
    "  --size          image size in bytes, K or M for KiB or MiB\n"
    "  --version       the image's version\n"
    "  --seed N        seed of the made-up contents\n"
    "  --samples DIR   the default samples HalvaneFirmware.bin and HalvaneApplication.bin\n"
    "  -h, --help      this text\n"
    "  --version       with no value: the version line\n"
    "\n"
    "Exit codes: 0 written, 1 could not write, 2 bad options.\n"};

bool parse_number(std::string_view text, unsigned long limit, unsigned long& value) {
    if (text.empty() || text.size() > 12) {
        return false;
    }
    unsigned long multiplier = 1;
    if (text.back() == 'K' || text.back() == 'k') {
        multiplier = 1024;
        text.remove_suffix(1);
    } else if (text.back() == 'M' || text.back() == 'm') {
        multiplier = 1024 * 1024;
        text.remove_suffix(1);
    }
    if (text.empty()) {
        return false;
    }
    unsigned long number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        number = number * 10 + static_cast<unsigned long>(c - '0');
    }
    value = number * multiplier;
    return value <= limit;
}

bool parse_version(std::string_view text, sample::ImageRecipe& recipe) {
    std::vector<unsigned long> parts;
    while (!text.empty()) {
        const auto dot = text.find('.');
        unsigned long part = 0;
        if (!parse_number(text.substr(0, dot), 255, part)) {
            return false;
        }
        parts.push_back(part);
        text = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    }
    if (parts.size() < 2 || parts.size() > 3) {
        return false;
    }
    recipe.major = static_cast<std::uint8_t>(parts[0]);
    recipe.minor = static_cast<std::uint8_t>(parts[1]);
    recipe.build = parts.size() == 3 ? static_cast<std::uint8_t>(parts[2]) : 0;
    return true;
}

bool write_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "SampleFirmware: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

bool write_samples(const std::string& directory) {
    sample::ImageRecipe firmware;
    sample::ImageRecipe application;
    application.kind = sample::ImageKind::Application;
    application.major = 1;
    application.minor = 10;
    application.seed = 2;
    return write_file(directory + "/HalvaneFirmware.bin", sample::make_image(firmware)) &&
           write_file(directory + "/HalvaneApplication.bin", sample::make_image(application));
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() == 1 && arguments[0] == "--version") {
        return cli::answer_help_or_version(kUsage, arguments).value_or(0);
    }
    if (cli::help_request(arguments) == cli::HelpRequest::Help) {
        return cli::answer_help_or_version(kUsage, arguments).value_or(0);
    }
    sample::ImageRecipe recipe;
    std::string out;
    std::string samples;
    for (std::size_t i = 0; i < arguments.size(); i += 2) {
        const std::string& option = arguments[i];
        if (i + 1 >= arguments.size()) {
            return cli::usage_error(kName, option + " needs a value");
        }
        const std::string_view value = arguments[i + 1];
        unsigned long number = 0;
        if (option == "--samples") {
            samples = value;
        } else if (option == "--out") {
            out = value;
        } else if (option == "--kind" && (value == "firmware" || value == "application")) {
            recipe.kind =
                value == "firmware" ? sample::ImageKind::Firmware : sample::ImageKind::Application;
        } else if (option == "--product" && (value == "halvane" || value == "pellax")) {
            recipe.product =
                value == "halvane" ? sample::Product::Halvane : sample::Product::Pellax;
        } else if (option == "--size" && parse_number(value, 256ul << 20, number) &&
                   number >= sample::kMinimumImageSize) {
            recipe.size = static_cast<std::uint32_t>(number);
        } else if (option == "--version" && parse_version(value, recipe)) {
        } else if (option == "--seed" && parse_number(value, 0xFFFFFFFFul, number)) {
            recipe.seed = static_cast<std::uint32_t>(number);
        } else {
            return cli::usage_error(kName, "bad option " + option + " " + std::string(value));
        }
    }
    if (!samples.empty()) {
        if (arguments.size() != 2) {
            return cli::usage_error(kName, "--samples writes the default samples and takes no "
                                           "other option");
        }
        return write_samples(samples) ? 0 : 1;
    }
    if (out.empty()) {
        return cli::usage_error(kName, "--out FILE is missing");
    }
    return write_file(out, sample::make_image(recipe)) ? 0 : 1;
}
