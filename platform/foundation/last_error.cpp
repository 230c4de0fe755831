// The calling thread's last error, with Windows error numbers.
#include "platform/foundation/last_error.h"

#include <cerrno>
#include <cstdio>

namespace platform {
namespace {

thread_local std::uint32_t t_last_error = kErrorSuccess;

struct ErrorText {
    std::uint32_t code;
    const char* text;
};

// The system's English texts for the numbers this suite meets.
constexpr ErrorText kErrorTexts[] = {
    {kErrorSuccess, "The operation completed successfully."},
    {kErrorFileNotFound, "The system cannot find the file specified."},
    {kErrorPathNotFound, "The system cannot find the path specified."},
    {kErrorAccessDenied, "Access is denied."},
    {kErrorInvalidHandle, "The handle is invalid."},
    {kErrorNotEnoughMemory, "Not enough storage is available to process this command."},
    {kErrorBadFormat, "An attempt was made to load a program with an incorrect format."},
    {kErrorInvalidData, "The data is invalid."},
    {kErrorOutOfMemory, "Not enough storage is available to complete this operation."},
    {kErrorGenFailure, "A device attached to the system is not functioning."},
    {kErrorSharingViolation,
     "The process cannot access the file because it is being used by another process."},
    {kErrorHandleEof, "Reached the end of the file."},
    {kErrorNotSupported, "The request is not supported."},
    {kErrorFileExists, "The file exists."},
    {kErrorInvalidParameter, "The parameter is incorrect."},
    {kErrorInsufficientBuffer, "The data area passed to a system call is too small."},
    {kErrorModNotFound, "The specified module could not be found."},
    {kErrorProcNotFound, "The specified procedure could not be found."},
    {kErrorAlreadyExists, "Cannot create a file when that file already exists."},
    {kErrorMoreData, "More data is available."},
    {kErrorNoMoreItems, "No more data is available."},
    {kErrorOperationAborted,
     "The I/O operation has been aborted because of either a thread exit or an application "
     "request."},
    {kErrorIoPending, "Overlapped I/O operation is in progress."},
    {kErrorDependentServicesRunning,
     "A stop control has been sent to a service that other running services are dependent on."},
    {kErrorServiceRequestTimeout,
     "The service did not respond to the start or control request in a timely fashion."},
    {kErrorServiceDoesNotExist, "The specified service does not exist as an installed service."},
    {kErrorServiceCannotAcceptControl, "The service cannot accept control messages at this time."},
    {kErrorDeviceNotConnected, "The device is not connected."},
    {kErrorTimeout, "This operation returned because the timeout period expired."},
    {kErrorServerUnavailable, "The RPC server is unavailable."},
};

} // namespace

std::uint32_t last_error() {
    return t_last_error;
}

void set_last_error(std::uint32_t code) {
    t_last_error = code;
}

std::uint32_t error_from_errno(int posix_errno) {
    switch (posix_errno) {
    case 0:
        return kErrorSuccess;
    case ENOENT:
        return kErrorFileNotFound;
    case ENOTDIR:
    case ELOOP:
    case ENAMETOOLONG:
        return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return kErrorAccessDenied;
    case EBADF:
        return kErrorInvalidHandle;
    case ENOMEM:
        return kErrorNotEnoughMemory;
    case ENOEXEC:
        return kErrorBadFormat;
    case EWOULDBLOCK:
    case EBUSY:
    case ETXTBSY:
        return kErrorSharingViolation;
    case EEXIST:
        return kErrorFileExists;
    case EINVAL:
        return kErrorInvalidParameter;
    case ENOSYS:
    case ENOTSUP:
        return kErrorNotSupported;
    case ENOSPC:
        return 112; // ERROR_DISK_FULL
    case EXDEV:
        return 17; // ERROR_NOT_SAME_DEVICE
    case ENODEV:
    case ENXIO:
        return kErrorDeviceNotConnected;
    case ETIMEDOUT:
        return kErrorTimeout;
    case ECANCELED:
    case EINTR:
        return kErrorOperationAborted;
    default:
        return kErrorGenFailure;
    }
}

void set_last_error_from_errno(int posix_errno) {
    t_last_error = error_from_errno(posix_errno);
}

std::string system_message(std::uint32_t code) {
    for (const auto& entry : kErrorTexts) {
        if (entry.code == code) {
            return entry.text;
        }
    }
    if (code == 112) {
        return "There is not enough space on the disk.";
    }
    if (code == 17) {
        return "The system cannot move the file to a different disk drive.";
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "Unknown error (%u).", code);
    return buffer;
}

} // namespace platform
