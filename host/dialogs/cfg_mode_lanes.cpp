// The progress dialog's run in lanes (/PARALLEL): every lane downloads its entries one after
// another on a thread of its own, all lanes at the same time; each entry's row shows its bar
// and status. The wait before a mobile terminal's entry and the question after a failed
// download are the lane's own: between entries of one lane, never across lanes.
#include "host/dialogs/cfg_mode_dlg.h"
#include "host/dialogs/cfg_mode_texts.h"
#include "host/fixed_text.h"
#include "host/host_log.h"
#include "host/morlin_app.h"
#include "host/runs/lane_workers.h"
#include "host/runs/parallel_downloads.h"
#include "platform/processes/stop_request.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace morlin {

namespace {

using namespace cfg_mode;

constexpr const char* kSource = "Morlin";
// A lane's state between its entries: the last result, or that it was told to end.
constexpr int kLaneEnded = std::numeric_limits<int>::min();

} // namespace

void CfgModeDlg::work_in_lanes() {
    // A stop request (Ctrl-C, SIGTERM) sets the run's abort flag, as a confirmed cancel does;
    // either ends every lane's download.
    platform::bind_abort_flag(&run_.abort_flag);
    std::vector<int> indexes;
    for (int index = 0; index < app_.download_count; ++index) {
        if (has_target(index)) {
            indexes.push_back(index);
        }
    }
    LaneWorkers workers(plan_lanes(app_, indexes));
    std::vector<int> lane_results(workers.lanes().size(), 0);
    std::vector<std::optional<DownloadRecord>> records(
        static_cast<std::size_t>(app_.download_count));
    workers.run([&](std::size_t lane, int index,
                    bool first) { lane_entry(workers, lane, index, first, lane_results, records); },
                [this] { return run_.abort() != 0; },
                [] {
                    if (platform::stop_request_signal() != 0) {
                        host_log(
                            "%s :Stop request (signal %d): every download is ended as a cancel",
                            kSource, platform::stop_request_signal());
                    } else {
                        host_log("%s :Cancel: every download is ended as a cancel", kSource);
                    }
                });
    platform::bind_abort_flag(nullptr);

    const bool stop_requested = platform::stop_request_signal() != 0;
    on_dialog_thread([&] {
        int downloaded = 0;
        bool failed = false;
        for (const int index : indexes) {
            auto& record = records[static_cast<std::size_t>(index)];
            if (record) {
                downloaded += record->result == 0 ? 1 : 0;
                failed = failed || record->result != 0;
                app_.run_record.downloads.push_back(std::move(*record));
            }
        }
        finish_run(failed, downloaded == app_.download_count, stop_requested);
    });
}

void CfgModeDlg::lane_entry(LaneWorkers& workers, std::size_t lane, int index, bool first,
                            std::vector<int>& lane_results,
                            std::vector<std::optional<DownloadRecord>>& records) {
    int& last = lane_results[lane];
    if (workers.stopping() || last == kLaneEnded) {
        return; // not started
    }
    if (last != 0 && !continue_after_failure()) {
        last = kLaneEnded;
        return;
    }
    const std::string device = device_text(index);
    set_log_line_tag(device);
    workers.rearm(lane);
    ProgressSink sink = [this, index](int steps, const std::string& text) {
        on_dialog_thread([&] { entry_progress(index, steps, text); });
    };
    set_lane_progress_sink(lane, &sink);
    const std::string updating = app_.texts.text(kStrUpdating) + device + "...";
    on_dialog_thread([&] { show_entry(index, 0, updating); });
    set_overall(updating, 1);
    DownloadRecord record =
        call_entry(index, !first, workers.abort_flag(lane), lane_progress_callback(lane), false);
    set_lane_progress_sink(lane, nullptr);
    set_log_line_tag({});
    last = record.result;
    if (record.result != 0) {
        run_.outcome = kOutcomeFailed;
        on_dialog_thread([&] {
            show_entry(index, 0, app_.texts.text(kStrUpdateFailed) + record.message);
            set_text(kIdModeOverallText, app_.texts.text(kStrUpdateFailed) + device);
        });
    } else {
        on_dialog_thread(
            [&] { show_entry(index, kBarRange, app_.texts.text(kStrUpdateCompleted)); });
        set_overall(app_.texts.text(kStrUpdateCompleted), 1);
    }
    records[static_cast<std::size_t>(index)] = std::move(record);
}

void CfgModeDlg::entry_progress(int index, int steps, const std::string& text) {
    const int row = rows_[static_cast<std::size_t>(index)];
    const auto& cells = control(kIdModeEntries).rows[static_cast<std::size_t>(row)];
    const long long now = std::atoll(cells[kColumnBar].c_str());
    int position = static_cast<int>(now);
    if (steps > 0) {
        position = static_cast<int>(std::min<long long>(now + steps, kBarRange));
    } else if (steps == 0) {
        position = 0;
    }
    show_entry(index, position, text);
}

void CfgModeDlg::show_entry(int index, int position, const std::string& status) {
    const int row = rows_[static_cast<std::size_t>(index)];
    std::vector<std::string> texts = control(kIdModeEntries).rows[static_cast<std::size_t>(row)];
    texts[kColumnBar] = std::to_string(position);
    texts[kColumnStatus] = status;
    set_row(kIdModeEntries, row, std::move(texts));
}

} // namespace morlin
