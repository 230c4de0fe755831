#pragma once
// A serial line of a given speed, emulated in time: bytes take their time on the line (10 bits
// a byte) in both directions. Pieces of a few milliseconds each are released at absolute
// deadlines, so throughput comes close to the line rate without a sleep per byte. Line events
// (break) keep their place behind the data sent before them.
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

namespace sim {

class LinePacer {
  public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    enum class Kind : std::uint8_t { Data, BreakOn, BreakOff };
    struct Item {
        Kind kind = Kind::Data;
        std::vector<std::uint8_t> bytes;
        TimePoint due;
    };

    // `byte_time` 0: no emulation (every item is due at once).
    explicit LinePacer(std::chrono::nanoseconds byte_time = std::chrono::nanoseconds{0});

    // Byte time of a line at `baud` with 10 bits a byte, stretched by `scale_percent`.
    static std::chrono::nanoseconds byte_time_for(std::uint32_t baud, unsigned scale_percent);

    // Towards the terminal.
    void push_in(Kind kind, std::span<const std::uint8_t> bytes, TimePoint now);
    // Calls `deliver(const Item&)` for every item due at `now`, in order.
    template <typename F> void deliver_in(TimePoint now, F&& deliver) {
        while (!in_.empty() && in_.front().due <= now) {
            const Item item = std::move(in_.front());
            in_.pop_front();
            deliver(item);
        }
    }
    void drop_in_data();

    // Towards the client: `ready` is when the terminal put the bytes on the line.
    void push_out(std::span<const std::uint8_t> bytes, TimePoint ready);
    void take_out(TimePoint now, std::vector<std::uint8_t>& out);
    void drop_out();
    bool out_empty() const { return out_.empty(); }

    std::optional<TimePoint> next_due() const;
    void reset();

  private:
    void push(std::deque<Item>& queue, TimePoint& clock, Kind kind,
              std::span<const std::uint8_t> bytes, TimePoint start);

    std::chrono::nanoseconds byte_time_;
    std::size_t piece_bytes_;
    std::deque<Item> in_;
    std::deque<Item> out_;
    TimePoint in_clock_{};
    TimePoint out_clock_{};
};

} // namespace sim
