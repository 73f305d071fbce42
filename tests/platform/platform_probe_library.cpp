// A tiny library for the loader test: one exported entry, one hidden function.
extern "C" __attribute__((visibility("default"))) int PlatformProbeAnswer() { return 42; }
extern "C" int PlatformProbeHidden() { return 7; }
