/* The VUP interface between the update host and its firmware-update plug-ins.
 *
 * A plug-in is a shared library whose file name matches "VUP*.so" (ignoring case), exporting
 * plain C functions by undecorated name. The host binds up to fifteen names; the first eight
 * are required. Strings are 8-bit texts ending in a zero byte; fixed text fields hold 260 bytes.
 * Every function returns 0 for success or a result code that is also the number of the string
 * (in the resource library) that explains it.
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
 * aborted run. */
typedef void (*VUPProgressCallback)(int steps, const char* text);

/* The host's log function, printf-style; each call becomes one line of the log file. It returns
 * non-zero when the line was written (callers may ignore it). */
typedef int (*VUPLogger)(const char* format, ...);

/* The fifteen functions, in the host's binding order. */
typedef int (*PFN_VUPIsBinaryValid)(const char* file);
typedef int (*PFN_VUPCreateDeviceInfoList)(DeviceInfoEntry* list, const char* config_file);
typedef int (*PFN_VUPFilterDeviceInfoSet)(DeviceInfoEntry* list, const char* file, int run_kind,
                                          int iv_flag);
typedef int (*PFN_VUPUploadFirmware)(DeviceInfoEntry* list, int device_index,
                                     const char* target_file, VUPProgressCallback progress,
                                     int* abort_flag);
typedef int (*PFN_VUPDownloadFirmware)(DeviceInfoEntry* list, int device_index,
                                       const char* backup_path, const char* file,
                                       VUPProgressCallback progress, int* abort_flag);
typedef int (*PFN_VUPDestroyDeviceInfoList)(DeviceInfoEntry* list);
typedef int (*PFN_VUPGetErrorMessage)(int code, char* text /* 260 bytes */);
typedef int (*PFN_VUPGetDisplayInfo)(DeviceInfoEntry* list, int device_index, const char* file,
                                     DisplayRow* rows);
typedef int (*PFN_VUPMatchDevBySymLink)(DeviceInfoEntry* list, const char* symbolic_name,
                                        const char* file);
typedef int (*PFN_VUPMatchDFUDevByProdType)(DeviceInfoEntry* list, const char* file);
typedef int (*PFN_VUPInitializeLogger)(VUPLogger logger);
typedef int (*PFN_VUPStartStop)(int start, const char* config_file);
typedef int (*PFN_VUPIsOSSupported)(void);
typedef int (*PFN_VUPIsUploadSupported)(void);
typedef int (*PFN_VUPGetDLLInfo)(int kind, char* text /* 260 bytes */);

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
