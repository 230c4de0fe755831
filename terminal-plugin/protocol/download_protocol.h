#pragma once
// The firmware download into a terminal: the pre-download check with its polling, the
// stored-record warning, the download-mode handshake with break signals, the transfer in
// acknowledged blocks and the final acknowledgement, guarded by the device monitor.
#include "device_monitor.h"
#include "firmware_image.h"
#include "serial_link.h"
#include "terminal-plugin/abort_flag.h"
#include "terminal-plugin/listing/terminal_detail.h"
#include "terminal-plugin/progress.h"
#include "terminal-plugin/texts.h"

#include <vup_plugin.h>

namespace vupporta {

// String numbers of the download's texts.
inline constexpr unsigned kBlockAcknowledgedText = 603;
inline constexpr unsigned kDownloadCompleteText = 605;
inline constexpr unsigned kFirstStateText = 735; // download states 0 to 5: 735 to 740
inline constexpr unsigned kRecordsWarningTail = 742;
inline constexpr unsigned kRecordsWarningSeveral = 743;
inline constexpr unsigned kRecordsWarningOne = 744;
inline constexpr unsigned kRecordsWarningCaption = 745;
inline constexpr unsigned kRecordsDeclinedText = 746;
inline constexpr unsigned kUpgradeAcceptedText = 750;
inline constexpr unsigned kRecordsWarningQuestion = 751;
inline constexpr unsigned kHandshakeText = 752;

// One block of the transfer: its size and how long the terminal may take to acknowledge it.
struct BlockLayout {
    std::size_t size = 0;
    std::uint32_t time_limit_ms = 0;
};
// The block at position `index` (0 = first) when `remaining` bytes are still to be sent.
BlockLayout block_layout(std::size_t index, bool firmware, std::size_t remaining);

// The stored-record warning's text for `records` records (more than 0).
std::string records_warning_text(unsigned records, const Texts& texts);

struct DownloadRequest {
    const TerminalDetail* terminal = nullptr;
    const char* path = nullptr;
    VUPProgressCallback progress = nullptr;
    int* abort_flag = nullptr;
};

class Download {
  public:
    Download(SerialLink& link, DeviceMonitor& monitor, const Texts& texts,
             const DownloadRequest& request);

    // The whole run: 0 or a result code. The port is closed and the monitor stopped at the end.
    [[nodiscard]] VUPResult run();

  private:
    VUPResult run_steps();
    VUPResult check_before_download();
    VUPResult handshake();
    VUPResult request_download_mode();
    VUPResult request_upgrade();
    VUPResult transfer();
    VUPResult wait_for_monitor();
    void start_monitor();
    void await_removal_notice();
    bool confirm_stored_records(unsigned records);

    SerialLink& link_;
    DeviceMonitor& monitor_;
    const Texts& texts_;
    DownloadRequest request_;
    AbortFlag abort_;
    Progress progress_;
    std::optional<FirmwareImage> image_;
    bool image_acknowledged_ = false;
};

} // namespace vupporta
