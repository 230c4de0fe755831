#include "platform/user_interface/ui.h"
#include "platform/winapi/library.h"
#include "test_support.h"

#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace {

using platform::MessageAnswer;
using platform::MessageButtons;
using platform::MessageIcon;
using test_support::EnvGuard;

// A console port writing into a temporary file, and the lines written so far.
class ConsolePort {
  public:
    ConsolePort() : file_(std::tmpfile()), ui_(platform::make_console_user_interface(file_)) {}
    ~ConsolePort() { std::fclose(file_); }
    ConsolePort(const ConsolePort&) = delete;
    ConsolePort& operator=(const ConsolePort&) = delete;
    platform::UserInterface& ui() { return *ui_; }
    std::string output() {
        std::fflush(file_);
        std::rewind(file_);
        std::string text;
        char buffer[512];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, file_)) > 0) {
            text.append(buffer, got);
        }
        return text;
    }

  private:
    std::FILE* file_;
    std::shared_ptr<platform::UserInterface> ui_;
};

platform::MessageBoxRequest box(std::string text, MessageButtons buttons, int default_button = 0,
                                MessageIcon icon = MessageIcon::Question) {
    return {std::move(text), "Morlin", icon, buttons, default_button};
}

// Typed at a terminal once the scripted answers are used up: a name or a first letter in any
// case, Enter for the default, a wrong word asks again, the end of input cancels.
TEST(PlatformConsoleUi, AsksAtATerminalWhenNoScriptedAnswerIsLeft) {
    EnvGuard answers("MORLIN_UI_ANSWERS", "no");
    struct Typed {
        MessageButtons buttons;
        int default_button;
        MessageAnswer expected;
    };
    const Typed boxes[] = {
        {MessageButtons::YesNo, 0, MessageAnswer::No},           // scripted, nothing read
        {MessageButtons::YesNo, 1, MessageAnswer::Yes},          // "Y"
        {MessageButtons::OkCancel, 0, MessageAnswer::Cancel},    // "maybe", then "cancel"
        {MessageButtons::YesNo, 1, MessageAnswer::No},           // empty line: the default
        {MessageButtons::YesNoCancel, 0, MessageAnswer::Cancel}, // end of input
        {MessageButtons::YesNo, 0, MessageAnswer::Yes},          // still the end: the default
    };
    char typed[] = "Y\nmaybe\ncancel\n\n";
    std::FILE* terminal = ::fmemopen(typed, sizeof typed - 1, "r");
    std::FILE* out = std::tmpfile();
    const auto ui = platform::make_console_user_interface(out, terminal);
    for (const Typed& asked : boxes) {
        EXPECT_EQ(ui->message_box(box("Save?", asked.buttons, asked.default_button)),
                  asked.expected);
    }
    std::rewind(out);
    char line[256];
    std::string written;
    while (std::fgets(line, sizeof line, out) != nullptr) {
        written += line;
    }
    EXPECT_NE(written.find("Morlin: Save?\nyes/no (Enter: no)? "), std::string::npos) << written;
    EXPECT_NE(written.find("MSGBOX question okcancel [Morlin] Save? => cancel"), std::string::npos);
    std::fclose(out);
    std::fclose(terminal);
}

TEST(PlatformConsoleUi, WritesOneLinePerBoxWithScriptedAnswersThenDefaults) {
    EnvGuard answers("MORLIN_UI_ANSWERS", "no,,cancel");
    EnvGuard files("MORLIN_UI_FILES", nullptr);
    ConsolePort port;
    EXPECT_EQ(port.ui().message_box(box("Save?\r\nReally", MessageButtons::YesNo)),
              MessageAnswer::No);
    EXPECT_EQ(port.ui().message_box(box("Continue?", MessageButtons::YesNo, 1)), MessageAnswer::No);
    EXPECT_EQ(port.ui().message_box(box("Go on?", MessageButtons::YesNoCancel)),
              MessageAnswer::Cancel);
    EXPECT_EQ(port.ui().message_box(box("Done", MessageButtons::Ok, 0, MessageIcon::Information)),
              MessageAnswer::Ok);
    EXPECT_EQ(port.output(), "MSGBOX question yesno [Morlin] Save?\\nReally => no\n"
                             "MSGBOX question yesno [Morlin] Continue? => no\n"
                             "MSGBOX question yesnocancel [Morlin] Go on? => cancel\n"
                             "MSGBOX information ok [Morlin] Done => ok\n");
}

