// What a script or a newcomer reads after a configured run of the real Morlin program with
// recording test plug-ins: the run history of MORLIN_RESULT_FILE, log lines that name the
// cause, and what Ctrl-C (SIGINT) and SIGTERM do to a download in progress.
#include "morlin_run.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace morlin {
namespace {

using nlohmann::json;
using test::MorlinRun;
using test::silent_config;

class RunHistory : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_.add_library(std::string(MORLIN_BIN_DIR) + "/MORLNRES.so", "MORLNRES.so");
    }
    MorlinRun run(const std::string& arguments = {}) const {
        return folder_.run(arguments, {{"MORLIN_RESULT_FILE", history_file()},
                                       {"MORLIN_UI_ACTIONS", actions_},
                                       {"MORLIN_UI_FILES", "fw.bin"}});
    }
    std::string history_file() const { return folder_.file("history.jsonl"); }
    // The course's configuration and what a user does in its dialogs to download fw.bin:
    // "silent", "progress" (the configured run's progress dialog), "main" (the main window).
    std::string prepare_course(const std::string& course) {
        folder_.firmware_file("fw.bin");
        ConfigContents contents = silent_config({"fw.bin"}, {{"REPORTSTATUS", "no"}});
        if (course != "silent") {
            contents.options = {};
        }
        if (course == "main") {
            contents.downloads = {}; // read, but no file: the interactive course
        }
        EXPECT_TRUE(folder_.config(contents));
        actions_ = course == "silent"     ? ""
                   : course == "progress" ? "click 1088;wait;close"
                                          : "click 1003;click 1010;wait;close";
        return actions_;
    }
    std::vector<json> history() const {
        std::vector<json> records;
        for (const std::string& line : test::lines_of(test::read_text(history_file()))) {
            records.push_back(json::parse(line));
        }
        return records;
    }

    test::MorlinFolder folder_;
    std::string actions_;
};

// "2026-12-09T15:23:24Z"
bool is_utc_timestamp(const std::string& text) {
    const std::string shape = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != shape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (shape[i] == 'd' ? !digit : text[i] != shape[i]) {
            return false;
        }
    }
    return true;
}

struct HistoryCase {
    const char* name;
    const char* course;     // as prepare_course() takes it
    const char* scenario;   // the recording plug-in's answers
    bool with_plugin;       // VUPRecorder.so beside the configuration
    const char* outcome;    // "ok", "failed"
    int exit_code;          // as the program's own rules give it
    int download_result;    // -1: no download recorded
    const char* error_part; // part of the first error box text, "" for none
};

class RunHistoryCases : public RunHistory, public ::testing::WithParamInterface<HistoryCase> {};

TEST_P(RunHistoryCases, OneJsonLinePerRunTellsSuccessFromFailure) {
    const HistoryCase& c = GetParam();
    if (c.with_plugin) {
        folder_.add_test_plugin("VUPRecorder");
    }
    folder_.scenario(c.scenario);
    prepare_course(c.course);
    const MorlinRun first = run();
    const MorlinRun second = run();
    EXPECT_EQ(second.exit_code, c.exit_code);

    const std::vector<json> records = history();
    ASSERT_EQ(records.size(), 2u) << "one line per run, appended";
    const json& record = records[1];
    EXPECT_EQ(record["outcome"], c.outcome) << record.dump();
    EXPECT_EQ(record["exit_code"], c.exit_code);
    // Without a plug-in the program ends before it reads its configuration.
    EXPECT_EQ(record["configuration"], c.with_plugin ? json("Morlin.cfg") : json(nullptr));
    EXPECT_TRUE(is_utc_timestamp(record["time"].get<std::string>())) << record["time"];
    if (c.download_result < 0) {
        EXPECT_TRUE(record["downloads"].empty());
    } else {
        ASSERT_EQ(record["downloads"].size(), 1u);
        const json& download = record["downloads"][0];
        EXPECT_TRUE(download["file"].get<std::string>().ends_with("fw.bin")); // as chosen
        EXPECT_EQ(download["plugin"], "VUPRecorder.so");
        EXPECT_EQ(download["device"], "COM1 - VUPRecorder");
        EXPECT_EQ(download["result"], c.download_result);
        EXPECT_EQ(download["bytes"], 5); // "image"
        EXPECT_GE(download["seconds"].get<double>(), 0.0);
    }
    if (*c.error_part == '\0') {
        EXPECT_TRUE(record["error"].is_null());
    } else {
        EXPECT_NE(record["error"].get<std::string>().find(c.error_part), std::string::npos)
            << record.dump();
    }
}

