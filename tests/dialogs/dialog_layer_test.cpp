// The dialog layer without a toolkit: the console's actions and lines, a worker that reaches
// its dialog only through the dialog thread, message boxes asked for on a worker; and the host
// helpers behind Morlin's dialogs (device choice, DevInfo.txt).
#include "host/dialogs/dev_info_file.h"
#include "host/dialogs/device_choice.h"
#include "host/runs/interactive_run.h"
#include "tests/common/pipe_guard.h"
#include "tests/common/temp_dir.h"
#include "tests/common/text_lines.h"
#include "ui/console_runner.h"
#include "ui/dialog.h"
#include "ui/dialog_thread_port.h"

#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using dialogs::Action;

TEST(ConsoleActions, ParseEveryVerbAndRefuseWhatIsNotOne) {
    struct Case {
        const char* line;
        bool ok;
        Action::Verb verb;
        int id;
        int row;
        const char* text;
    };
    const Case cases[] = {
        {"click 1010", true, Action::Verb::Click, 1010, 0, ""},
        {"  select 1006 2 ", true, Action::Verb::Select, 1006, 2, ""},
        {"check 1018 0", true, Action::Verb::Check, 1018, 0, ""},
        {"type 1002 a b  c", true, Action::Verb::Type, 1002, 0, "a b  c"},
        {"type 1002  blanks kept  \r", true, Action::Verb::Type, 1002, 0, " blanks kept  "},
        {"menu 16", true, Action::Verb::Menu, 16, 0, ""},
        {"close", true, Action::Verb::Close, 0, 0, ""},
        {"escape", true, Action::Verb::Escape, 0, 0, ""},
        {"wait", true, Action::Verb::Wait, 0, 0, ""},
        {"enter", true, Action::Verb::Enter, 0, 0, ""},
        {"click", false, Action::Verb::Close, 0, 0, ""},
        {"click 10x", false, Action::Verb::Close, 0, 0, ""},
        {"select 1006", false, Action::Verb::Close, 0, 0, ""},
        {"close now", false, Action::Verb::Close, 0, 0, ""},
        {"click 1 2", false, Action::Verb::Close, 0, 0, ""},
        {"press 1", false, Action::Verb::Close, 0, 0, ""},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto action = dialogs::parse_action(c.line, &error);
        ASSERT_EQ(action.has_value(), c.ok) << c.line;
        if (!c.ok) {
            EXPECT_FALSE(error.empty()) << c.line;
            continue;
        }
        EXPECT_EQ(action->verb, c.verb) << c.line;
        EXPECT_EQ(action->id, c.id) << c.line;
        EXPECT_EQ(action->row, c.row) << c.line;
        EXPECT_EQ(action->text, c.text) << c.line;
    }
    // A typed name without an extension gets the dialog's default one.
    EXPECT_EQ(platform::with_default_extension("/tmp/UPLOAD", "ALL"), "/tmp/UPLOAD.ALL");
    EXPECT_EQ(platform::with_default_extension("/tmp.d/fw.bin", "ALL"), "/tmp.d/fw.bin");
    EXPECT_EQ(platform::with_default_extension("a.dir/name", "ALL"), "a.dir/name.ALL");
    EXPECT_EQ(platform::with_default_extension("name", ""), "name");
    EXPECT_EQ(dialogs::quoted("a \"b\" c:\\d\r\ne\x1b[2J\x7f"),
              "\"a \\\"b\\\" c:\\\\d\\r\\ne\\x1b[2J\\x7f\"");
}

// A dialog with a button that starts a worker, which moves the bar twice and sets a text.
class WorkerDialog : public dialogs::Dialog {
  public:
    WorkerDialog() : Dialog(7, 100, 50) {
        add(dialogs::ControlKind::Button, 10, {0, 0, 10, 10}, "Go");
        add(dialogs::ControlKind::Button, 11, {0, 0, 10, 10}, "Off").enabled = false;
        add(dialogs::ControlKind::Progress, 12, {0, 0, 10, 10});
        add(dialogs::ControlKind::Static, 13, {0, 0, 10, 10});
        add(dialogs::ControlKind::DropDown, 14, {0, 0, 10, 10});
    }
    void clicked(int id) override {
        if (id != 10) {
            return;
        }
        start_worker([this] {
            for (int step : {40, 100}) {
                on_dialog_thread([&] {
                    set_position(12, step);
                    set_text(13, "at " + std::to_string(step));
                });
            }
            // A message box asked for on the worker is shown on the dialog thread.
            platform::MessageBoxRequest box;
            box.text = "from worker";
            platform::user_interface()->message_box(box);
        });
    }
    void selection_changed(int id, int row) override { selected = id * 100 + row; }

  protected:
    void on_initialise() override {
        set_title("Worker \"test\"");
        set_rows(14, {{"first"}, {"second"}});
        select(14, 0);
    }

  public:
    int selected = 0;
};