TEST(PlatformConsoleUi, AnswerNotOfferedIsUsedUpAndReplacedByTheDefault) {
    EnvGuard answers("MORLIN_UI_ANSWERS", "yes,maybe,ok");
    ConsolePort port;
    EXPECT_EQ(port.ui().message_box(box("Failed", MessageButtons::Ok, 0, MessageIcon::Error)),
              MessageAnswer::Ok);
    EXPECT_EQ(port.ui().message_box(box("Stop?", MessageButtons::OkCancel, 1)),
              MessageAnswer::Cancel);
    EXPECT_EQ(port.ui().message_box(box("Stop?", MessageButtons::OkCancel, 1)), MessageAnswer::Ok);
    std::string out = port.output();
    EXPECT_NE(
        out.find(
            "UI-WARNING answer \"yes\" is not one of the buttons ok; default button ok used\n"),
        std::string::npos);
    EXPECT_NE(out.find("MSGBOX error ok [Morlin] Failed => ok\n"), std::string::npos);
    EXPECT_NE(out.find("MSGBOX question okcancel [Morlin] Stop? => cancel\n"), std::string::npos);
    EXPECT_NE(out.find("MSGBOX question okcancel [Morlin] Stop? => ok\n"), std::string::npos);
}

TEST(PlatformConsoleUi, WaitWindowAndFileDialogs) {
    EnvGuard files("MORLIN_UI_FILES", "/tmp/a.bin,cancel,fw\\b.sig");
    ConsolePort port;
    port.ui().show_wait("Please wait...");
    port.ui().hide_wait();
    port.ui().hide_wait();
    platform::FileDialogRequest request;
    request.title = "Open";
    request.initial_directory = "/data";
    EXPECT_EQ(port.ui().open_file(request), "/tmp/a.bin");
    EXPECT_EQ(port.ui().open_file(request), std::nullopt);
    request.title = "Save";
    EXPECT_EQ(port.ui().save_file(request), "/data/fw/b.sig");
    EXPECT_EQ(port.ui().open_file(request), std::nullopt);
    EXPECT_EQ(port.output(), "WAIT Please wait...\nWAIT end\n"
                             "OPENFILE [Open] => /tmp/a.bin\nOPENFILE [Open] => cancel\n"
                             "SAVEFILE [Save] => /data/fw/b.sig\nOPENFILE [Save] => cancel\n");
}

TEST(PlatformConsoleUi, DefaultPortWritesToStandardError) {
    EnvGuard answers("MORLIN_UI_ANSWERS", "yes");
    test_support::TempDir dir;
    std::string path = dir.file("stderr.txt");
    std::fflush(stderr);
    int saved = ::dup(2);
    std::FILE* capture = std::fopen(path.c_str(), "w");
    ::dup2(::fileno(capture), 2);
    auto old = platform::install_user_interface(nullptr);
    MessageAnswer answer = platform::user_interface()->message_box(
        box("Overwrite?", MessageButtons::YesNo, 1, MessageIcon::Warning));
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    std::fclose(capture);
    platform::install_user_interface(old);
    EXPECT_EQ(answer, MessageAnswer::Yes);
    EXPECT_EQ(test_support::read_text(path), "MSGBOX warning yesno [Morlin] Overwrite? => yes\n");
}

TEST(PlatformUi, DefaultButtonsFollowTheButtonOrder) {
    EXPECT_EQ(platform::default_answer(MessageButtons::YesNo, 0), MessageAnswer::Yes);
    EXPECT_EQ(platform::default_answer(MessageButtons::YesNo, 1), MessageAnswer::No);
    EXPECT_EQ(platform::default_answer(MessageButtons::YesNoCancel, 2), MessageAnswer::Cancel);
    EXPECT_EQ(platform::default_answer(MessageButtons::OkCancel, 5), MessageAnswer::Ok);
    EXPECT_EQ(platform::default_answer(MessageButtons::Ok, -1), MessageAnswer::Ok);
}

