#pragma once
// Bytes as a serial port would deliver them to the escape-frame receive: a read beyond the
// end fails as a read that timed out. Pauses and purges are counted.
#include "wrapper/detection/serial_reader_frame.h"

#include <algorithm>
#include <cstdint>
#include <span>

namespace valdrun_test {

class StreamFrameInput final : public valdrun::FrameInput {
  public:
    explicit StreamFrameInput(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    bool read(std::span<std::uint8_t> out) override {
        if (bytes_.size() - at_ < out.size()) {
            at_ = bytes_.size();
            return false;
        }
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(at_), out.size(), out.begin());
        at_ += out.size();
        return true;
    }
    void pause_after_wait_frame() override { ++pauses; }
    void purge() override { ++purges; }
    int pauses = 0;
    int purges = 0;

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

} // namespace valdrun_test