// A port that notes on which thread each box was shown.
struct ThreadNotingPort : platform::ScriptedUserInterface {
    std::vector<std::thread::id> threads;
    platform::MessageAnswer message_box(const platform::MessageBoxRequest& request) override {
        threads.push_back(std::this_thread::get_id());
        return ScriptedUserInterface::message_box(request);
    }
};

// MORLIN_UI_ACTIONS names a file of actions, one a line; a name that is no regular file (a
// pipe) is never waited on: it is taken as the actions themselves.
TEST(ConsoleActions, ActionFileIsReadAndAPipeIsNotWaitedOn) {
    morlin_test::TempDir folder;
    const auto all_actions = [](const std::string& value) {
        ::setenv("MORLIN_UI_ACTIONS", value.c_str(), 1);
        dialogs::ActionSource source;
        ::unsetenv("MORLIN_UI_ACTIONS");
        std::vector<std::string> actions;
        while (const auto action = source.next(-1, {})) {
            actions.push_back(*action);
        }
        return actions;
    };
    morlin_test::write_text(folder.path() / "actions", "click 1003\n\n  wait \r\nclose\n");
    EXPECT_EQ(all_actions(folder.file("actions")),
              (std::vector<std::string>{"click 1003", "wait", "close"}));
    const auto pipe = folder.path() / "pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::vector<std::string> from_pipe;
    EXPECT_TRUE(morlin_test::ends_without_waiting_on(
        {pipe}, [&] { from_pipe = all_actions(pipe.string()); }));
    EXPECT_EQ(from_pipe, std::vector<std::string>{pipe.string()});
}

TEST(ConsoleRunner, WritesTheLineContractAndServesTheWorkerOnTheDialogThread) {
    morlin_test::TempDir dir;
    const std::string out_path = dir.file("out.txt");
    std::FILE* out = std::fopen(out_path.c_str(), "w");
    ASSERT_NE(out, nullptr);
    auto port = std::make_shared<ThreadNotingPort>();
    auto previous = platform::install_user_interface(port);
    WorkerDialog dialog;
    {
        dialogs::ConsoleRunner runner(
            out, std::make_unique<dialogs::ActionSource>(std::vector<std::string>{
                     "click 11", "select 14 1", "select 14 5", "click 10", "wait"}));
        EXPECT_EQ(runner.run_modal(dialog), dialogs::kEndCancel); // input ended: Close
    }
    std::fclose(out);
    platform::install_user_interface(previous);

    const std::string text = morlin_test::read_text(out_path);
    for (const char* line :
         {"DIALOG 7 \"Worker \\\"test\\\"\"\n", "CTRL 11 button disabled visible \"Off\"\n",
          "ROW 14 0 \"first\" selected\n", "UI-WARNING control 11 is not available\n",
          "UI-WARNING control 14 has no row 5\n", "PROGRESS 12 40\n", "TEXT 13 \"at 40\"\n",
          "PROGRESS 12 100\n", "END 7 cancel\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }
    EXPECT_EQ(dialog.selected, 1401);
    ASSERT_EQ(port->threads.size(), 1u);
    EXPECT_EQ(port->threads[0], std::this_thread::get_id());
}

// Two timers: the first asks the user at its third tick and stops at its sixth, the second
// restarts the first with 30 ms at its second tick and ends the dialog at its fourth.
class TimerDialog : public dialogs::Dialog {
  public:
    explicit TimerDialog(dialogs::DialogClock& clock) : Dialog(8, 100, 50), clock_(clock) {}
    std::vector<std::string> ticks;

  protected:
    void on_initialise() override {
        set_timer(1, 100);
        set_timer(2, 250);
    }
    void on_timer(int id) override {
        ticks.push_back(std::to_string(clock_.now_ms()) + ":" + std::to_string(id));
        if (id == 1 && ++first_ == 3) {
            message_box({"asked", "", platform::MessageIcon::Warning});
        } else if (id == 1 && first_ == 6) {
            kill_timer(1);
        } else if (id == 2 && ++second_ == 2) {
            set_timer(1, 30);
        } else if (id == 2 && second_ == 4) {
            end(dialogs::kEndOk);
        }
    }

  private:
    dialogs::DialogClock& clock_;
    int first_ = 0;
    int second_ = 0;
};

TEST(ConsoleRunner, WaitRunsTimersOnTheSteppedClockUntilTheUserIsAskedOrTheDialogEnds) {
    morlin_test::TempDir dir;
    std::FILE* out = std::fopen(dir.file("out.txt").c_str(), "w");
    ASSERT_NE(out, nullptr);
    auto port = std::make_shared<platform::ScriptedUserInterface>();
    auto previous = platform::install_user_interface(port);
    auto clock = std::make_shared<dialogs::SteppedClock>();
    TimerDialog dialog(*clock);
    {
        dialogs::ConsoleRunner runner(
            out, std::make_unique<dialogs::ActionSource>(std::vector<std::string>{"wait", "wait"}),
            clock);
        EXPECT_EQ(runner.run_modal(dialog), dialogs::kEndOk);
    }
    std::fclose(out);
    platform::install_user_interface(previous);
    // The first wait ends at the box (300 ms); the second one runs on to the end. The restart
    // at 500 ms gives the first timer its new period; its kill at its sixth tick stops it.
    EXPECT_EQ(dialog.ticks,
              (std::vector<std::string>{"100:1", "200:1", "250:2", "300:1", "400:1", "500:1",
                                        "500:2", "530:1", "750:2", "1000:2"}));
    const auto lines = morlin_test::lines_of(morlin_test::read_text(dir.file("out.txt")));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "END 8 ok"), 1);
    EXPECT_EQ(port->boxes.size(), 1u);
}

