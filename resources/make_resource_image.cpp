// Build tool: turns the string texts (strings.txt) into the C++ source of the resource
// library's image: string-table blocks of 16 counted UTF-16 strings per language, behind a
// directory of (type, block, language, offset, length) entries.
//
//   make_resource_image <strings.txt> <output.cpp>
//
// Line format of the texts, UTF-8: "<number> <language> <text>", language "en" (0x0409) or
// "de" (0x0407); in the text \n, \r, \t and \\ stand for line feed, carriage return, tab and
// backslash. Empty lines and lines starting with '#' are skipped. Any other line, a
// duplicate number/language pair or invalid UTF-8 stops the build with a message.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::uint16_t kTypeString = 6;
constexpr unsigned kStringsPerBlock = 16;

struct Failure {
    std::string message;
};

std::u16string utf8_to_utf16(const std::string& text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        auto byte = static_cast<unsigned char>(text[i]);
        char32_t code = 0;
        std::size_t length = 0;
        if (byte < 0x80) {
            code = byte;
            length = 1;
        } else if ((byte & 0xE0) == 0xC0) {
            code = byte & 0x1Fu;
            length = 2;
        } else if ((byte & 0xF0) == 0xE0) {
            code = byte & 0x0Fu;
            length = 3;
        } else if ((byte & 0xF8) == 0xF0) {
            code = byte & 0x07u;
            length = 4;
        } else {
            throw Failure{"invalid UTF-8"};
        }
        if (i + length > text.size()) {
            throw Failure{"invalid UTF-8"};
        }
        for (std::size_t k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                throw Failure{"invalid UTF-8"};
            }
            code = (code << 6) | (next & 0x3Fu);
        }
        if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            throw Failure{"invalid UTF-8"};
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
        i += length;
    }
    return out;
}

std::string unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) {
            throw Failure{"backslash at the end of the text"};
        }
        switch (text[i]) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            throw Failure{std::string("unknown escape \\") + text[i]};
        }
    }
    return out;
}

// (language, number) -> text
using Texts = std::map<std::pair<std::uint16_t, unsigned>, std::u16string>;

Texts read_texts(std::istream& in) {
    Texts texts;
    std::string line;
    for (unsigned line_number = 1; std::getline(in, line); ++line_number) {
        try {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            if (line.empty() || line[0] == '#') {
                continue;
            }
            std::size_t first_space = line.find(' ');
            std::size_t second_space = line.find(' ', first_space + 1);
            if (first_space == std::string::npos) {
                throw Failure{"expected \"<number> <language> <text>\""};
            }
            std::string number_text = line.substr(0, first_space);
            std::string language_text =
                line.substr(first_space + 1, second_space == std::string::npos
                                                 ? std::string::npos
                                                 : second_space - first_space - 1);
            std::string text =
                second_space == std::string::npos ? "" : line.substr(second_space + 1);
            if (number_text.empty() || number_text.size() > 5 ||
                number_text.find_first_not_of("0123456789") != std::string::npos ||
                std::stoul(number_text) > 0xFFFF) {
                throw Failure{"string number must be 0 to 65535"};
            }
            std::uint16_t language = 0;
            if (language_text == "en") {
                language = 0x0409;
            } else if (language_text == "de") {
                language = 0x0407;
            } else {
                throw Failure{"language must be en or de"};
            }
            std::u16string converted = utf8_to_utf16(unescape(text));
            if (converted.size() > 0xFFFF) {
                throw Failure{"text too long"};
            }
            auto key = std::make_pair(language, static_cast<unsigned>(std::stoul(number_text)));
            if (!texts.emplace(key, converted).second) {
                throw Failure{"duplicate text for this number and language"};
            }
        } catch (const Failure& failure) {
            throw Failure{"line " + std::to_string(line_number) + ": " + failure.message};
        }
    }
    return texts;
}

void put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

void set32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::vector<std::uint8_t> build_image(const Texts& texts) {
    // (type, block, language) -> block bytes, in directory order.
    std::map<std::tuple<std::uint16_t, std::uint16_t, std::uint16_t>, std::vector<std::uint8_t>>
        blocks;
    std::map<std::pair<std::uint16_t, std::uint16_t>, std::vector<const std::u16string*>> grouped;
    for (const auto& [key, text] : texts) {
        auto block = static_cast<std::uint16_t>(key.second / kStringsPerBlock + 1);
        auto& slots = grouped[{block, key.first}];
        slots.resize(kStringsPerBlock, nullptr);
        slots[key.second % kStringsPerBlock] = &text;
    }
    for (const auto& [key, slots] : grouped) {
        std::vector<std::uint8_t> bytes;
        for (const std::u16string* text : slots) {
            std::size_t count = text != nullptr ? text->size() : 0;
            put16(bytes, static_cast<std::uint32_t>(count));
            for (std::size_t i = 0; i < count; ++i) {
                put16(bytes, (*text)[i]);
            }
        }
        blocks[{kTypeString, key.first, key.second}] = std::move(bytes);
    }
    if (blocks.size() > 0xFFFF) {
        throw Failure{"too many blocks"};
    }
    std::vector<std::uint8_t> image = {'M', 'R', 'E', 'S'};
    put16(image, 1);
    put16(image, static_cast<std::uint32_t>(blocks.size()));
    put32(image, 0); // image size, set at the end
    put32(image, 0);
    std::vector<std::size_t> offset_fields;
    for (const auto& [key, bytes] : blocks) {
        put16(image, std::get<0>(key));
        put16(image, std::get<1>(key));
        put16(image, std::get<2>(key));
        put16(image, 0);
        offset_fields.push_back(image.size());
        put32(image, 0);
        put32(image, static_cast<std::uint32_t>(bytes.size()));
    }
    std::size_t index = 0;
    for (const auto& entry : blocks) {
        set32(image, offset_fields[index++], static_cast<std::uint32_t>(image.size()));
        image.insert(image.end(), entry.second.begin(), entry.second.end());
    }
    set32(image, 8, static_cast<std::uint32_t>(image.size()));
    return image;
}

std::string as_source(const std::vector<std::uint8_t>& image) {
    std::ostringstream out;
    out << "// Generated by make_resource_image from strings.txt. Do not edit.\n"
        << "extern \"C\" __attribute__((visibility(\"default\"))) const unsigned char\n"
        << "    morlin_resource_image[" << image.size() << "] = {";
    for (std::size_t i = 0; i < image.size(); ++i) {
        out << (i % 16 == 0 ? "\n    " : " ") << static_cast<unsigned>(image[i]) << ',';
    }
    out << "\n};\n";
    return out.str();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: make_resource_image <strings.txt> <output.cpp>\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::cerr << argv[1] << ": cannot open\n";
        return 1;
    }
    try {
        std::string source = as_source(build_image(read_texts(in)));
        std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
        out << source;
        if (!out.flush()) {
            std::cerr << argv[2] << ": cannot write\n";
            return 1;
        }
    } catch (const Failure& failure) {
        std::cerr << argv[1] << ": " << failure.message << '\n';
        return 1;
    }
    return 0;
}
