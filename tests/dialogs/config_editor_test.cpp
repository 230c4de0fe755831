// The configuration editor and its option dialog without a toolkit: driven through the
// console's view in-process, against a folder of firmware files and a Morlin.cfg.
#include "host/dialogs/cfg_edt_dlg.h"
#include "tests/dialogs/host_dialog_bench.h"

#include <csignal>
#include <sys/resource.h>

namespace morlin {
namespace {

using Answer = platform::MessageAnswer;

constexpr const char* kSaveQuestion = "Do you want to save the configuration file?";
constexpr const char* kSelectFirst = "Please select an entry first.";
constexpr const char* kDigitsOnly = "Please enter digits only, or -1.";

struct EditorCase {
    const char* name;
    std::vector<std::string> folder_files;
    std::optional<ConfigContents> config; // none: no Morlin.cfg
    std::vector<std::string> actions;
    std::vector<Answer> answers;
    std::vector<FileRow> file_rows;       // after the actions
    std::vector<ConfigOption> options;    // after the actions
    std::vector<std::string> boxes;       // texts of the boxes, in order (Close included)
    std::vector<std::string> console_has; // lines the console wrote
};

ConfigContents contents(std::vector<ConfigOption> options, std::vector<std::string> files = {}) {
    ConfigContents made;
    made.options = std::move(options);
    made.downloads = std::move(files);
    return made;
}

class EditorEdges : public ::testing::TestWithParam<EditorCase> {};

TEST_P(EditorEdges, ListsMarksAndQuestions) {
    const EditorCase& c = GetParam();
    test::HostDialogBench bench;
    for (const std::string& file : c.folder_files) {
        morlin_test::write_text(bench.dir.file(file), "image");
    }
    if (c.config) {
        ASSERT_TRUE(save_config_file(bench.dir.file("Morlin.cfg"), *c.config));
    }
    bench.port->answers = c.answers;
    CfgEdtDlg editor(bench.app);
    const std::string console = bench.run(editor, c.actions);

    EXPECT_EQ(editor.file_rows(), c.file_rows) << console;
    const auto options = editor.option_rows();
    ASSERT_EQ(options.size(), c.options.size()) << console;
    for (std::size_t i = 0; i < options.size(); ++i) {
        EXPECT_EQ(options[i].key, c.options[i].key);
        EXPECT_EQ(options[i].value, c.options[i].value);
    }
    EXPECT_EQ(bench.boxes(), c.boxes) << console;
    for (const std::string& line : c.console_has) {
        EXPECT_NE(console.find(line + "\n"), std::string::npos) << line << "\n" << console;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Editor, EditorEdges,
    ::testing::Values(EditorCase{"MissingFileIsCreatedAndTheFolderShownUnchecked",
                                 {"b.bin", "a.bin", "fw.sig", "notes.txt"},
                                 std::nullopt,
                                 {},
                                 {},
                                 {{"a.bin", false}, {"b.bin", false}, {"fw.sig", false}},
                                 {},
                                 {},
                                 {"CTRL 1051 list enabled visible \"\""}},
                      EditorCase{"SectionFilesCheckedInSectionOrderThenTheRest",
                                 {"a.bin", "b.bin", "c.bin"},
                                 contents({}, {"b.bin", "A.BIN"}),
                                 {},
                                 {},
                                 {{"b.bin", true}, {"A.BIN", true}, {"c.bin", false}},
                                 {},
                                 {},
                                 {"ROW 1056 0 \"b.bin\" checked", "ROW 1056 2 \"c.bin\""}},
                      EditorCase{"FirstRowUpAndLastRowDownChangeAndMarkNothing",
                                 {"a.bin", "b.bin"},
                                 contents({}, {"a.bin"}),
                                 {"select 1056 0", "click 1059", "click 1057", "select 1056 1",
                                  "click 1059", "click 1058"},
                                 {Answer::Yes, Answer::Yes},
                                 {{"a.bin", true}, {"b.bin", false}},
                                 {},
                                 {kSaveQuestion, kSaveQuestion},
                                 {}},
                      EditorCase{"DownMovesNameAndCheckAndMarks",
                                 {"a.bin", "b.bin"},
                                 contents({}, {"a.bin"}),
                                 {"select 1056 0", "click 1059", "click 1058"},
                                 {Answer::Yes, Answer::No},
                                 {{"b.bin", false}, {"a.bin", true}},
                                 {},
                                 {kSaveQuestion, kSaveQuestion},
                                 {"ROW 1056 1 \"a.bin\" checked selected"}},
                      EditorCase{
                          "AddedKeysAreNoLongerOffered",
                          {},
                          std::nullopt,
                          {"click 1052", "select 1074 11", "click 1", "click 1052",
                           "select 1074 10", "select 1077 1", "click 1", "click 1052", "click 2"},
                          {Answer::No},
                          {},
                          {{"GUI", "YES"}, {"BACKUP", "NO"}},
                          {kSaveQuestion},
                          {"ROW 1074 0 \"SIGFILEONLY\" selected", "ROW 1074 9 \"DISABLELOG\""}},
                      EditorCase{"RetriesPresentLeavesTheNumberKeyListEmptyAndOkAddsNothing",
                                 {},
                                 contents({{"RETRIES", "3"}}),
                                 {"click 1052", "click 1072", "click 1"},
                                 {},
                                 {},
                                 {{"RETRIES", "3"}},
                                 {},
                                 {"CTRL 1074 dropdown disabled visible \"\"",
                                  "CTRL 1078 edit disabled visible \"\""}},
                      EditorCase{"ValueFieldTakesDigitsOrMinusOne",
                                 {},
                                 std::nullopt,
                                 {"click 1052", "click 1072", "type 1078 1a", "type 1078 -1",
                                  "type 1078 25", "click 1"},
                                 {Answer::Ok, Answer::No},
                                 {},
                                 {{"RETRIES", "25"}},
                                 {kDigitsOnly, kSaveQuestion},
                                 {"CTRL 1078 edit enabled visible \"\""}},
                      EditorCase{"LowerCaseYesIsEditedAsFreeTextAndYesWithTheChoice",
                                 {},
                                 contents({{"GUI", "yes"}, {"BACKUP", "YES"}}),
                                 {"select 1051 0", "click 1053", "click 1", "select 1051 1",
                                  "click 1053", "select 1077 1", "click 1"},
                                 {Answer::No},
                                 {},
                                 {{"GUI", "yes"}, {"BACKUP", "NO"}},
                                 {kSaveQuestion},
                                 {"CTRL 1078 edit enabled visible \"yes\"",
                                  "CTRL 1077 dropdown enabled hidden "
                                  "\"\"",
                                  "CTRL 1075 edit disabled visible \"GUI\"",
                                  "CTRL 1071 radio enabled hidden "
                                  "\"Yes/No\""}},
                      EditorCase{"ClickOnAFileRowThenCloseAsksTheSaveQuestion",
                                 {"a.bin"},
                                 std::nullopt,
                                 {"select 1056 0"},
                                 {Answer::No},
                                 {{"a.bin", false}},
                                 {},
                                 {kSaveQuestion},
                                 {}},
                      EditorCase{"EditThenCancelLeavesTheRowButMarksChanges",
                                 {},
                                 contents({{"GUI", "YES"}}),
                                 {"select 1051 0", "click 1053", "select 1077 1", "click 2"},
                                 {Answer::No},
                                 {},
                                 {{"GUI", "YES"}},
                                 {kSaveQuestion},
                                 {}},
                      EditorCase{"EditOrDeleteWithNoRowEverSelectedShows109",
                                 {},
                                 contents({{"GUI", "YES"}}),
                                 {"click 1053", "click 1054"},
                                 {},
                                 {},
                                 {{"GUI", "YES"}},
                                 {kSelectFirst, kSelectFirst},
                                 {"END 135 cancel"}},
                      EditorCase{"DeleteRemovesTheMarkedRow",
                                 {},
                                 contents({{"GUI", "YES"}, {"BACKUP", "NO"}}),
                                 {"select 1051 0", "click 1054"},
                                 {Answer::No},
                                 {},
                                 {{"BACKUP", "NO"}},
                                 {kSaveQuestion},
                                 {}},
                      EditorCase{"KeysTheEditorDoesNotOfferAreShownUnknownOnesNot",
                                 {},
                                 contents({{"MATCHBYSYMLINK", "yes"}, {"COLOUR", "red"}}),
                                 {"click 1052", "click 2"},
                                 {},
                                 {},
                                 {{"MATCHBYSYMLINK", "yes"}},
                                 {},
                                 {"ROW 1074 11 \"GUI\""}}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(Editor, SavedFileHoldsOptionsCheckedFilesAndTheSymLinkAndReadsBackTheSame) {
    test::HostDialogBench bench;
    for (const char* file : {"a.bin", "b.bin", "c.bin"}) {
        morlin_test::write_text(bench.dir.file(file), "image");
    }
    ConfigContents before = contents({{"GUI", "YES"}, {"COLOUR", "red"}}, {"gone.bin", "b.bin"});
    before.symlink = "\\\\?\\usb#vid_04e6";
    ASSERT_TRUE(save_config_file(bench.dir.file("Morlin.cfg"), before));
    bench.port->answers = {Answer::Yes};
    CfgEdtDlg editor(bench.app);
    bench.run(editor, {"check 1056 2", "click 1059"});
    EXPECT_FALSE(editor.changes_marked());

    const ConfigImage saved = load_config_image(bench.dir.file("Morlin.cfg"));
    ASSERT_TRUE(verify_config_image(saved.bytes));
    const ConfigParse parse = parse_config_records(std::span(saved.bytes).subspan(4));
    ASSERT_TRUE(parse.ok());
    ASSERT_EQ(parse.contents.options.size(), 1u); // the unknown key is not kept
    EXPECT_EQ(parse.contents.options[0].key, "GUI");
    EXPECT_EQ(parse.contents.downloads, (std::vector<std::string>{"b.bin", "c.bin"}));
    EXPECT_EQ(parse.contents.symlink, before.symlink);

    // Opened again, the editor shows what it saved, unmarked.
    CfgEdtDlg again(bench.app);
    bench.run(again, {});
    EXPECT_EQ(again.file_rows(),
              (std::vector<FileRow>{{"b.bin", true}, {"c.bin", true}, {"a.bin", false}}));
    EXPECT_EQ(bench.boxes().size(), 1u); // no question at the second close
}

TEST(Editor, AFileItCannotReadClosesTheEditorAndStaysUntouched) {
    struct Case {
        const char* name;
        bool damage_check;
        std::vector<std::string> boxes;
    };
    for (const Case& c : {Case{"check value", true, {"The configuration file is damaged."}},
                          Case{"unknown header", false, {}}}) {
        test::HostDialogBench bench;
        morlin_test::write_text(bench.dir.file("a.bin"), "image");
        std::vector<std::uint8_t> image = build_config_image(contents({{"GUI", "YES"}}));
        if (c.damage_check) {
            image[8] ^= 1;
        } else {
            image[4] = 'X'; // "Xptions"
            const auto check = config_check_value(std::span(image).subspan(4));
            for (int i = 0; i < 4; ++i) {
                image[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(check >> (8 * i));
            }
        }
        test::write_bytes(bench.dir.file("Morlin.cfg"), image);
        CfgEdtDlg editor(bench.app);
        const std::string console = bench.run(editor, {"select 1056 0", "click 1059"});
        EXPECT_TRUE(editor.ended()) << c.name;
        EXPECT_EQ(bench.boxes(), c.boxes) << c.name << "\n" << console;
        EXPECT_EQ(load_config_image(bench.dir.file("Morlin.cfg")).bytes, image) << c.name;
    }
}

TEST(Editor, ASectionFileAfterTheThirtiethListedStaysChecked) {
    test::HostDialogBench bench;
    for (int i = 100; i <= 130; ++i) {
        morlin_test::write_text(bench.dir.file("fw" + std::to_string(i) + ".bin"), "x");
    }
    ASSERT_TRUE(save_config_file(bench.dir.file("Morlin.cfg"), contents({}, {"fw130.bin"})));
    CfgEdtDlg editor(bench.app);
    bench.run(editor, {"click 1059"}); // Save without an edit
    EXPECT_EQ(load_config_image(bench.dir.file("Morlin.cfg")).bytes,
              build_config_image(contents({}, {"fw130.bin"})));
    EXPECT_EQ(editor.file_rows().size(), 30u);
    EXPECT_NE(bench.log().find("CfgEdtDlg(251) :More than 30 firmware files (31)"),
              std::string::npos);
}

TEST(Editor, FolderListingLeavesOutUnstorableNamesAndStopsAt30) {
    test::HostDialogBench bench;
    for (int i = 0; i < 32; ++i) {
        morlin_test::write_text(bench.dir.file("fw" + std::to_string(100 + i) + ".bin"), "x");
    }
    morlin_test::write_text(bench.dir.file("bad\xff.bin"), "x");
    CfgEdtDlg editor(bench.app);
    bench.run(editor, {});
    const std::vector<FileRow> rows = editor.file_rows();
    ASSERT_EQ(rows.size(), 30u);
    EXPECT_EQ(rows.front().name, "fw100.bin");
    EXPECT_EQ(rows.back().name, "fw129.bin");
    EXPECT_NE(bench.log().find("CfgEdtDlg(250) :File name cannot be stored and is not listed: bad"),
              std::string::npos);
    EXPECT_NE(bench.log().find("CfgEdtDlg(251) :More than 30 firmware files"), std::string::npos);
}

TEST(Editor, ASaveThatCannotBeWrittenKeepsTheOldFileAndTheMark) {
    test::HostDialogBench bench;
    morlin_test::write_text(bench.dir.file("a.bin"), "image");
    const ConfigContents before = contents({{"GUI", "YES"}});
    ASSERT_TRUE(save_config_file(bench.dir.file("Morlin.cfg"), before));
    const std::vector<std::uint8_t> old_image = build_config_image(before);
    bench.port->answers = {Answer::Yes, Answer::Ok, Answer::No};

    // A disk that takes no more than 600 bytes per file: the new file cannot be written whole.
    struct rlimit saved_limit {};
    ::getrlimit(RLIMIT_FSIZE, &saved_limit);
    const auto saved_signal = std::signal(SIGXFSZ, SIG_IGN);
    CfgEdtDlg editor(bench.app);
    std::string console;
    {
        struct rlimit small = saved_limit;
        small.rlim_cur = 600;
        ::setrlimit(RLIMIT_FSIZE, &small);
        console = bench.run(editor, {"check 1056 0", "click 1059"});
        ::setrlimit(RLIMIT_FSIZE, &saved_limit);
    }
    std::signal(SIGXFSZ, saved_signal);

    EXPECT_TRUE(editor.changes_marked()) << console;
    EXPECT_EQ(bench.boxes(),
              (std::vector<std::string>{kSaveQuestion, "The configuration file cannot be opened.",
                                        kSaveQuestion}));
    EXPECT_EQ(load_config_image(bench.dir.file("Morlin.cfg")).bytes, old_image);
}

} // namespace
} // namespace morlin
