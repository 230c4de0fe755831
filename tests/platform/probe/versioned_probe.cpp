// A tiny library that carries a version block, for the version-information tests.
#include "platform/winapi/version_info.h"

MORLIN_VERSION_INFO("Probe library for tests", "1.02", "VersionedProbe", "Morlin", "1.24",
                    "Copyright (C) 2026 Probe Maker");

extern "C" __attribute__((visibility("default"))) int versioned_probe() {
    return 7;
}
