// The serial reader's escape frames and the terminal's status answer, byte by byte.
#include "sim/reader_answers.h"
#include "stream_frame_input.h"
#include "wrapper/detection/serial_reader_frame.h"
#include "wrapper/detection/terminal_versions.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

using ScriptedInput = valdrun_test::StreamFrameInput;

TEST(EscapeFrame, VersionCommandsWithCheckByte) {
    EXPECT_EQ(valdrun::escape_frame(0x00),
              (Bytes{0x10, 0x02, 0x01, 0x0B, 0x00, 0x6B, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00,
                     0x00, 0x00, 0x00, 0x0B ^ 0x6B ^ 0x01 ^ 0x01 ^ 0x01, 0x10, 0x03}));
    // Command 0x71 makes the check byte 0x10, which is sent twice.
    const Bytes long_frame = valdrun::escape_frame(0x71);
    EXPECT_EQ(long_frame.size(), 20u);
    EXPECT_EQ((Bytes{long_frame.end() - 4, long_frame.end()}), (Bytes{0x10, 0x10, 0x10, 0x03}));
}

sim::ReaderState reader_state(sim::ReaderFaults faults = {}) {
    sim::ReaderState state;
    state.fw_major = 0x05;
    state.fw_minor = 0x10; // a 10 inside the reply: stuffed
    state.faults = faults;
    return state;
}

TEST(EscapeReply, ReadsTheReplyBehindWaitFrames) {
    sim::ReaderFaults faults;
    faults.wait_frames = 2;
    const Bytes answer = sim::answer_escape(reader_state(faults), 0x00);
    ScriptedInput input(answer);
    const auto data = valdrun::receive_escape_reply(input);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->size(), 13u);
    EXPECT_EQ((*data)[0], 0x05);
    EXPECT_EQ((*data)[1], 0x10);
    EXPECT_EQ(input.pauses, 2);
}

TEST(EscapeReply, RefusesBrokenReplies) {
    const Bytes good = sim::answer_escape(reader_state(), 0x1E);
    ASSERT_GT(good.size(), 20u);
    Bytes wrong_check = good;
    wrong_check.at(good.size() - 3) ^= 0x01;
    Bytes bad_start = good;
    bad_start.at(0) = bad_start.at(1) = 0x55;
    Bytes bad_stuffing = good;
    bad_stuffing.at(2) = 0x10;
    bad_stuffing.at(3) = 0x44;
    Bytes wrong_type = good;
    wrong_type.at(5) = 0x80;
    wrong_type.at(good.size() - 3) ^= 0x83 ^ 0x80;
    sim::ReaderFaults bit6;
    bit6.status_bit6 = true;
    const std::pair<const char*, Bytes> cases[] = {
        {"status bit 6", sim::answer_escape(reader_state(bit6), 0x1E)},
        {"wrong check byte", wrong_check},
        {"cut short", Bytes(good.begin(), good.begin() + 20)},
        {"bad start", bad_start},
        {"bad stuffing", bad_stuffing},
        {"length over 1024", Bytes{0x10, 0x02, 0x01, 0x01, 0x04, 0x00}},
        {"wrong type", wrong_type},
        {"too short to check", Bytes{0x10, 0x02, 0x01, 0x01, 0x00, 0x83, 0x82, 0x10, 0x03}},
        {"only wait frames",
         [] {
             Bytes b;
             for (int i = 0; i < valdrun::kMaxWaitFrames + 1; ++i)
                 b.insert(b.end(), {0x10, 0x02, 0xFE, 0x00, 0x00, 0xFE, 0x10, 0x03});
             return b;
         }()},
    };
    for (const auto& [what, bytes] : cases) {
        ScriptedInput input(bytes);
        EXPECT_FALSE(valdrun::receive_escape_reply(input)) << what;
    }
}

Bytes status_answer(bool binary) {
    Bytes answer(63, 0x20);
    if (binary) {
        answer[12] = 'h', answer[13] = 1, answer[14] = 5;
        answer[17] = 'h', answer[18] = 2, answer[19] = 1, answer[20] = 3;
    } else {
        const char* text = "01.052.1.3";
        std::copy(text, text + 10, answer.begin() + 12);
    }
    answer[61] = 0x90;
    answer[62] = 0x00;
    return answer;
}

TEST(TerminalVersions, TextAndBinaryForms) {
    for (const bool binary : {false, true}) {
        const auto versions = valdrun::terminal_versions_from(status_answer(binary));
        ASSERT_TRUE(versions) << binary;
        EXPECT_EQ(versions->app_major, 1);
        EXPECT_EQ(versions->app_minor, 5);
        EXPECT_EQ(versions->fw_major, 2);
        EXPECT_EQ(versions->fw_minor, 1);
        EXPECT_EQ(versions->fw_build, 3);
    }
    Bytes refused = status_answer(false);
    refused[62] = 0x82;
    EXPECT_FALSE(valdrun::terminal_versions_from(refused)) << "status word not 90 00";
    EXPECT_FALSE(valdrun::terminal_versions_from(Bytes{0x90, 0x00}));
    EXPECT_FALSE(valdrun::terminal_versions_from(Bytes(22, 0)));
}

} // namespace
