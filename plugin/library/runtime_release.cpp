// Linked into every plugin library: gives back, when the library is unloaded, what the statically
// linked C++ runtime set up for this load and would otherwise leave in the host's heap. Each load
// carries its own copy of the runtime, so a host that loads and frees the library again and again
// would lose it every time: the exception-handling emergency pool, 72 KiB on 64-bit builds.
namespace __gnu_cxx {
void __freeres() noexcept;
} // namespace __gnu_cxx

namespace {

// Constructed among the library's first statics, so destroyed among its last. The pool only
// serves exceptions thrown while the heap is exhausted, and none is thrown from here on.
struct ReleaseRuntimeAtUnload {
  ~ReleaseRuntimeAtUnload() { __gnu_cxx::__freeres(); }
} releaseRuntimeAtUnload;

} // namespace
