#pragma once
// The reference count of a COM object that deletes itself when its last reference goes.

#include <windows.h>

namespace kovracam {

class RefCount {
 public:
  ULONG add() { return static_cast<ULONG>(InterlockedIncrement(&m_ref)); }
  // The count left; `self` is deleted when that is 0, so the count is read before.
  template <class Object>
  ULONG release(Object* self) {
    const LONG ref = InterlockedDecrement(&m_ref);
    if (ref == 0) delete self;
    return static_cast<ULONG>(ref);
  }

 private:
  LONG m_ref = 1;
};

}  // namespace kovracam
