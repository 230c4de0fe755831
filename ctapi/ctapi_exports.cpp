// The exported CT-API functions: thin C entry points over the library's one state object.
#include "ctapi.h"
#include "ctapi_library.h"
#include "platform/winapi/version_info.h"

#include <cstring>

MORLIN_VERSION_INFO("Halvane CT-API library", "1.09", "BRANTEL", "Morlin", "1.24",
                    "Copyright (C) 2026 Ostrum");

static_assert(OK == brantel::kOk && ERR_INVALID == brantel::kErrInvalid &&
              ERR_CT == brantel::kErrCt && ERR_TRANS == brantel::kErrTrans &&
              ERR_MEMORY == brantel::kErrMemory);

namespace {

// Constructed when the library is loaded; its destructor runs when the library is unloaded
// (or the process ends) and closes the port and stops the monitor without a close reset.
brantel::CtApiLibrary instance;

constexpr char kVersionText[] = "Ver 1.09 - Halvane";

// No exception leaves the library (a thread that cannot be started, memory that runs out):
// the caller gets ERR_INVALID instead.
template <typename Call> IS8 without_exceptions(Call call) noexcept {
    try {
        return call();
    } catch (...) {
        return ERR_INVALID;
    }
}

} // namespace

extern "C" {

CTAPI_EXPORT IS8 CTAPI_CALL CT_init(IU16 ctn, IU16 pn) {
    return without_exceptions([&] { return instance.init(ctn, pn); });
}

CTAPI_EXPORT IS8 CTAPI_CALL CT_data(IU16 ctn, IU8* dad, IU8* sad, IU16 lenc, IU8* command,
                                    IU16* lenr, IU8* response) {
    return without_exceptions(
        [&] { return instance.data(ctn, dad, sad, lenc, command, lenr, response); });
}

CTAPI_EXPORT IS8 CTAPI_CALL CT_close(IU16 ctn) {
    return without_exceptions([&] { return instance.close(ctn); });
}

CTAPI_EXPORT IU16 CTAPI_CALL Get_VersionString(char* buffer, IS16 selector) {
    if (buffer == nullptr || selector < 1 || selector > 3) {
        return 0;
    }
    std::memcpy(buffer, kVersionText, sizeof kVersionText);
    return 1;
}

} // extern "C"
