/* The VUP interface between the update host and its firmware-update plug-ins.
 *
 * A plug-in is a shared library whose file name matches "VUP*.so" (ignoring case), exporting
 * plain C functions by undecorated name. The host binds up to fifteen names; the first eight
 * are required. Strings are 8-bit texts ending in a zero byte; fixed text fields hold 260 bytes.
 * Every function returns 0 for success or a result code that is also the number of the string
 * (in the resource library) that explains it.
 *
 * Threads:
 * - The host makes one VUP call at a time per plug-in: calls on one device information list
 *   never overlap, and a plug-in keeps its state (texts, options, the last listing) for the
 *   whole process. A call may come from any one host thread (the main thread, or the worker
 *   thread of an interactive run or of a run shown in the progress dialog).
 * - The one exception: a plug-in whose VUPGetCapabilities answers VUP_CAP_PARALLEL_DOWNLOADS
 *   accepts VUPDownloadFirmware calls for different devices of one list from several threads at
 *   the same time (each call keeps its port, device monitor, abort flag and progress to
 *   itself). While such calls run, the host makes no other call on that list. Calls for the
 *   same device never overlap. A plug-in without VUPGetCapabilities gets one call at a time.
 * - The logger and a download's progress callback may be called from the calling thread and
 *   from threads the plug-in starts (VUPPorta's device monitor logs from its own thread). The
 *   host's logger serialises its callers with one lock, so a line is never mixed with another;
 *   the host's progress callback accepts calls from any thread and has its display updated on
 *   the display's own thread.
 * - The abort flag of VUPDownloadFirmware and VUPUploadFirmware is written by the host (to stop)
 *   and by the plug-in (VUPPorta's device monitor, on removal of the device) during the call,
 *   and read by both: every access is atomic (a 32-bit word, std::atomic_ref on the host's int).
 *   The plug-in never clears it.
 * - A plug-in's message box (VUPPorta's stored-record warning during a download) goes through
 *   the program's user-interface port; asked for on a worker thread, it is shown on the
 *   dialog's thread and the call waits for the answer.
 *
 * Layout: the records below have the Windows 32-bit layout (DeviceInfoEntry 272 bytes with a
 * 4-byte detail pointer at offset 264). A 64-bit build keeps every offset up to the detail
 * pointer, which then takes 8 bytes: the DFU-mode field moves to offset 272 and the entry is
 * 280 bytes. The host never looks behind the detail pointer, so only the entry size changes.
 */
#ifndef MORLIN_VUP_PLUGIN_H
#define MORLIN_VUP_PLUGIN_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VUP_TEXT_SIZE 260 /* file names, device texts, version lines, record fields */
#define VUP_PROGRESS_TEXT_SIZE 200
#define VUP_DEVICE_LIST_SIZE 30 /* entries of a device information list */
#define VUP_DISPLAY_ROWS 30     /* rows the host makes room for */

/* One device of a plug-in's device information list; the host owns the array. */
typedef struct DeviceInfoEntry {
    char name[VUP_TEXT_SIZE]; /* display name; the list ends at the first empty name */
    uint32_t candidate;       /* 1 = may receive the file of the last filter call */
    void* detail;             /* the plug-in's record; the host never looks inside */
    uint32_t dfu_mode;        /* 1 = the device waits in download mode */
} DeviceInfoEntry;

/* One row of display information: label, value read from the device, value read from the file. */
typedef struct DisplayRow {
    char label[VUP_TEXT_SIZE];
    char device_value[VUP_TEXT_SIZE];
    char file_value[VUP_TEXT_SIZE];
} DisplayRow;

/* Progress: steps = 0 resets the display to the start, steps > 0 advances it by that many
 * hundredths; then text is shown as the status line. A null text (steps 0) ends a failed or
 * aborted run. May be called from any thread of the plug-in (see "Threads" above). */
typedef void (*VUPProgressCallback)(int steps, const char* text);

/* The host's log function, printf-style; each call becomes one line of the log file. It returns
 * non-zero when the line was written (callers may ignore it). Any thread may call it: the host
 * takes a lock around each line. */
typedef int (*VUPLogger)(const char* format, ...);

/* The fifteen functions, in the host's binding order, with the results of the terminal
 * plug-in (VUPPorta); docs/vupporta.md has the long form. No function lets an exception out:
 * a failure inside (no memory, no thread) is returned as the code named for it. */

