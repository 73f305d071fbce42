// A library whose version script lets one symbol too many out; the exports check refuses it.
extern "C" __attribute__((visibility("default"))) int SampleEntry() { return 1; }
extern "C" __attribute__((visibility("default"))) int SampleExtra() { return 2; }
