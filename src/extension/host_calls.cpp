// The boundary rules for the host's calls into the extension, in one place.
//
// Which thread: the exports run on the thread that owns the window. A call
// from any other thread would race the window thread over the re-entry
// bookkeeping below (and over everything else of the loader), so it is
// refused without effect and said so on the debug output. The delete is
// never refused: one asked for on another thread is carried over to the
// window thread through the mailbox, or, when that thread has ended (and
// with it the window), done on the caller's thread.
//
// Deleting from inside a call: the host may delete the extension on the
// window thread while one of its own calls is still running below (its
// Notify on an "FE_ERROR" report is the natural place): the deletion then
// waits until that outermost call returns, and the object stays whole for
// the code still on the stack.
//
// During destruction: the closing report and the game's release call the
// host and the game, which may call back (a host repaints on a report, so
// its window procedure calls EXT_ProcessMsg). Once destruction has begun,
// every export does nothing for this extension, so nothing can start a
// second destruction inside the first.
#include "extension/game_loader_extension.h"

namespace fyrel {
namespace {

constexpr UINT kDeleteMessage = WM_APP + 1;
constexpr LRESULT kDeletionTaken = 1;
constexpr char kMailboxClass[] = "FyrelExtensionMailbox";

HINSTANCE thisModule() noexcept {
  HMODULE module = nullptr;
  ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&thisModule), &module);
  return module;
}

// The thread that owns the window; the calling thread when there is no window.
DWORD owningThread(HWND window) noexcept {
  const DWORD owner = ::GetWindowThreadProcessId(window, nullptr);
  return owner != 0 ? owner : ::GetCurrentThreadId();
}

// False, with one line on the debug output, for a call on another thread.
bool admitThread(DWORD windowThreadId, const char* exportName) noexcept {
  if (windowThreadId == 0 || windowThreadId == ::GetCurrentThreadId()) return true;
  char line[160];
  wsprintfA(line, "FyrelExtension: %s refused: called on thread %lu, the window's is %lu\n", exportName,
            ::GetCurrentThreadId(), windowThreadId);
  ::OutputDebugStringA(line);
  return false;
}

}  // namespace

bool GameLoaderExtension::admitsCreation(HWND window) noexcept {
  return admitThread(owningThread(window), "EXT_CreateExtension");
}

void GameLoaderExtension::bindWindowThread(HWND window) noexcept {
  if (windowThreadId_ != 0) return;
  windowThreadId_ = owningThread(window);
  windowThread_.reset(::OpenThread(SYNCHRONIZE, FALSE, windowThreadId_));
  if (!onWindowThread()) return;  // refused by enterHostCall; no mailbox on a foreign thread
  // Registered once per process; a second registration fails harmlessly.
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = &GameLoaderExtension::mailboxProc;
  windowClass.hInstance = thisModule();
  windowClass.lpszClassName = kMailboxClass;
  ::RegisterClassA(&windowClass);
  mailbox_.reset(::CreateWindowExA(0, kMailboxClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, thisModule(), nullptr));
  if (mailbox_) ::SetWindowLongPtrA(mailbox_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void GameLoaderExtension::closeMailbox() noexcept {
  mailbox_.reset();
  // Windows keeps a DLL's window classes past its unload, and a reload at
  // another address would find the class with a procedure that is gone:
  // the last mailbox takes the class with it (this fails while others exist).
  ::UnregisterClassA(kMailboxClass, thisModule());
}

bool GameLoaderExtension::onWindowThread() const noexcept {
  return windowThreadId_ == 0 || windowThreadId_ == ::GetCurrentThreadId();
}

bool GameLoaderExtension::windowThreadEnded() const noexcept {
  return windowThread_ && ::WaitForSingleObject(windowThread_.get(), 0) == WAIT_OBJECT_0;
}

bool GameLoaderExtension::enterHostCall(const char* exportName) noexcept {
  if (destroying_.load(std::memory_order_acquire)) return false;
  if (!admitThread(windowThreadId_, exportName)) return false;
  ++hostCallDepth_;
  return true;
}

bool GameLoaderExtension::leaveHostCall() noexcept {
  if (--hostCallDepth_ > 0 || !deleteRequested_ || destroying_.load(std::memory_order_acquire)) return false;
  delete this;
  return true;
}

void GameLoaderExtension::requestDeletion() noexcept {
  if (destroying_.load(std::memory_order_acquire)) return;  // the closing report's Notify deleting again
  if (onWindowThread()) {
    if (hostCallDepth_ > 0) {
      deleteRequested_ = true;  // done by the outermost leaveHostCall
      return;
    }
    delete this;
    return;
  }
  // Waits until the window thread takes the deletion at its next message
  // retrieval. A mailbox that is gone while its thread runs went with the
  // extension: someone else deleted it meanwhile.
  if (!windowThreadEnded() && mailbox_) {
    if (::SendMessageA(mailbox_.get(), kDeleteMessage, 0, 0) == kDeletionTaken) return;
    if (!windowThreadEnded()) return;
  }
  delete this;
}

LRESULT CALLBACK GameLoaderExtension::mailboxProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
  if (msg != kDeleteMessage) return ::DefWindowProcA(window, msg, wParam, lParam);
  // The mailbox is destroyed first thing in the destructor, so an extension
  // that receives this message still exists.
  auto* extension = reinterpret_cast<GameLoaderExtension*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  if (extension != nullptr) extension->requestDeletion();
  return kDeletionTaken;
}

}  // namespace fyrel
