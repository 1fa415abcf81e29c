// Replaces one imported function in one module's import table for the
// life of the object. The narrowest seam for a platform answer Wine cannot
// give (a 24-bit display mode): the product keeps calling the real API.
#pragma once

#include <windows.h>

namespace fyrel::test {

class ImportPatch {
 public:
  ImportPatch(HMODULE module, const char* dllName, const char* functionName, void* replacement);
  ~ImportPatch();
  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;
  bool applied() const { return slot_ != nullptr; }

 private:
  void** slot_ = nullptr;
  void* original_ = nullptr;
};

}  // namespace fyrel::test
