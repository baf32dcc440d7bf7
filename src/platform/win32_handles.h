// RAII holders for registry keys and kernel handles.
#pragma once

#include <windows.h>

namespace kova {

class RegKeyHolder {
 public:
  RegKeyHolder() : key_(nullptr) {}
  ~RegKeyHolder() { Close(); }
  RegKeyHolder(const RegKeyHolder&) = delete;
  RegKeyHolder& operator=(const RegKeyHolder&) = delete;

  HKEY Get() const { return key_; }
  // For the out-parameter of RegOpenKeyExA and RegCreateKeyExA; closes any key held.
  HKEY* Receive() {
    Close();
    return &key_;
  }
  void Close() {
    if (key_ != nullptr) {
      RegCloseKey(key_);
      key_ = nullptr;
    }
  }

 private:
  HKEY key_;
};

}  // namespace kova
