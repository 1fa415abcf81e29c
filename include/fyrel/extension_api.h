// The interfaces that cross the boundary of FyrelExtension.dll: the host's
// ExtensionHost, the extension's GenericExtension and the four exports.
//
// Host, extension and game modules pass std::string objects across this
// boundary and call each other through virtual tables, so all three must be
// built with the same toolchain: MinGW-w64 GCC with libstdc++ and its C++11
// string ABI (_GLIBCXX_USE_CXX11_ABI=1). With GCC, the virtual destructor of
// GenericExtension takes two table entries (complete and deleting
// destructor) where the slot order below has one slot 0.
//
// Exceptions. No exception may cross this interface in either direction: the
// host's Notify and GetValue, and a game's five entry points and anything
// they call back, must catch everything they throw. The extension keeps to
// this itself (nothing it throws leaves an export or an operation a game
// calls). If a host or a game lets one out anyway, the process ends at once
// through std::terminate and abort (exit code 3), on every build:
// - i686 (MinGW-w64 GCC, DWARF-2 unwinding, libgcc linked statically): each
//   module unwinds with its own copy of the unwinder, which knows only that
//   module's frames; the thrower's runtime finds no handler past its own
//   frames and terminates ("terminate called after throwing an instance of
//   ..." on the error output). Nothing in the extension, or in the host
//   above it, can catch the exception.
// - x86_64 (SEH unwinding): the exception could travel through the
//   extension's frames, but every call from the extension into the host or
//   a game is noexcept, so it terminates there ("terminate called without an
//   active exception"), rather than leaving the extension's step half done.
#pragma once

#include <windows.h>

#include <string>

// Implemented by the host; the extension only calls it.
class ExtensionHost {
 public:
  // Slot 0. A state report ("FE_STATE"/"FE_ERROR"/"wrongBitDepth", state
  // name) or a pair a game queued for the host.
  virtual void Notify(const char* first, const char* second) = 0;
  // Slot 1. Fills *value within its presized length with the named value and
  // returns the value's full length (0 when absent). The extension asks
  // twice: once with 16,384 characters to learn the length, then with
  // exactly that many. When the second answer's length differs from the
  // first (the value was replaced meanwhile), it asks again with the new
  // length, at most three reads in all, and then refuses the value: a
  // start-up parameter is then refused ("STATE_INVALID_PARAMS"), and a
  // game's GetHostValue reads it as absent. A start-up parameter holding a
  // NUL character is refused too.
  virtual int GetValue(const char* name, std::string* value) = 0;

 protected:
  ~ExtensionHost() = default;  // never deleted through this interface
};

namespace Generic {

// What the host and every game module see of an extension.
class GenericExtension {
 public:
  GenericExtension() noexcept;
  virtual ~GenericExtension();                                                   // slot 0
  virtual bool Create(HWND window, int reserved, HINSTANCE resourceModule) = 0;  // slot 1
  // Slot 2. Releases and unloads the game module, on the window thread. The
  // host may call it, and so may the game from inside one of its own entry
  // points: the game is then released and unloaded once that call has
  // returned. Afterwards no message or notification reaches the game.
  virtual void ReleaseGame() = 0;
  virtual bool ProcessMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) = 0;  // slot 3
  virtual void SendUp(const char* name, const char* value) = 0;                          // slot 4
  // Slot 5. Hands a pair of texts to the host. A game may call it from any
  // thread; the extension delivers the pair on the host's window thread.
  virtual void NotifyHost(const char* first, const char* second);
  // Slot 6. Reads a named value from the host into value; returns the
  // length of the string handed back (0 for an absent or refused value).
  virtual int GetHostValue(const char* name, std::string& value);

  GenericExtension(const GenericExtension&) = delete;
  GenericExtension& operator=(const GenericExtension&) = delete;

  ExtensionHost* host = nullptr;  // not owned
};

}  // namespace Generic

// The four exports: plain undecorated cdecl functions, called by the host on
// the thread that owns the window.
//
// Calls from another thread. EXT_CreateExtension, EXT_ProcessMsg and
// EXT_SendUp called on a thread other than the window's are refused: they
// do nothing (EXT_CreateExtension returns null, EXT_ProcessMsg false) and
// write one line saying why to the debug output (OutputDebugStringA).
// EXT_DeleteExtension is never refused: called on another thread, it hands
// the deletion to the window's thread and waits until that thread has taken
// it, which it does the next time it retrieves messages (so never call it
// from a thread the window's thread is waiting for); when the window's
// thread has ended, the extension is deleted on the calling thread.
//
// During destruction. Deleting the extension releases the game and sends
// the closing report ("FE_STATE", empty state name), and the host's Notify
// may call back then (a host that repaints on a report gets a paint message
// through EXT_ProcessMsg). From the start of the destruction every export
// does nothing for that extension: EXT_ProcessMsg returns false, so the
// host's own handling (DefWindowProc) takes the message, and a second
// deletion does nothing.
//
// EXT_DeleteExtension may also be called from inside a call into the
// extension (from ExtensionHost::Notify, say, on an "FE_ERROR" report, or
// from a message loop run there): the extension is then destroyed as soon
// as the outermost of those calls returns, and nothing more reaches the
// game meanwhile. When that outermost call is EXT_CreateExtension, it
// returns null. A second deletion of the same extension before then does
// nothing.
extern "C" {
Generic::GenericExtension* __cdecl EXT_CreateExtension(HWND window, int reserved, HINSTANCE resourceModule,
                                                       ExtensionHost* host);
void __cdecl EXT_DeleteExtension(Generic::GenericExtension* extension);
bool __cdecl EXT_ProcessMsg(Generic::GenericExtension* extension, UINT msg, WPARAM wParam, LPARAM lParam,
                            LRESULT* result);
int __cdecl EXT_SendUp(Generic::GenericExtension* extension, const char* name, const char* value);
}

// Pointer types for hosts that bind the exports with GetProcAddress.
using EXT_CreateExtensionFn = Generic::GenericExtension*(__cdecl*)(HWND, int, HINSTANCE, ExtensionHost*);
using EXT_DeleteExtensionFn = void(__cdecl*)(Generic::GenericExtension*);
using EXT_ProcessMsgFn = bool(__cdecl*)(Generic::GenericExtension*, UINT, WPARAM, LPARAM, LRESULT*);
using EXT_SendUpFn = int(__cdecl*)(Generic::GenericExtension*, const char*, const char*);