const HistoryCase kHistoryCases[] = {
    {"SilentSuccess", "silent", "", true, "ok", 255, 0, ""},
    {"ProgressDialogSuccess", "progress", "", true, "ok", 0, 0, ""},
    {"MainWindowSuccess", "main", "", true, "ok", 0, 0, ""},
    {"MainWindowFailure", "main", "result.VUPDownloadFirmware=729\n", true, "failed", 2, 729,
     "729"},
    {"DownloadFails", "silent", "result.VUPDownloadFirmware=729\nerror.729=The port is gone\n",
     true, "failed", 255, 729, ""},
    // Ends before any course with exit code 0: still a failure for a script.
    {"NoPlugin", "silent", "", false, "failed", 0, -1, "lug-in"},
    {"FileRejected", "silent", "accept=none\n", true, "failed", 0, -1, ""},
};

INSTANTIATE_TEST_SUITE_P(Courses, RunHistoryCases, ::testing::ValuesIn(kHistoryCases),
                         [](const auto& test_case) { return std::string(test_case.param.name); });

TEST_F(RunHistory, LogNamesTheCauseOnSingleLines) {
    folder_.add_test_plugin("VUPRecorder");
    folder_.scenario("accept=fw.bin\nreject=207\nerror.207=Not an image of this plug-in\n"
                     "error.0=Done.\n");
    folder_.firmware_file("fw.bin");
    folder_.firmware_file("empty.bin", "");
    ASSERT_TRUE(folder_.config(silent_config({"missing.bin", "empty.bin", "fw.bin"})));
    const MorlinRun result = run();

    const std::string folder = folder_.path();
    EXPECT_TRUE(result.log_has("Morlin :Plug-ins looked for as VUP*.so in " + folder + ": 1 bound"))
        << result.log;
    EXPECT_TRUE(result.log_has("Morlin :No plug-in accepts the download file missing.bin "
                               "(missing in " +
                               folder +
                               "): VUPRecorder.so answered 207 (Not an image of this "
                               "plug-in)"))
        << result.log;
    EXPECT_TRUE(result.log_has("Morlin :No plug-in accepts the download file empty.bin "
                               "(empty): VUPRecorder.so answered 207"));
    EXPECT_EQ(result
                  .log_lines_with("Morlin :Download of fw.bin into device 0 (COM1 - "
                                  "VUPRecorder) ended with 0 (success)")
                  .size(),
              1u)
        << result.log;
    // Every line ends in CR LF; the only empty line is the one after the session's last line.
    for (std::size_t at = result.log.find('\n'); at != std::string::npos;
         at = result.log.find('\n', at + 1)) {
        EXPECT_TRUE(at > 0 && result.log[at - 1] == '\r') << "bare line feed at " << at;
    }
    EXPECT_TRUE(result.log.ends_with("Morlin Quits the current session.\r\n\r\n"));
}

// Morlin runs in the background; `signals` are sent once the download has begun.
struct StopCase {
    const char* name;
    const char* course;         // as prepare_course() takes it
    const char* abort_handling; // the plug-in honours or ignores the abort flag
    const char* signals;        // kill arguments, one per signal
    int exit_code;
};

class StopRequests : public RunHistory, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopRequests, EndTheDownloadAsACancelOrAtOnce) {
    const StopCase& c = GetParam();
    folder_.add_test_plugin("VUPRecorder");
    folder_.scenario(std::string("download.wait_ms=20000\ndownload.abort=") + c.abort_handling +
                     "\nrecord=" + folder_.file("calls.txt") + "\n");
    const std::string actions = prepare_course(c.course);

