// The configuration file: check value, records, reader faults, writer, SymLink lookup.
#include "host/config/config_file.h"
#include "host/config/host_options.h"
#include "test_support.h"

#include <csignal>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morlin {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A record written byte by byte, independent of the code under test.
void add_record(Bytes& out, const std::string& name, const std::string& value) {
    Bytes record(520, 0);
    std::memcpy(record.data(), name.data(), std::min<std::size_t>(name.size(), 260));
    std::memcpy(record.data() + 260, value.data(), std::min<std::size_t>(value.size(), 260));
    out.insert(out.end(), record.begin(), record.end());
}

Bytes with_check_value(const Bytes& records) {
    Bytes file(4, 0);
    file.insert(file.end(), records.begin(), records.end());
    const std::uint32_t check = config_check_value(records);
    for (int i = 0; i < 4; ++i) {
        file[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(check >> (8 * i));
    }
    return file;
}

TEST(ConfigCheckValue, KnownValues) {
    const Bytes abc = {'a', 'b', 'c'};
    EXPECT_EQ(config_check_value(abc), 0x6E491BEBu);
    EXPECT_EQ(config_check_value({}), 0u);
}

// The expected value was computed by a separate Python implementation of the algorithm, so a
// file written here is one that any other writer of the format produces too.
TEST(ConfigCheckValue, WrittenFileMatchesIndependentComputation) {
    ConfigContents contents;
    contents.options = {{"GUI", "no"}, {"REPORTSTATUS", "yes"}};
    contents.downloads = {"fw.bin"};
    const Bytes image = build_config_image(contents);
    ASSERT_EQ(image.size(), 4u + 5u * 520u);
    EXPECT_EQ(image[0], 0x76);
    EXPECT_EQ(image[1], 0x8C);
    EXPECT_EQ(image[2], 0x81);
    EXPECT_EQ(image[3], 0x0E);

    Bytes by_hand;
    add_record(by_hand, "Options", "2");
    add_record(by_hand, "GUI", "no");
    add_record(by_hand, "REPORTSTATUS", "yes");
    add_record(by_hand, "Download", "1");
    add_record(by_hand, "fw.bin", " ");
    EXPECT_EQ(Bytes(image.begin() + 4, image.end()), by_hand);
}

TEST(ConfigCheckValue, VerifyRejectsShortAndTamperedFiles) {
    EXPECT_TRUE(verify_config_image(Bytes{0, 0, 0, 0}));
    EXPECT_FALSE(verify_config_image(Bytes{}));
    EXPECT_FALSE(verify_config_image(Bytes{0}));
    EXPECT_FALSE(verify_config_image(Bytes{0, 0, 0}));
    Bytes records;
    add_record(records, "Options", "0");
    Bytes file = with_check_value(records);
    EXPECT_TRUE(verify_config_image(file));
    file[300] ^= 0x01; // a byte after a field's zero still counts
    EXPECT_FALSE(verify_config_image(file));
}

TEST(ConfigRecords, RoundTripKeepsOrderAndSymLink) {
    ConfigContents contents;
    contents.options = {{"GUI", "yes"}, {"RETRIES", "3"}, {"MATCHBYSYMLINK", "yes"}};
    contents.downloads = {"a.bin", "/firmware/b image.bin", "c.bin"};
    contents.symlink = "\\\\?\\usb#vid_04e6&pid_1a02#1";
    const Bytes image = build_config_image(contents);
    ASSERT_TRUE(verify_config_image(image));
    const ConfigParse parse = parse_config_records(std::span(image).subspan(4));
    ASSERT_TRUE(parse.ok());
    ASSERT_EQ(parse.contents.options.size(), 3u);
    EXPECT_EQ(parse.contents.options[1].key, "RETRIES");
    EXPECT_EQ(parse.contents.options[1].value, "3");
    EXPECT_EQ(parse.contents.downloads, contents.downloads);
    EXPECT_EQ(parse.contents.symlink, contents.symlink);
}

TEST(ConfigRecords, EmptyContentsGiveFourByteFileWithCheckValueZero) {
    const Bytes image = build_config_image({});
    EXPECT_EQ(image, (Bytes{0, 0, 0, 0}));
    EXPECT_TRUE(parse_config_records({}).ok());
}

TEST(ConfigRecords, SectionsInEitherOrderAndSymLinkAnywhere) {
    Bytes records;
    add_record(records, "SymLink", "first");
    add_record(records, "Download", "1");
    add_record(records, "x.bin", " ");
    add_record(records, "SymLink", "between");
    add_record(records, "Options", "1");
    add_record(records, "BACKUP", "no");
    const ConfigParse parse = parse_config_records(records);
    ASSERT_TRUE(parse.ok());
    EXPECT_EQ(parse.contents.downloads, std::vector<std::string>{"x.bin"});
    EXPECT_EQ(parse.contents.options.size(), 1u);
    EXPECT_EQ(parse.contents.symlink, "first");
}

TEST(ConfigRecords, CountsThatLieEndInAShortRecordKeepingWhatWasRead) {
    Bytes options;
    add_record(options, "Options", "5");
    add_record(options, "GUI", "no");
    ConfigParse parse = parse_config_records(options);
    EXPECT_EQ(parse.fault, ConfigFault::ShortOptionRecord);
    EXPECT_EQ(parse.contents.options.size(), 1u);

    Bytes downloads;
    add_record(downloads, "Download", "2147483647999");
    add_record(downloads, "a.bin", " ");
    parse = parse_config_records(downloads);
    EXPECT_EQ(parse.fault, ConfigFault::ShortDownloadRecord);
    EXPECT_EQ(parse.contents.downloads.size(), 1u);

    Bytes negative;
    add_record(negative, "Options", "-7");
    parse = parse_config_records(negative);
    EXPECT_TRUE(parse.ok());
    EXPECT_TRUE(parse.contents.options.empty());
}

TEST(ConfigRecords, DownloadCountAboveThirtyReadsThirtyThenFails) {
    Bytes records;
    add_record(records, "Download", "31");
    for (int i = 0; i < 31; ++i) {
        add_record(records, "f" + std::to_string(i) + ".bin", " ");
    }
    const ConfigParse parse = parse_config_records(records);
    EXPECT_EQ(parse.fault, ConfigFault::UnknownHeader);
    EXPECT_EQ(parse.contents.downloads.size(), 30u);
    EXPECT_EQ(parse.contents.downloads.back(), "f29.bin");
}

TEST(ConfigRecords, MalformedStructureIsRejected) {
    Bytes unknown;
    add_record(unknown, "Optionz", "1");
    EXPECT_EQ(parse_config_records(unknown).fault, ConfigFault::UnknownHeader);

    Bytes partial;
    add_record(partial, "Options", "0");
    partial.resize(partial.size() + 100, 'x');
    EXPECT_EQ(parse_config_records(partial).fault, ConfigFault::PartialRecord);

    Bytes twice; // a second Download section would refill the table from its start
    add_record(twice, "Download", "1");
    add_record(twice, "a.bin", " ");
    add_record(twice, "Download", "1");
    add_record(twice, "b.bin", " ");
    const ConfigParse parse = parse_config_records(twice);
    EXPECT_EQ(parse.fault, ConfigFault::RepeatedDownloadSection);
    EXPECT_EQ(parse.contents.downloads, std::vector<std::string>{"a.bin"});

    Bytes case_differs;
    add_record(case_differs, "options", "0");
    EXPECT_EQ(parse_config_records(case_differs).fault, ConfigFault::UnknownHeader);
}

TEST(ConfigRecords, UnterminatedFieldsAreCut) {
    Bytes records;
    add_record(records, "Download", "1");
    Bytes record(520, 'A'); // neither field has its terminating zero
    records.insert(records.end(), record.begin(), record.end());
    const ConfigParse parse = parse_config_records(records);
    ASSERT_TRUE(parse.ok());
    ASSERT_EQ(parse.contents.downloads.size(), 1u);
    EXPECT_EQ(parse.contents.downloads[0], std::string(259, 'A'));

    Bytes header(520, '7'); // a name without zero is no header
    EXPECT_EQ(parse_config_records(header).fault, ConfigFault::UnknownHeader);
}

TEST(ConfigRecords, RandomBytesNeverBreakTheReader) {
    std::mt19937 random(1234);
    for (int round = 0; round < 300; ++round) {
        Bytes records;
        add_record(records, round % 2 ? "Options" : "Download", std::to_string(random() % 40));
        const std::size_t extra = random() % 3000;
        for (std::size_t i = 0; i < extra; ++i) {
            records.push_back(static_cast<std::uint8_t>(random()));
        }
        const ConfigParse parse = parse_config_records(records);
        EXPECT_LE(parse.contents.downloads.size(), 30u);
        for (const auto& option : parse.contents.options) {
            EXPECT_LE(option.key.size(), 259u);
            EXPECT_LE(option.value.size(), 259u);
        }
    }
}

TEST(ConfigFields, CountValueReadsLikeCIntegerConversion) {
    EXPECT_EQ(record_count_value("12abc"), 12);
    EXPECT_EQ(record_count_value("  +3"), 3);
    EXPECT_EQ(record_count_value("-2"), -2);
    EXPECT_EQ(record_count_value("x1"), 0);
    EXPECT_EQ(record_count_value(""), 0);
    EXPECT_EQ(record_count_value("99999999999999999999"), 2147483647);
}

TEST(ConfigFields, SetFieldCutsAndZeroFills) {
    char field[260];
    std::memset(field, 'z', sizeof field);
    set_record_field(field, std::string(400, 'q'));
    EXPECT_EQ(record_field_text(field), std::string(259, 'q'));
    EXPECT_EQ(field[259], '\0');
    set_record_field(field, "ab");
    EXPECT_EQ(field[2], '\0');
    EXPECT_EQ(field[258], '\0');
}

TEST(ConfigOptions, YesNoValuesAndTheGuiKey) {
    HostOptions options;
    apply_option(options, "GUI", "YES");
    EXPECT_FALSE(options.silent);
    apply_option(options, "GUI", "1");
    EXPECT_TRUE(options.silent);
    apply_option(options, "GUI", "yEs");
    EXPECT_FALSE(options.silent);

    EXPECT_TRUE(options.backup);
    apply_option(options, "BACKUP", "NO");
    EXPECT_FALSE(options.backup);
    apply_option(options, "REPORTSTATUS", "Yes");
    EXPECT_TRUE(options.report_status);
    apply_option(options, "REPORTSTATUS", "");
    EXPECT_FALSE(options.report_status);
    apply_option(options, "MATCHBYSYMLINK", "yes");
    EXPECT_TRUE(options.match_by_symlink);

    const HostOptions before = options;
    apply_option(options, "disablelog", "yes");  // keys compare case-sensitively
    apply_option(options, "UPGRADEONLY", "yes"); // for the plug-ins only
    apply_option(options, "NOSUCHKEY", "yes");
    EXPECT_EQ(options.disable_log, before.disable_log);
    EXPECT_EQ(std::memcmp(&options, &before, sizeof options), 0);
}

TEST(ConfigFile, LoadRefusesHugeFilesAndReportsMissingOnes) {
    test::TempDir dir;
    EXPECT_EQ(load_config_image(dir.file("none.cfg")).status, ConfigLoadStatus::OpenFailed);
    test::write_bytes(dir.file("huge.cfg"), Bytes(kConfigFileSizeLimit + 1, 0));
    EXPECT_EQ(load_config_image(dir.file("huge.cfg")).status, ConfigLoadStatus::TooLarge);
}

TEST(ConfigFile, SaveReplacesTheFileWhole) {
    test::TempDir dir;
    const std::string path = dir.file("Morlin.cfg");
    ConfigContents first;
    first.downloads = {"one.bin"};
    ASSERT_TRUE(save_config_file(path, first));
    const Bytes first_image = test::read_bytes(path);
    EXPECT_EQ(first_image, build_config_image(first));

    // A save that cannot write (the file size limit is below the new file's size) leaves the
    // old file as it was, and no temporary file behind.
    ConfigContents second;
    second.downloads = {"two.bin", "three.bin"};
    {
        const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit old_limit{};
        ::getrlimit(RLIMIT_FSIZE, &old_limit);
        rlimit small = old_limit;
        small.rlim_cur = 600;
        ::setrlimit(RLIMIT_FSIZE, &small);
        EXPECT_FALSE(save_config_file(path, second));
        ::setrlimit(RLIMIT_FSIZE, &old_limit);
        std::signal(SIGXFSZ, old_handler);
    }
    EXPECT_EQ(test::read_bytes(path), first_image);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);

    ASSERT_TRUE(save_config_file(path, second));
    EXPECT_EQ(test::read_bytes(path), build_config_image(second));
}

