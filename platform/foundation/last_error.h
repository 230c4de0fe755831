#pragma once
// The "last error" of the calling thread, with Windows error numbers so that callers log and
// compare the same codes on every platform.
#include <cstdint>
#include <string>

namespace platform {

// Windows error numbers the subsystems compare against.
enum ErrorCode : std::uint32_t {
    kErrorSuccess = 0,
    kErrorFileNotFound = 2,
    kErrorPathNotFound = 3,
    kErrorAccessDenied = 5,
    kErrorInvalidHandle = 6,
    kErrorNotEnoughMemory = 8,
    kErrorBadFormat = 11,
    kErrorInvalidData = 13,
    kErrorOutOfMemory = 14,
    kErrorGenFailure = 31,
    kErrorSharingViolation = 32,
    kErrorHandleEof = 38,
    kErrorNotSupported = 50,
    kErrorFileExists = 80,
    kErrorInvalidParameter = 87,
    kErrorInsufficientBuffer = 122,
    kErrorModNotFound = 126,
    kErrorProcNotFound = 127,
    kErrorAlreadyExists = 183,
    kErrorMoreData = 234,
    kErrorNoMoreItems = 259,
    kErrorOperationAborted = 995,
    kErrorIoPending = 997,
    kErrorDependentServicesRunning = 1051,
    kErrorServiceRequestTimeout = 1053,
    kErrorServiceDoesNotExist = 1060,
    kErrorServiceCannotAcceptControl = 1061,
    kErrorDeviceNotConnected = 1167,
    kErrorTimeout = 1460,
    kErrorServerUnavailable = 1722, // RPC_S_SERVER_UNAVAILABLE: the service manager is not there
};

// Last error of the calling thread (thread-local, like GetLastError).
std::uint32_t last_error();
void set_last_error(std::uint32_t code);
// Sets the last error from a POSIX errno value, mapped to the nearest Windows number.
void set_last_error_from_errno(int posix_errno);
std::uint32_t error_from_errno(int posix_errno);

// The system's text for an error number, in English, without a trailing line break
// (FormatMessage from the system, neutral language). Unknown numbers give a generic text.
std::string system_message(std::uint32_t code);

} // namespace platform
