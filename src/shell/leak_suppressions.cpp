// LeakSanitizer reads these when the program is built with it: libdbus, which
// Qt loads for desktop services, keeps a buffer for the life of the process;
// GStreamer and GLib keep their type system, plugin registry and element
// factories (libgst*, the plugins' libgst*.so among them) until the process ends.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\n"
         "leak:libgst\n"
         "leak:libglib-2.0.so\n"
         "leak:libgobject-2.0.so\n"
         "leak:libgio-2.0.so\n";
}
