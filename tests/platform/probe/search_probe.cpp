// A tiny library for the library-loading tests: tells which copy was loaded.
extern "C" __attribute__((visibility("default"))) int probe_id() {
    return PROBE_ID;
}