    const std::string dir = folder_.path();
    std::string send;
    for (const char* signal = c.signals; *signal != '\0';) {
        const char* end = signal;
        while (*end != '\0' && *end != ' ') {
            ++end;
        }
        send += " kill -" + std::string(signal, end) + " $pid; sleep 0.2;";
        signal = *end == ' ' ? end + 1 : end;
    }
    const std::string script =
        "cd '" + dir + "' && export MORLIN_UI=console MORLIN_INHIBIT=none LC_ALL=C TMPDIR='" + dir +
        "/tmp' MORLIN_LOG_FILE='" + dir + "/Morlin.log' MORLIN_RESULT_FILE='" + history_file() +
        "' MORLIN_TEST_PLUGIN_SCENARIO='" + dir + "/scenario.txt' MORLIN_UI_FILES=fw.bin" +
        " MORLIN_UI_ACTIONS='" + actions + "' MORLIN_INSTANCE_SCOPE='" + dir +
        "' XDG_RUNTIME_DIR='" + dir + "/tmp'; '" + MORLIN_BIN_DIR +
        "/Morlin' 2>stderr.txt & pid=$!; " +
        "for i in $(seq 100); do grep -q VUPDownloadFirmware calls.txt 2>/dev/null && break; "
        "sleep 0.05; done;" +
        send + " wait $pid; echo $? >exit.txt";
    test::write_text(folder_.file("stop.sh"), script);
    ASSERT_EQ(std::system(("bash '" + folder_.file("stop.sh") + "'").c_str()), 0);
    EXPECT_EQ(std::atoi(test::read_text(folder_.file("exit.txt")).c_str()), c.exit_code);

    const std::string log = test::read_text(folder_.file("Morlin.log"));
    const std::string calls = test::read_text(folder_.file("calls.txt"));
    if (c.exit_code == 130 && std::string(c.signals) == "INT") {
        // The plug-in saw the abort flag and ended its own way; the log says so and has its
        // last line; the history says cancelled.
        EXPECT_NE(calls.find("VUPDownloadFirmware aborted"), std::string::npos) << calls;
        EXPECT_NE(log.find("Morlin :Stop request (signal 2): the download was ended as a cancel"),
                  std::string::npos)
            << log;
        EXPECT_TRUE(log.ends_with("Morlin Quits the current session.\r\n\r\n")) << log;
        const std::vector<json> records = history();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0]["outcome"], "cancelled");
        EXPECT_EQ(records[0]["exit_code"], 130);
        EXPECT_EQ(records[0]["downloads"][0]["result"], 212);
    } else if (c.exit_code == 143) {
        EXPECT_NE(calls.find("VUPDownloadFirmware aborted"), std::string::npos) << calls;
    } else {
        // A second request ends the program at once, saying what that may leave behind.
        EXPECT_EQ(calls.find("VUPDownloadFirmware aborted"), std::string::npos) << calls;
        EXPECT_NE(test::read_text(folder_.file("stderr.txt")).find("download mode"),
                  std::string::npos);
    }
}

const StopCase kStopCases[] = {
    {"CtrlC", "silent", "honour", "INT", 130},
    {"CtrlCInTheProgressDialog", "progress", "honour", "INT", 130},
    {"CtrlCInTheMainWindow", "main", "honour", "INT", 130},
    {"Term", "silent", "honour", "TERM", 143},
    {"TermInTheMainWindow", "main", "honour", "TERM", 143},
    {"SecondCtrlC", "silent", "ignore", "INT INT", 130},
    {"SecondCtrlCInTheMainWindow", "main", "ignore", "INT INT", 130},
};

INSTANTIATE_TEST_SUITE_P(Signals, StopRequests, ::testing::ValuesIn(kStopCases),
                         [](const auto& test_case) { return std::string(test_case.param.name); });

} // namespace
} // namespace morlin
