// Points a window's global instance (frmMain and its kind) at the window
// while it exists. Held as the window's first member: the global is set
// before the rest of the window is built, since building it reads the
// global, and cleared again when the window goes, also when its
// constructor throws half-way (then its destructor never runs, but the
// members built so far are destroyed).
#pragma once

namespace forms {

template <class T>
class GlobalInstance {
 public:
  GlobalInstance(T*& global, T* self) : global_(global), self_(self) { global_ = self; }
  ~GlobalInstance() {
    if (global_ == self_) global_ = nullptr;
  }
  GlobalInstance(const GlobalInstance&) = delete;
  GlobalInstance& operator=(const GlobalInstance&) = delete;

 private:
  T*& global_;
  T* self_;
};

}  // namespace forms
