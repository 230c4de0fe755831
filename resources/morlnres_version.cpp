// The version block of the resource library.
#include "platform/winapi/version_info.h"

MORLIN_VERSION_INFO("Morlin resource library", "1.24", "MORLNRES", "Morlin", "1.24",
                    "Copyright (C) 2026 Ostrum");
