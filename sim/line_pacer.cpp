#include "sim/line_pacer.h"

#include <algorithm>

namespace sim {
namespace {

constexpr std::chrono::nanoseconds kPieceTime = std::chrono::milliseconds(4);

} // namespace

LinePacer::LinePacer(std::chrono::nanoseconds byte_time)
    : byte_time_(byte_time),
      piece_bytes_(byte_time.count() <= 0
                       ? 1
                       : std::max<std::size_t>(
                             1, static_cast<std::size_t>(kPieceTime.count() / byte_time.count()))) {
}

std::chrono::nanoseconds LinePacer::byte_time_for(std::uint32_t baud, unsigned scale_percent) {
    if (baud == 0) {
        return std::chrono::nanoseconds{0};
    }
    const std::int64_t ns = INT64_C(10'000'000'000) * std::max(1u, scale_percent) / 100 / baud;
    return std::chrono::nanoseconds{std::max<std::int64_t>(ns, 1)};
}

void LinePacer::push(std::deque<Item>& queue, TimePoint& clock, Kind kind,
                     std::span<const std::uint8_t> bytes, TimePoint start) {
    clock = std::max(clock, start); // an idle line starts now
    if (kind != Kind::Data) {
        queue.push_back(Item{kind, {}, clock});
        return;
    }
    while (!bytes.empty()) {
        const std::size_t n = std::min(piece_bytes_, bytes.size());
        clock += byte_time_ * static_cast<std::int64_t>(n);
        queue.push_back(Item{
            Kind::Data, {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n)}, clock});
        bytes = bytes.subspan(n);
    }
}

void LinePacer::push_in(Kind kind, std::span<const std::uint8_t> bytes, TimePoint now) {
    push(in_, in_clock_, kind, bytes, now);
}

void LinePacer::push_out(std::span<const std::uint8_t> bytes, TimePoint ready) {
    push(out_, out_clock_, Kind::Data, bytes, ready);
}

void LinePacer::drop_in_data() {
    std::erase_if(in_, [](const Item& item) { return item.kind == Kind::Data; });
}

void LinePacer::take_out(TimePoint now, std::vector<std::uint8_t>& out) {
    while (!out_.empty() && out_.front().due <= now) {
        out.insert(out.end(), out_.front().bytes.begin(), out_.front().bytes.end());
        out_.pop_front();
    }
}

void LinePacer::drop_out() {
    out_.clear();
}

std::optional<LinePacer::TimePoint> LinePacer::next_due() const {
    std::optional<TimePoint> due;
    if (!in_.empty()) {
        due = in_.front().due;
    }
    if (!out_.empty() && (!due || out_.front().due < *due)) {
        due = out_.front().due;
    }
    return due;
}

void LinePacer::reset() {
    in_.clear();
    out_.clear();
}

} // namespace sim
