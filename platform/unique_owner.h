// One owner for every kind of system handle the platform layer holds
// (descriptors, mappings, views, files, searches), and a holder for the
// module's objects that must outlive static destruction. No system header:
// each system supplies the traits of its own handles.
#pragma once

#include <new>
#include <utility>

namespace korvanel::platform {

// Owns one system handle and lets go of it exactly once: when destroyed,
// reset or closed. Moving hands the handle on and leaves the source empty;
// copying is impossible. `Traits` supplies:
//   using Handle = ...;              // the system's handle type
//   static Handle empty();           // the value an empty owner holds
//   static bool isEmpty(Handle);     // also true for the system's failure values
//   static bool close(Handle);       // lets go; true when the system saw no error
template <class Traits>
class UniqueOwner {
 public:
  using Handle = typename Traits::Handle;

  UniqueOwner() = default;
  // Takes `handle`; a failure value from the system makes an empty owner.
  explicit UniqueOwner(Handle handle)
      : handle_(Traits::isEmpty(handle) ? Traits::empty() : handle) {}
  ~UniqueOwner() { reset(); }
  UniqueOwner(UniqueOwner&& other) noexcept : handle_(other.release()) {}
  UniqueOwner& operator=(UniqueOwner&& other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueOwner(const UniqueOwner&) = delete;
  UniqueOwner& operator=(const UniqueOwner&) = delete;

  // The handle, still owned; empty() when there is none.
  Handle get() const { return handle_; }
  bool valid() const { return !Traits::isEmpty(handle_); }
  explicit operator bool() const { return valid(); }

  // Hands the handle to the caller, who lets go of it; empty afterwards.
  Handle release() { return std::exchange(handle_, Traits::empty()); }

  // Lets go of the handle held, if any, and takes `handle`.
  void reset(Handle handle = Traits::empty()) {
    Handle old = std::exchange(handle_, Traits::isEmpty(handle) ? Traits::empty() : handle);
    if (!Traits::isEmpty(old)) Traits::close(old);
  }

  // Lets go of the handle now; false when the system reported an error (a
  // file's last write may surface only there), left where it reports errors.
  // Empty afterwards either way.
  bool close() {
    Handle old = release();
    return Traits::isEmpty(old) || Traits::close(old);
  }

 private:
  Handle handle_ = Traits::empty();
};

// Holds a `T` that is built when the module loads and never destroyed: the
// system takes its handles with the process, so nothing unmaps memory a thread
// still running at exit uses, or waits at unload on a lock a killed thread held.
template <class T>
class NeverDestroyed {
 public:
  NeverDestroyed() { new (storage_) T(); }
  NeverDestroyed(const NeverDestroyed&) = delete;
  NeverDestroyed& operator=(const NeverDestroyed&) = delete;

  T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace korvanel::platform