/* Returns 0 when the file is a firmware ('0') or application ('1') image.
 * Returns VUP_ERR_FILE when the file cannot be opened, is empty or cannot be read whole.
 * Returns VUP_ERR_IMAGE_TYPE when its image type byte is neither '0' nor '1'. */
typedef int (*PFN_VUPIsBinaryValid)(const char* file);
/* Appends the attached devices to the list. Returns 0 also when none is found.
 * Returns VUP_ERR_GENERAL when the resource library cannot be loaded (nothing else happens).
 * Returns VUP_ERR_NO_MEMORY when the record of a device cannot be allocated (the devices
 * added before stay listed). */
typedef int (*PFN_VUPCreateDeviceInfoList)(DeviceInfoEntry* list, const char* config_file);
/* Sets each entry's candidate flag for the file. Returns 0 when done.
 * Returns VUP_ERR_FILE when the file cannot be loaded (no flag changes).
 * Returns VUP_ERR_FW_OLDER or VUP_ERR_APP_OLDER when, in upgrade-only mode, no device may
 * take the firmware or application image because each one holds a newer version. */
typedef int (*PFN_VUPFilterDeviceInfoSet)(DeviceInfoEntry* list, const char* file, int run_kind,
                                          int iv_flag);
/* VUPPorta: returns 0 at once and leaves the device untouched (it offers no upload). */
typedef int (*PFN_VUPUploadFirmware)(DeviceInfoEntry* list, int device_index,
                                     const char* target_file, VUPProgressCallback progress,
                                     int* abort_flag);
/* Writes the image into the device. Returns 0 when the device acknowledged the whole image.
 * Returns VUP_ERR_ABORTED when the abort flag was set (also by a removal of the device) or a
 *   transmit failed; the abort wins over any other result.
 * Returns VUP_ERR_FILE when the file cannot be loaded; VUP_ERR_IMAGE_TYPE when it is no image.
 * Returns VUP_ERR_PORT when the port cannot be opened or configured.
 * Returns VUP_ERR_GENERAL when the device monitor did not become ready, a receive ended short,
 *   or the image is too short to be sent whole.
 * Returns VUP_ERR_STATUS_WORD, VUP_ERR_SHORT_STATUS or VUP_ERR_NOT_READY when a status query
 *   failed or the device is not ready; VUP_ERR_STATE_0, _2, _3 or _5 when its download state
 *   refused the download; VUP_ERR_RECORDS_DECLINED when the user declined the stored-record
 *   warning.
 * Returns VUP_ERR_DOWNLOAD_MODE, VUP_ERR_NO_ANSWER or VUP_ERR_UNEXPECTED_BYTE when the
 *   download-mode handshake failed; VUP_ERR_BLOCK_NAK when a block was not acknowledged;
 *   VUP_ERR_FINAL_ACK when the final acknowledgement did not come. */
typedef int (*PFN_VUPDownloadFirmware)(DeviceInfoEntry* list, int device_index,
                                       const char* backup_path, const char* file,
                                       VUPProgressCallback progress, int* abort_flag);
/* Frees the plug-in's records of the entries and releases the resource library. Returns 0. */
typedef int (*PFN_VUPDestroyDeviceInfoList)(DeviceInfoEntry* list);
/* Fills the buffer with the text of the code (empty when there is none; the system's text for
 * the last error while no list is held). Returns 0. */
typedef int (*PFN_VUPGetErrorMessage)(int code, char* text /* 260 bytes */);
/* Fills the rows with what the device and the file hold. Returns 0 when filled.
 * Returns VUP_ERR_FILE when a file was given and cannot be loaded.
 * Returns VUP_ERR_PORT when the port cannot be opened or configured.
 * Returns the status query's code (VUP_ERR_STATUS_WORD, VUP_ERR_NO_ANSWER, VUP_ERR_GENERAL,
 *   VUP_ERR_ABORTED) when the device does not tell its status. */
typedef int (*PFN_VUPGetDisplayInfo)(DeviceInfoEntry* list, int device_index, const char* file,
                                     DisplayRow* rows);
/* Optional. Return 0 when the candidate flags are set, a result code otherwise. */
typedef int (*PFN_VUPMatchDevBySymLink)(DeviceInfoEntry* list, const char* symbolic_name,
                                        const char* file);
typedef int (*PFN_VUPMatchDFUDevByProdType)(DeviceInfoEntry* list, const char* file);
/* Optional. Keeps the logger for every later line; the result is not used (VUPPorta: 0). */
typedef int (*PFN_VUPInitializeLogger)(VUPLogger logger);
/* Optional. Returns 0 on success, a result code otherwise. */
typedef int (*PFN_VUPStartStop)(int start, const char* config_file);
/* Optional. Returns 0 when the platform is supported; VUP_ERR_OS_NOT_SUPPORTED when the last
 * listing found a platform of neither Windows family (0 before the first listing). */
typedef int (*PFN_VUPIsOSSupported)(void);
/* Optional. Returns 0 when upload is supported; VUP_ERR_UPLOAD_NOT_SUPPORTED (VUPPorta) when
 * it is not. */
typedef int (*PFN_VUPIsUploadSupported)(void);
/* Optional. Returns non-zero when the buffer was filled. */
typedef int (*PFN_VUPGetDLLInfo)(int kind, char* text /* 260 bytes */);

/* Optional, outside the fifteen bound names: a set of VUP_CAP_* flags, what the plug-in allows
 * beyond one call at a time (VUPPorta: VUP_CAP_PARALLEL_DOWNLOADS). Absent: 0. */
typedef int (*PFN_VUPGetCapabilities)(void);
#define VUP_CAP_PARALLEL_DOWNLOADS 0x1

#define VUP_REQUIRED_FUNCTIONS 8
#define VUP_FUNCTION_COUNT 15
/* Names in binding order; the first VUP_REQUIRED_FUNCTIONS are required. */
#define VUP_FUNCTION_NAMES                                                                         \
    {                                                                                              \
        "VUPIsBinaryValid", "VUPCreateDeviceInfoList", "VUPFilterDeviceInfoSet",                   \
            "VUPUploadFirmware", "VUPDownloadFirmware", "VUPDestroyDeviceInfoList",                \
            "VUPGetErrorMessage", "VUPGetDisplayInfo", "VUPInitializeLogger", "VUPStartStop",      \
            "VUPMatchDevBySymLink", "VUPMatchDFUDevByProdType", "VUPIsOSSupported",                \
            "VUPIsUploadSupported", "VUPGetDLLInfo"                                                \
    }

/* Run kinds passed to VUPFilterDeviceInfoSet. */
#define VUP_RUN_INTERACTIVE 0
#define VUP_RUN_CONFIGURED 1

/* Result codes of the terminal plug-in (also string numbers). */
enum VUPResult {
    VUP_OK = 0,
    VUP_ERR_GENERAL = 200, /* resource library missing, monitor not ready, short receive */
    VUP_ERR_NO_MEMORY = 201,
    VUP_ERR_FILE = 204, /* firmware file missing, empty or unreadable */
    VUP_ERR_IMAGE_TYPE = 207,
    VUP_ERR_ABORTED = 212, /* abort flag set (also on removal), or transmit failed */
    VUP_ERR_OS_NOT_SUPPORTED = 623,
    VUP_ERR_DOWNLOAD_MODE = 728,
    VUP_ERR_PORT = 729,
    VUP_ERR_BLOCK_NAK = 730,
    VUP_ERR_NO_ANSWER = 731,
    VUP_ERR_UNEXPECTED_BYTE = 732,
    VUP_ERR_SHORT_STATUS = 733,
    VUP_ERR_UPLOAD_NOT_SUPPORTED = 734,
    VUP_ERR_STATE_0 = 735,
    VUP_ERR_STATE_2 = 737,
    VUP_ERR_STATE_3 = 738,
    VUP_ERR_STATE_5 = 740,
    VUP_ERR_RECORDS_DECLINED = 751,
    VUP_ERR_APP_OLDER = 753,
    VUP_ERR_FW_OLDER = 754,
    VUP_ERR_FINAL_ACK = 755,
    VUP_ERR_STATUS_WORD = 756,
    VUP_ERR_NOT_READY = 757
};

#ifdef __cplusplus
} /* extern "C" */

static_assert(offsetof(DeviceInfoEntry, name) == 0);
static_assert(offsetof(DeviceInfoEntry, candidate) == 260);
static_assert(offsetof(DeviceInfoEntry, detail) == 264);
static_assert(offsetof(DeviceInfoEntry, dfu_mode) == 264 + sizeof(void*));
static_assert(sizeof(DeviceInfoEntry) == (sizeof(void*) == 4 ? 272 : 280));
static_assert(sizeof(DisplayRow) == 780);
static_assert(offsetof(DisplayRow, device_value) == 260);
static_assert(offsetof(DisplayRow, file_value) == 520);
#endif

#endif /* MORLIN_VUP_PLUGIN_H */