TEST(DevInfoFile, HeaderDashesRowsAndAppending) {
    platform::LocalTime time;
    time.year = 2026;
    time.month = 12;
    time.day = 7;
    time.hour = 9;
    time.minute = 5;
    time.second = 3;
    EXPECT_EQ(morlin::device_info_header(time),
              "Morlin - Device Information Display 12-07-2026 09:05:03");
    EXPECT_EQ(morlin::device_info_header(time).size(), 55u);
    const auto lines = morlin::device_info_lines(time, {{"Firmware", "1.20"}});
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], std::string(57, '-') + "\r\n");
    EXPECT_EQ(lines[2], "Firmware = 1.20\r\n");

    morlin_test::TempDir dir;
    const std::string path = dir.file("DevInfo.txt");
    EXPECT_TRUE(morlin::append_device_info(path, time, {}).complete); // empty list: 2 lines
    EXPECT_TRUE(morlin::append_device_info(path, time, {{"A", "1"}}).complete);
    EXPECT_EQ(morlin_test::read_text(path),
              lines[0] + lines[1] + lines[0] + lines[1] + "A = 1\r\n");
    // A folder that does not exist: nothing opened, nothing reported as saved.
    const auto failed = morlin::append_device_info(dir.file("missing/DevInfo.txt"), time, {});
    EXPECT_FALSE(failed.opened);
    EXPECT_FALSE(failed.complete);
}

TEST(DeviceChoice, RepeatedTextsOfOnePluginAreLeftOutAndRowsMapByPrefixSearch) {
    std::array<morlin::PluginRecord, morlin::kMaxPlugins> plugins;
    const auto name = [&](int plugin, int device, const char* text) {
        std::strncpy(plugins[plugin].devices[device].name, text, VUP_TEXT_SIZE - 1);
    };
    name(0, 0, "COM3 Halvane");
    name(0, 1, "COM4 Twin");
    name(0, 2, "COM4 Twin");
    name(1, 0, "COM4 Twin"); // another plug-in's device keeps its text
    name(1, 1, "com5 pellax");
    plugins[0].device_count = 3;
    plugins[1].device_count = 2;
    const auto texts = morlin::distinct_device_texts(plugins, 2, false);
    EXPECT_EQ(texts, (std::vector<std::string>{"COM3 Halvane", "COM4 Twin", "com5 pellax"}));

    // The search starts after the first row and wraps; it ignores case and matches prefixes.
    EXPECT_EQ(morlin::find_row_by_prefix(texts, "COM3"), 0);
    EXPECT_EQ(morlin::find_row_by_prefix(texts, "COM5 PELLAX"), 2);
    EXPECT_EQ(morlin::find_row_by_prefix(texts, "COM"), 1);
    EXPECT_EQ(morlin::find_row_by_prefix(texts, "LPT1"), -1);

    const morlin::DeviceRef pellax = morlin::device_for_row(plugins, 2, texts, 2);
    EXPECT_EQ(pellax.plugin_index, 1);
    EXPECT_EQ(pellax.device_index, 1);
    const morlin::DeviceRef twin = morlin::device_for_row(plugins, 2, texts, 1);
    EXPECT_EQ(twin.plugin_index, 1); // the later plug-in replaces the earlier one
    EXPECT_EQ(twin.device_index, 0);

    // A device text that fills its 260 bytes without an end is cut, never overrun.
    std::memset(plugins[0].devices[0].name, 'x', VUP_TEXT_SIZE);
    EXPECT_EQ(morlin::distinct_device_texts(plugins, 1, false).front().size(),
              static_cast<std::size_t>(VUP_TEXT_SIZE));
}

TEST(InteractiveRun, ProgressTextsAreCutAndReachTheActiveSinkOnly) {
    std::vector<std::pair<int, std::string>> seen;
    morlin::ProgressSink sink = [&](int steps, const std::string& text) {
        seen.emplace_back(steps, text);
    };
    morlin::set_progress_sink(&sink);
    char unterminated[VUP_PROGRESS_TEXT_SIZE + 20];
    std::memset(unterminated, 'y', sizeof unterminated);
    morlin::interactive_progress(150, unterminated);
    morlin::interactive_progress(-1, nullptr);
    morlin::set_progress_sink(nullptr);
    morlin::interactive_progress(5, "nobody listens");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].second.size(), static_cast<std::size_t>(VUP_PROGRESS_TEXT_SIZE - 1));
    EXPECT_EQ(seen[1], (std::pair<int, std::string>{-1, ""}));
}

} // namespace
