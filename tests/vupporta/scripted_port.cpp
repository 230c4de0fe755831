#include "scripted_port.h"

#include <algorithm>
#include <platform/last_error.h>

namespace vupporta::testing {
namespace {

class ScriptedPort : public platform::SerialPort {
  public:
    explicit ScriptedPort(PortScript& script) : script_(script) {}

    bool get_line_settings(platform::LineSettings& settings) override {
        settings = script_.line;
        return true;
    }
    bool set_line_settings(const platform::LineSettings& settings) override {
        script_.line = settings;
        return true;
    }
    bool get_timeouts(platform::Timeouts& timeouts) override {
        timeouts = timeouts_;
        return true;
    }
    bool set_timeouts(const platform::Timeouts& timeouts) override {
        timeouts_ = timeouts;
        return true;
    }
    bool setup_queues(std::uint32_t, std::uint32_t) override { return true; }
    std::optional<std::size_t> read(std::span<std::uint8_t> buffer) override {
        script_.read_multipliers.push_back(timeouts_.read_total_multiplier);
        if (!script_.connected) {
            platform::set_last_error(platform::kErrorDeviceNotConnected);
            return std::nullopt;
        }
        if (script_.reads.empty()) {
            ++script_.silent_reads;
            return 0;
        }
        auto& chunk = script_.reads.front();
        const std::size_t count = std::min(buffer.size(), chunk.size());
        std::copy_n(chunk.begin(), count, buffer.begin());
        chunk.erase(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(count));
        if (chunk.empty()) {
            script_.reads.pop_front();
        }
        return count;
    }
    std::optional<std::size_t> write(std::span<const std::uint8_t> data) override {
        if (!script_.connected) {
            platform::set_last_error(platform::kErrorDeviceNotConnected);
            return std::nullopt;
        }
        script_.write_sizes.push_back(data.size());
        return data.size();
    }
    bool set_break(bool on) override {
        script_.breaks += on ? 1 : 0;
        return script_.connected;
    }
    bool purge(std::uint32_t) override {
        ++script_.purges;
        return true;
    }
    void cancel() override {}
    bool connected() const override { return script_.connected; }

  private:
    PortScript& script_;
    platform::Timeouts timeouts_{};
};

} // namespace

std::unique_ptr<platform::SerialPort> PortScript::open() {
    if (!connected) {
        platform::set_last_error(platform::kErrorFileNotFound);
        return nullptr;
    }
    return std::make_unique<ScriptedPort>(*this);
}

std::vector<std::uint8_t> answer_block(const std::vector<std::uint8_t>& information) {
    std::vector<std::uint8_t> block;
    block.push_back(0x21);
    block.push_back(0x40);
    block.push_back(static_cast<std::uint8_t>(information.size()));
    std::uint8_t check = 0x21 ^ 0x40 ^ static_cast<std::uint8_t>(information.size());
    for (std::uint8_t byte : information) {
        block.push_back(byte);
        check ^= byte;
    }
    block.push_back(check);
    return block;
}

} // namespace vupporta::testing