TEST(PlatformScriptedUi, AnswersFromTheQueueAndRecordsFromManyThreads) {
    auto scripted = std::make_shared<platform::ScriptedUserInterface>();
    scripted->answers = {MessageAnswer::No, MessageAnswer::Ok};
    scripted->file_answers = {std::string("/x.bin")};
    auto old = platform::install_user_interface(scripted);
    const auto port = platform::user_interface();
    auto& ui = *port;
    EXPECT_EQ(ui.message_box(box("A", MessageButtons::YesNo)), MessageAnswer::No);
    EXPECT_EQ(ui.message_box(box("B", MessageButtons::YesNo, 1)), MessageAnswer::No); // not offered
    EXPECT_EQ(ui.message_box(box("C", MessageButtons::YesNo)), MessageAnswer::Yes);
    EXPECT_EQ(ui.open_file({}), "/x.bin");
    EXPECT_EQ(ui.save_file({}), std::nullopt);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&ui] {
            for (int k = 0; k < 50; ++k) {
                ui.show_wait("busy");
                ui.hide_wait();
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(platform::install_user_interface(old), scripted);
    EXPECT_EQ(scripted->boxes.size(), 3u);
    EXPECT_EQ(scripted->boxes[1].text, "B");
    EXPECT_EQ(scripted->wait_texts.size(), 200u);
    EXPECT_FALSE(scripted->wait_visible);
    EXPECT_EQ(scripted->file_requests.size(), 2u);
}

TEST(PlatformUi, APluginAsksThroughTheProgramsPort) {
    // The probe library carries its own copy of the layer, as VUPPorta does; its box must
    // reach the port this program installed, not a console of its own.
    auto scripted = std::make_shared<platform::ScriptedUserInterface>();
    scripted->answers = {platform::MessageAnswer::Yes};
    auto previous = platform::install_user_interface(scripted);
    auto probe = platform::Library::load(PROBE_ELSEWHERE_DIR "/UiProbe.so");
    ASSERT_TRUE(probe);
    auto ask = reinterpret_cast<int (*)()>(probe->symbol("ui_probe_ask"));
    ASSERT_NE(ask, nullptr);
    EXPECT_EQ(ask(), 1);
    ASSERT_EQ(scripted->boxes.size(), 1u);
    EXPECT_EQ(scripted->boxes[0].caption, "Probe");
    platform::install_user_interface(previous);
}

// A port replaced while another thread shows a box through it lives until that box is done.
TEST(PlatformUi, APortReplacedWhileInUseLivesUntilItsUserIsDone) {
    struct HeldPort : platform::ScriptedUserInterface {
        std::promise<void> entered;
        std::shared_future<void> release;
        std::atomic<bool>* destroyed = nullptr;
        ~HeldPort() override { *destroyed = true; }
        MessageAnswer message_box(const platform::MessageBoxRequest& request) override {
            entered.set_value();
            release.wait();
            return destroyed->load() ? MessageAnswer::Cancel
                                     : ScriptedUserInterface::message_box(request);
        }
    };
    std::atomic<bool> destroyed{false};
    std::promise<void> release;
    auto held = std::make_shared<HeldPort>();
    held->destroyed = &destroyed;
    held->release = release.get_future().share();
    auto entered = held->entered.get_future();
    auto old = platform::install_user_interface(std::move(held));
    auto answer = std::async(std::launch::async, [] {
        return platform::user_interface()->message_box(box("Still there?", MessageButtons::Ok));
    });
    entered.wait();
    platform::install_user_interface(std::make_shared<platform::ScriptedUserInterface>());
    EXPECT_FALSE(destroyed);
    release.set_value();
    EXPECT_EQ(answer.get(), MessageAnswer::Ok);
    EXPECT_TRUE(destroyed);
    platform::install_user_interface(old);
}

} // namespace