TEST(ConfigFile, SaveThroughASymbolicLinkKeepsTheLinkModeOwnerAndGroup) {
    test::TempDir dir;
    std::filesystem::create_directories(dir.file("shared"));
    const std::string real = dir.file("shared/Morlin.cfg");
    const std::string link = dir.file("Morlin.cfg");
    ASSERT_TRUE(save_config_file(real, ConfigContents{}));
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    // Another owner and group where the test may give them (as root).
    const bool other_owner = ::chown(real.c_str(), 4321, 4322) == 0;
    std::filesystem::create_symlink("shared/Morlin.cfg", link);
    ConfigContents saved;
    saved.downloads = {"fw.bin"};
    ASSERT_TRUE(save_config_file(link, saved));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(test::read_bytes(real), build_config_image(saved));
    struct stat after {};
    ASSERT_EQ(::stat(real.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    if (other_owner) {
        EXPECT_EQ(after.st_uid, 4321u);
        EXPECT_EQ(after.st_gid, 4322u);
    }
}

TEST(ConfigFile, SymLinkLookup) {
    test::TempDir dir;
    ConfigContents contents;
    contents.options = {{"MATCHBYSYMLINK", "yes"}};
    contents.downloads = {"a.bin"};
    contents.symlink = "link-1";
    ASSERT_TRUE(save_config_file(dir.file("with.cfg"), contents));
    SymLinkLookup lookup = lookup_symlink(dir.file("with.cfg"));
    EXPECT_EQ(lookup.outcome, 0);
    EXPECT_EQ(lookup.symlink, "link-1");

    contents.symlink.reset();
    ASSERT_TRUE(save_config_file(dir.file("without.cfg"), contents));
    EXPECT_EQ(lookup_symlink(dir.file("without.cfg")).outcome, 621);

    Bytes tampered = build_config_image(contents);
    tampered[0] ^= 0xFF;
    test::write_bytes(dir.file("bad.cfg"), tampered);
    EXPECT_EQ(lookup_symlink(dir.file("bad.cfg")).outcome, 110);
    EXPECT_EQ(lookup_symlink(dir.file("missing.cfg")).outcome, 119);
}

} // namespace
} // namespace morlin
