// Whether a game module may be unloaded under the threads it started.
#pragma once

#include <windows.h>

#include <vector>

namespace fyrel {

// The threads of this process just before a game module is loaded: any
// thread not among them afterwards was started since, by the game or by
// something else (the host, the system); nothing tells which, so all of
// them count as the game's.
class ThreadsBeforeGame {
 public:
  // Takes the snapshot; taken again on every call.
  void take() noexcept;
  // Whether the thread existed at the snapshot. When the snapshot could
  // not be taken, no thread did.
  bool existed(DWORD id, const FILETIME& created) const noexcept;

 private:
  std::vector<DWORD> ids_;  // sorted
  FILETIME takenAt_ = {};
};

// True when a thread of this process that the game may have started still
// runs: one that started inside module's image, or one started since the
// snapshot that is neither the caller nor one of the extension's own.
// Unloading the module would pull its code from under that thread, and the
// host process would die with it. A thread started through the C runtime
// (std::thread, _beginthreadex) starts inside the runtime's DLL, not the
// game's, which is why the start address alone cannot tell.
bool gameThreadRuns(HMODULE module, const ThreadsBeforeGame& before) noexcept;

}  // namespace fyrel
