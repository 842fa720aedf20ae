// LeakSanitizer reads these when the program is built with it: libdbus, which
// Qt loads for desktop services, keeps a buffer for the life of the process.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }
