// A library that loads but lacks the Run export.
extern "C" VELMORA_EXPORT int NotRun() { return 0; }
