#include "host/config/config_file.h"

#include "host/host_log.h"
#include "platform/files/files.h"

#include <climits>
#include <cstring>

namespace morlin {

namespace {

constexpr std::uint32_t kCheckPolynomial = 0x04C10DB7u;

std::uint32_t read_le32(std::span<const std::uint8_t> bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

void write_le32(std::uint8_t* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

ConfigRecord record_at(std::span<const std::uint8_t> records, std::size_t offset) {
    ConfigRecord record;
    std::memcpy(&record, records.data() + offset, sizeof record);
    return record;
}

void append_record(std::vector<std::uint8_t>& image, std::string_view name,
                   std::string_view value) {
    ConfigRecord record{};
    set_record_field(record.name, name);
    set_record_field(record.value, value);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&record);
    image.insert(image.end(), bytes, bytes + sizeof record);
}

// Walks the records one at a time, as the file is read.
class RecordCursor {
  public:
    explicit RecordCursor(std::span<const std::uint8_t> records) : records_(records) {}
    bool at_end() const { return offset_ == records_.size(); }
    bool whole_record_left() const { return records_.size() - offset_ >= kConfigRecordSize; }
    ConfigRecord next() {
        ConfigRecord record = record_at(records_, offset_);
        offset_ += kConfigRecordSize;
        return record;
    }

  private:
    std::span<const std::uint8_t> records_;
    std::size_t offset_ = 0;
};

} // namespace

std::uint32_t config_check_value(std::span<const std::uint8_t> bytes) {
    std::uint32_t crc = 0;
    for (std::uint8_t byte : bytes) {
        for (int bit = 0; bit < 8; ++bit) {
            const bool feedback = ((crc >> 31) ^ (byte & 1u)) != 0;
            crc <<= 1;
            if (feedback) {
                crc ^= kCheckPolynomial;
            }
            byte = static_cast<std::uint8_t>(byte >> 1);
        }
    }
    return crc;
}

bool verify_config_image(std::span<const std::uint8_t> image) {
    if (image.size() < kCheckValueSize) {
        return false;
    }
    return read_le32(image) == config_check_value(image.subspan(kCheckValueSize));
}

int record_count_value(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) {
            value = INT_MAX;
        }
    }
    return static_cast<int>(negative ? -value : value);
}

ConfigParse parse_config_records(std::span<const std::uint8_t> records) {
    ConfigParse parse;
    ConfigContents& contents = parse.contents;
    RecordCursor cursor(records);
    while (!cursor.at_end()) {
        if (!cursor.whole_record_left()) {
            parse.fault = ConfigFault::PartialRecord;
            return parse;
        }
        const ConfigRecord header = cursor.next();
        const std::string name = record_field_text(header.name);
        const int count = record_count_value(record_field_text(header.value));
        if (name == kOptionsHeader) {
            contents.has_options_section = true;
            for (int i = 0; i < count; ++i) {
                if (!cursor.whole_record_left()) {
                    parse.fault = ConfigFault::ShortOptionRecord;
                    return parse;
                }
                const ConfigRecord option = cursor.next();
                contents.options.push_back(
                    {record_field_text(option.name), record_field_text(option.value)});
            }
        } else if (name == kDownloadHeader) {
            if (contents.has_download_section) {
                parse.fault = ConfigFault::RepeatedDownloadSection;
                return parse;
            }
            contents.has_download_section = true;
            const int files = std::min(count, kMaxDownloadRecords);
            for (int i = 0; i < files; ++i) {
                if (!cursor.whole_record_left()) {
                    parse.fault = ConfigFault::ShortDownloadRecord;
                    return parse;
                }
                contents.downloads.push_back(record_field_text(cursor.next().name));
            }
        } else if (name == kSymLinkHeader) {
            if (!contents.symlink) {
                contents.symlink = record_field_text(header.value);
            }
        } else {
            parse.fault = ConfigFault::UnknownHeader;
            return parse;
        }
    }
    return parse;
}

std::vector<std::uint8_t> build_config_image(const ConfigContents& contents) {
    std::vector<std::uint8_t> image(kCheckValueSize, 0);
    if (!contents.options.empty()) {
        append_record(image, kOptionsHeader, std::to_string(contents.options.size()));
        for (const ConfigOption& option : contents.options) {
            append_record(image, option.key, option.value);
        }
    }
    if (!contents.downloads.empty()) {
        append_record(image, kDownloadHeader, std::to_string(contents.downloads.size()));
        for (const std::string& file : contents.downloads) {
            append_record(image, file, kDownloadRecordValue);
        }
    }
    if (contents.symlink) {
        append_record(image, kSymLinkHeader, *contents.symlink);
    }
    write_le32(image.data(), config_check_value(std::span(image).subspan(kCheckValueSize)));
    return image;
}

ConfigImage load_config_image(std::string_view path) {
    ConfigImage image;
    platform::OpenOptions options;
    options.access = platform::Access::Read;
    options.share = platform::Share::Read;
    options.disposition = platform::Disposition::OpenExisting;
    auto file = platform::File::open(path, options);
    if (!file) {
        image.status = ConfigLoadStatus::OpenFailed;
        return image;
    }
    const auto size = file->size();
    if (!size) {
        image.status = ConfigLoadStatus::ReadFailed;
        return image;
    }
    if (*size > kConfigFileSizeLimit) {
        image.status = ConfigLoadStatus::TooLarge;
        return image;
    }
    image.bytes.resize(static_cast<std::size_t>(*size));
    std::size_t filled = 0;
    while (filled < image.bytes.size()) {
        const auto got = file->read({image.bytes.data() + filled, image.bytes.size() - filled});
        if (!got) {
            image.status = ConfigLoadStatus::ReadFailed;
            image.bytes.clear();
            return image;
        }
        if (*got == 0) {
            break; // the file shrank meanwhile: what was read is the file
        }
        filled += *got;
    }
    image.bytes.resize(filled);
    image.status = ConfigLoadStatus::Loaded;
    return image;
}

bool save_config_file(std::string_view path, const ConfigContents& contents) {
    platform::SaveWay way = platform::SaveWay::Replaced;
    const bool saved = platform::save_file_replacing(path, build_config_image(contents), &way);
    if (saved && way == platform::SaveWay::InPlace) {
        host_log("Morlin :%.*s was written in place: no new file could be made beside it that "
                 "keeps its owner",
                 static_cast<int>(path.size()), path.data());
    }
    return saved;
}

SymLinkLookup lookup_symlink(std::string_view path) {
    SymLinkLookup lookup;
    const ConfigImage image = load_config_image(path);
    if (image.status == ConfigLoadStatus::OpenFailed) {
        lookup.outcome = 119;
        return lookup;
    }
    if (image.status != ConfigLoadStatus::Loaded ||
        (!image.bytes.empty() && !verify_config_image(image.bytes))) {
        lookup.outcome = 110;
        return lookup;
    }
    const auto records =
        std::span(image.bytes).subspan(std::min(image.bytes.size(), kCheckValueSize));
    RecordCursor cursor(records);
    while (cursor.whole_record_left()) {
        const ConfigRecord record = cursor.next();
        if (record_field_text(record.name) == kSymLinkHeader) {
            lookup.symlink = record_field_text(record.value);
            return lookup;
        }
    }
    lookup.outcome = 621;
    return lookup;
}

} // namespace morlin
