// Loaded by the platform tests by base name.
extern "C" __attribute__((visibility("default"))) int probeAnswer() { return 42; }
