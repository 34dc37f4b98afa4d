// Which side of the plugin boundary the calling thread is on: inside one of the host's calls into
// the plugin (its export, callbacks, call entries, release and stream functions, event callbacks)
// and not inside a HostApi entry the plugin called back. With the plugin linked into the same
// process, this tells the plugin's allocations from the host's, for a test that fails only the
// plugin's.
#pragma once

namespace tav::host {

bool onPluginSide() noexcept;

// Puts the calling thread on one side for the scope's life, then back where it was.
class BoundarySide {
public:
  explicit BoundarySide(bool pluginSide) noexcept;
  ~BoundarySide();
  BoundarySide(const BoundarySide&) = delete;
  BoundarySide& operator=(const BoundarySide&) = delete;

private:
  bool previous_;
};

// Runs call(args...) on the plugin's side. The arguments are taken by value: they are the
// pointers and words of packed host records, to which no reference may bind.
template <typename Fn, typename... Args> decltype(auto) intoPlugin(Fn call, Args... args) {
  BoundarySide side(true);
  return call(args...);
}

} // namespace tav::host
