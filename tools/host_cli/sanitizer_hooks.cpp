// Hooks that a sanitizer runtime looks up in the program; in other builds nothing calls them.

extern "C" {

// Debian's cpp-httplib is a prebuilt library without ThreadSanitizer's instrumentation: the
// runtime sees its copies but not all the synchronisation around them (such as the once-only
// set-up of its static patterns) and reports races between the server's workers that are not
// there. Our own code called from the library is still checked.
const char* __tsan_default_suppressions() {
  return "called_from_lib:libcpp-httplib.so\n";
}
}
