// Fuzz target: the serial reader's answer as the port delivers it, through the escape-frame
// receive and its checks. It must end (every read consumes input) and never read past a frame.
#include "stream_frame_input.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    valdrun_test::StreamFrameInput input(std::span(data, size));
    const auto reply = valdrun::receive_escape_reply(input);
    if (reply && reply->size() > valdrun::kMaxFrameLength)
        __builtin_trap();
    return 0;
}
