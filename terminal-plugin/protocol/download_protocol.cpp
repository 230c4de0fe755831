#include "download_protocol.h"

#include "terminal-plugin/boundary.h"
#include "terminal-plugin/fixed_text.h"
#include "terminal-plugin/plugin_log.h"

#include <algorithm>
#include <platform/foundation/clock.h>
#include <platform/user_interface/ui.h>
#include <thread>

namespace vupporta {
namespace {

constexpr std::uint8_t kFirmwareUpgradeRequest = '0';
constexpr std::uint8_t kApplicationUpgradeRequest = '1';
constexpr std::uint8_t kRestartRequest = 'f';
constexpr int kRestartBudget = 15;

constexpr std::uint32_t kSettleMs = 100;
constexpr std::uint32_t kModeAnswerLimitMs = 5000;
constexpr std::uint32_t kUpgradeAnswerLimitMs = 6000;
constexpr std::uint32_t kRestartWaitMs = 10000;
constexpr std::uint32_t kMonitorLookMs = 10;
constexpr std::uint32_t kMonitorReadyLimitMs = 6000;
constexpr std::uint32_t kRemovalNoticeMs = 1000;
constexpr std::uint32_t kRemovalLookMs = 10;

// Download states of the status response and what they mean for the download.
constexpr std::uint8_t kStateRefused0 = 0;
constexpr std::uint8_t kStateReady = 1;
constexpr std::uint8_t kStateRefusedAfterQuery = 2;
constexpr std::uint8_t kStateRefused3 = 3;
constexpr std::uint8_t kStateRefused5 = 5;

// Replaces the first "%d" of a resource text by `number` ("%%" gives '%'); the text is never
// used as a format, so a stray conversion in it cannot read arguments that are not there.
std::string format_count(std::string_view pattern, unsigned number) {
    std::string text;
    bool substituted = false;
    for (std::size_t at = 0; at < pattern.size(); ++at) {
        if (pattern[at] == '%' && at + 1 < pattern.size()) {
            if (pattern[at + 1] == '%') {
                text += '%';
                ++at;
                continue;
            }
            if (pattern[at + 1] == 'd' && !substituted) {
                text += std::to_string(number);
                substituted = true;
                ++at;
                continue;
            }
        }
        text += pattern[at];
    }
    return text;
}

} // namespace

BlockLayout block_layout(std::size_t index, bool firmware, std::size_t remaining) {
    using namespace transfer_layout;
    if (index < kFixedBlocks) {
        return {kFixedBlockSize, kFixedBlockLimitMs};
    }
    if (index == kFixedBlocks && firmware) {
        return {kFirmwareThirdBlockSize, kFirmwareThirdBlockLimitMs};
    }
    return {std::min(remaining, kMaxBlockSize), kRestBlockLimitMs};
}

std::string records_warning_text(unsigned records, const Texts& texts) {
    std::string text = records == 1 ? texts.text(kRecordsWarningOne) + "\n"
                                    : format_count(texts.text(kRecordsWarningSeveral), records);
    text += texts.text(kRecordsWarningQuestion);
    text += texts.text(kRecordsWarningTail);
    return text;
}

Download::Download(SerialLink& link, DeviceMonitor& monitor, const Texts& texts,
                   const DownloadRequest& request)
    : link_(link), monitor_(monitor), texts_(texts), request_(request), abort_(request.abort_flag),
      progress_(request.progress, texts) {}

VUPResult Download::run() {
    link_.set_abort_flag(abort_);
    VUPResult result = guarded("download", VUP_ERR_GENERAL, [this] { return run_steps(); });
    if (result != VUP_OK && link_.device_lost()) {
        await_removal_notice();
    }
    link_.close();
    // The monitor ends before what it saw is read: a removal that it handles meanwhile would
    // otherwise set the abort flag between the two readings below.
    monitor_.stop();
    // A terminal that restarts into its new image leaves the bus at once; when it had
    // acknowledged the whole image before the monitor saw it go, the download succeeded.
    const bool restarted_after_success =
        result == VUP_OK && image_acknowledged_ && monitor_.removal_seen();
    if (abort_.is_set() && !restarted_after_success) {
        result = VUP_ERR_ABORTED;
    }
    if (result != VUP_OK) {
        progress_.report_failed();
    }
    image_.reset();
    link_.set_abort_flag({});
    return result;
}

void Download::start_monitor() {
    const std::string_view symbolic_name =
        request_.terminal ? field_text(request_.terminal->symbolic_name) : std::string_view{};
    // While the abort flag is set the monitor ends what the port has pending.
    monitor_.start(std::string(symbolic_name), abort_, [this] { link_.cancel_pending(); });
}

VUPResult Download::run_steps() {
    image_ = load_firmware_image(request_.path);
    if (!image_) {
        return VUP_ERR_FILE;
    }
    // Only the two image types have an upgrade request and a block layout of their own.
    if (!image_->has_known_type()) {
        log_line("%s(%i): Not a firmware or application image", kModule, __LINE__);
        return VUP_ERR_IMAGE_TYPE;
    }
    // The first blocks have fixed sizes; an image they do not fit into cannot be sent whole.
    if (image_->size() < image_->minimum_transfer_size()) {
        log_line("%s(%i): Image too short to be sent whole: %zu bytes", kModule, __LINE__,
                 image_->size());
        return VUP_ERR_GENERAL;
    }
    const std::string_view port_name =
        request_.terminal ? field_text(request_.terminal->port_name) : std::string_view{};
    VUPResult result = link_.open(port_name);
    if (result != VUP_OK) {
        return result;
    }
    platform::sleep_ms(kSettleMs);
    if (abort_.is_set()) {
        return VUP_ERR_ABORTED;
    }
    StatusResponse status;
    result = link_.manufacturer_status(status);
    if (result != VUP_OK) {
        return result;
    }
    const unsigned records = status.stored_records();
    if (records != 0) {
        log_line("%s(%i): No of records: %d", kModule, __LINE__, static_cast<int>(records));
        if (!confirm_stored_records(records)) {
            progress_.report(0, kRecordsDeclinedText);
            return VUP_ERR_RECORDS_DECLINED;
        }
    }
    link_.purge();
    link_.close();

    start_monitor();
    result = wait_for_monitor();
    if (result != VUP_OK) {
        return result;
    }
    result = link_.open(port_name);
    if (result != VUP_OK) {
        return result;
    }
    result = handshake();
    if (result != VUP_OK) {
        return result;
    }
    if (abort_.is_set()) {
        return VUP_ERR_ABORTED;
    }
    result = transfer();
    if (result != VUP_OK) {
        return result;
    }
    progress_.report(image_->is_firmware() ? 6 : 5, kDownloadCompleteText);
    return VUP_OK;
}

bool Download::confirm_stored_records(unsigned records) {
    platform::MessageBoxRequest box;
    box.text = records_warning_text(records, texts_);
    box.caption = texts_.text(kRecordsWarningCaption);
    box.icon = platform::MessageIcon::None;
    box.buttons = platform::MessageButtons::YesNo;
    box.default_button = 1; // No
    return platform::user_interface()->message_box(box) == platform::MessageAnswer::Yes;
}

void Download::await_removal_notice() {
    // The port noticed the terminal gone; the monitor's notice of the removal may still be on
    // its way. While armed, it decides: a removal is an abort.
    for (std::uint32_t waited = 0;
         monitor_.armed() && !abort_.is_set() && waited < kRemovalNoticeMs;
         waited += kRemovalLookMs) {
        platform::sleep_ms(kRemovalLookMs);
    }
}

VUPResult Download::wait_for_monitor() {
    // The monitor is usually ready within milliseconds: it is looked at often, and given the
    // same six seconds as six one-second sleeps would give it.
    for (std::uint32_t waited = 0; !monitor_.armed(); waited += kMonitorLookMs) {
        if (waited >= kMonitorReadyLimitMs) {
            return VUP_ERR_GENERAL;
        }
        platform::sleep_ms(kMonitorLookMs);
    }
    return VUP_OK;
}

VUPResult Download::check_before_download() {
    if (link_.short_status() != VUP_OK) {
        return VUP_ERR_SHORT_STATUS;
    }
    StatusResponse status;
    VUPResult result = link_.manufacturer_status(status);
    if (result != VUP_OK) {
        return result;
    }
    for (;;) {
        if (!status.ready_for_download()) {
            return VUP_ERR_NOT_READY;
        }
        const std::uint8_t state = status.download_state();
        if (state <= kStateRefused5) {
            progress_.report(0, kFirstStateText + state);
        }
        if (abort_.is_set()) {
            return VUP_ERR_ABORTED;
        }
        std::this_thread::yield();
        switch (state) {
        case kStateReady:
            return VUP_OK;
        case kStateRefused0:
        case kStateRefused3:
        case kStateRefused5:
            return static_cast<VUPResult>(kFirstStateText + state);
        case kStateRefusedAfterQuery:
            // Its answer does not change the outcome: the state has refused the download.
            static_cast<void>(link_.short_status());
            return VUP_ERR_STATE_2;
        default: // busy: ask again
            result = link_.manufacturer_status(status);
            if (result != VUP_OK) {
                return result;
            }
        }
    }
}

VUPResult Download::handshake() {
    VUPResult result = check_before_download();
    // Until the handshake ends, the terminal may drop off the bus on its own (restart): a
    // removal is not an abort meanwhile.
    monitor_.set_armed(false);
    if (result == VUP_OK) {
        result = request_upgrade();
    }
    if (result != VUP_OK) {
        // The handshake's own failure stands: a removal noticed late must not turn it into
        // an abort, so the monitor stays disarmed.
        link_.close();
        return result;
    }
    monitor_.set_armed(true);
    return VUP_OK;
}

VUPResult Download::request_download_mode() {
    if (!link_.break_pulse()) {
        return VUP_ERR_DOWNLOAD_MODE;
    }
    platform::sleep_ms(kSettleMs);
    if (!link_.break_pulse()) {
        return VUP_ERR_DOWNLOAD_MODE;
    }
    link_.set_read_timing(1);
    std::uint8_t answer = 0;
    const VUPResult result = link_.receive({&answer, 1}, kModeAnswerLimitMs);
    if (result != VUP_OK) {
        return result;
    }
    log_line("Download mode request acknowledged");
    return answer == kAck ? VUP_OK : VUP_ERR_DOWNLOAD_MODE;
}

VUPResult Download::request_upgrade() {
    const std::string_view port_name = field_text(request_.terminal->port_name);
    const bool application = image_->is_application();
    for (int restarts_left = kRestartBudget;; --restarts_left) {
        progress_.report(0, kHandshakeText);
        progress_.report(5, kHandshakeText);
        VUPResult result = request_download_mode();
        if (result != VUP_OK) {
            return result;
        }
        const std::uint8_t request =
            application ? kApplicationUpgradeRequest : kFirmwareUpgradeRequest;
        if (application) {
            log_line("%s(%i): Application Upgrade Request", kModule, __LINE__);
        } else {
            log_line("%s(%i): Firmware Upgrade Request", kModule, __LINE__);
        }
        std::uint8_t answer = 0;
        result = link_.exchange({&request, 1}, {&answer, 1}, kUpgradeAnswerLimitMs);
        if (result != VUP_OK) {
            return result;
        }
        if (answer != kAck) {
            // The terminal did not take the upgrade request: sending the image now would
            // write into a terminal that does not expect it.
            log_line("Unexpected character received from device");
            return VUP_ERR_UNEXPECTED_BYTE;
        }
        if (application) {
            progress_.report(5, kUpgradeAcceptedText);
            return VUP_OK;
        }
        link_.set_read_timing(0);
        platform::sleep_ms(kSettleMs);
        log_line("Looking for any notification from device");
        std::uint8_t notification = 0;
        result = link_.receive({&notification, 1}, 0);
        log_line("Finished looking for notification");
        if (result == VUP_ERR_NO_ANSWER) {
            progress_.report(5, kUpgradeAcceptedText);
            return VUP_OK;
        }
        if (result != VUP_OK) {
            return result;
        }
        if (notification != kRestartRequest) {
            log_line("Unexpected character received from device");
            return VUP_ERR_UNEXPECTED_BYTE;
        }
        link_.close();
        platform::sleep_ms(kRestartWaitMs);
        log_line("Device requested restart of fw download");
        if (link_.open(port_name) != VUP_OK) {
            return VUP_ERR_PORT;
        }
        if (abort_.is_set()) {
            return VUP_ERR_ABORTED;
        }
        if (restarts_left == 0) {
            // Without a new download-mode request the terminal would not expect the image.
            log_line("%s(%i): Device requested restart too often", kModule, __LINE__);
            return VUP_ERR_DOWNLOAD_MODE;
        }
    }
}

VUPResult Download::transfer() {
    const std::span<const std::uint8_t> data = image_->bytes();
    const bool firmware = image_->is_firmware();
    if (data.empty()) {
        return VUP_ERR_GENERAL;
    }
    std::size_t sent = 0;
    for (std::size_t index = 0; sent < data.size(); ++index) {
        const BlockLayout block = block_layout(index, firmware, data.size() - sent);
        if (block.size > data.size() - sent) {
            if (index == 0) {
                return VUP_ERR_GENERAL;
            }
            break;
        }
        std::uint8_t answer = 0;
        const VUPResult result =
            link_.exchange(data.subspan(sent, block.size), {&answer, 1}, block.time_limit_ms);
        if (result != VUP_OK) {
            link_.close();
            return result;
        }
        if (answer != kAck) {
            log_line("Data received: %x", answer);
            link_.close();
            return VUP_ERR_BLOCK_NAK;
        }
        if (abort_.is_set()) {
            link_.close();
            return VUP_ERR_ABORTED;
        }
        sent += block.size;
        progress_.report(firmware ? 12 : 17, kBlockAcknowledgedText);
    }
    if (abort_.is_set()) {
        link_.close();
        return VUP_ERR_ABORTED;
    }
    link_.set_read_timing(1);
    std::uint8_t acknowledgement = 0;
    VUPResult result =
        link_.receive({&acknowledgement, 1}, firmware ? transfer_layout::kFirmwareFinalLimitMs
                                                      : transfer_layout::kApplicationFinalLimitMs);
    if (result == VUP_ERR_ABORTED && monitor_.removal_seen()) {
        // The terminal restarts into its image as soon as it has acknowledged it: the monitor
        // may notice it leave, and end the pending read, after the acknowledgement has come.
        result = link_.take_received({&acknowledgement, 1});
    }
    if (result == VUP_OK && acknowledgement == kAck) {
        // The terminal holds the whole image and now restarts into it; its leaving the bus
        // from here on is no interruption.
        image_acknowledged_ = true;
        monitor_.set_armed(false);
    }
    link_.close();
    if (result != VUP_OK || acknowledgement != kAck) {
        return VUP_ERR_FINAL_ACK;
    }
    return VUP_OK;
}

} // namespace vupporta
