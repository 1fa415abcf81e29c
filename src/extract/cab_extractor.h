// Unpacks a cabinet archive into a folder on a worker thread, through the
// platform's FDI interface in cabinet.dll, with whole-file byte progress.
#pragma once

#include <windows.h>
// fdi.h builds on the Windows types.
#include <fdi.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "extract/member_digests.h"

namespace fyrel {

class CabExtractor {
 public:
  CabExtractor() noexcept;  // loads cabinet.dll
  virtual ~CabExtractor();  // stops a run, then unloads cabinet.dll
  CabExtractor(const CabExtractor&) = delete;
  CabExtractor& operator=(const CabExtractor&) = delete;

  // Stops a run that is still going, then starts a new one. True when the
  // worker thread runs. cabinetFile, when given, is an open handle of the
  // cabinet at cabinetPath: FDI then reads the cabinet through it instead
  // of opening the path again, and the run keeps it open (and closes it
  // before it ends), so the cabinet read is the one the caller opened.
  // reservedNames are file names of the target folder that no member may
  // take; the cabinet's own name is one when it lies in that folder.
  // heldFolder is the final path of the folder the caller holds, in which
  // every member and member folder must land (storage/checked_file.h);
  // empty: the target folder's own, as the run finds it.
  bool start(const std::string& cabinetPath, const std::string& targetFolder, UniqueFile cabinetFile = UniqueFile(),
             std::vector<std::string> reservedNames = {}, std::wstring heldFolder = {});
  // Makes the next notification abort and waits until the worker has ended.
  void stop();

  // Read by the controller on every tick. The worker writes the outcome and
  // the sums before it clears the running flag (release/acquire).
  bool isRunning() const noexcept;
  bool succeeded() const noexcept;
  std::uint32_t totalBytes() const noexcept;
  std::uint32_t extractedBytes() const noexcept;
  // Why the last run failed (which member, and why), for the line that
  // explains it; read once the run has ended. Empty after one that passed.
  const std::string& failure() const noexcept { return failure_; }
  // The runnable members the last run wrote, each with the digest of the
  // bytes written. Read once the run has ended (after isRunning() is false).
  const std::vector<MemberDigest>& runnableMembers() const noexcept { return digests_.runnable(); }
  // True from stop() until the next start().
  bool stopRequested() const noexcept;

 private:
  struct Routines;  // the callbacks handed to FDI (fdi_adapters.cpp)
  static unsigned __stdcall worker(void* self);
  void run();
  void runMarked();  // the run, as one of our own threads
  // True when the cabinet is no part of a set: its header names no other
  // cabinet and no member goes on in one.
  bool cabinetStandsAlone() const noexcept;
  bool createContext();
  // The counting pass, then the extraction pass; true when both completed
  // and every member was written whole.
  bool runPasses();
  void destroyContext() noexcept;
  // Waits for an ended worker's thread to be gone and drops its handle.
  void joinWorker() noexcept;
  // A CRT descriptor for reading the cabinet: on a duplicate of
  // cabinetFile_ when one was handed over, else opened by its path; -1 when
  // it cannot be had.
  INT_PTR openCabinet(int flags) const;
  INT_PTR onCopyFile(const FDINOTIFICATION& file);
  INT_PTR onCloseFile(const FDINOTIFICATION& file);
  // Makes the member's folders and the member's file, fresh and checked
  // (storage/checked_file.h); a CRT descriptor for FDI, or -1.
  INT_PTR createMemberFile(const std::string& memberPath);
  // Every byte of every member goes through here, in order, on the
  // worker: FDI's write routine for output files.
  UINT writeMember(INT_PTR file, const void* buffer, UINT size);

  UniqueModule cabinetLibrary_;
  HFDI context_ = nullptr;  // written by start and by the worker, never at once
  UniqueKernelHandle thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{false};
  std::atomic<bool> succeeded_{false};
  bool countingPass_ = false;  // worker only
  // A write failed or fell short, or a member closed at another size than
  // its declared one (a full disk). Worker only.
  bool outputIncomplete_ = false;
  // The member FDI is writing and the size its entry declares. Worker only.
  INT_PTR openMember_ = -1;
  std::uint32_t openMemberSize_ = 0;
  std::string openMemberName_;
  // The first cause of a failed run. Worker only while it runs.
  std::string failure_;
  // Keeps the text compose() makes as the run's cause, unless one is kept
  // already. Never throws: it runs inside cabinet.dll's callbacks, where
  // an exception must not pass.
  template <typename Compose>
  void fail(Compose compose) noexcept {
    try {
      if (failure_.empty()) failure_ = compose();
    } catch (...) {
      // Out of memory: the run fails all the same, unexplained.
    }
  }
  MemberDigests digests_;  // worker only while running
  std::atomic<std::uint32_t> totalBytes_{0};
  std::atomic<std::uint32_t> extractedBytes_{0};
  std::string cabinetName_;
  std::string cabinetFolder_;
  std::string targetFolder_;
  std::vector<std::string> reservedNames_;
  // Where members must land; taken from the target folder when the caller
  // holds none. Worker only once started.
  std::wstring heldFolder_;
  // The cabinet as the caller opened it; handed to FDI for cabinetFolder_ +
  // cabinetName_ and closed by the worker before it clears running.
  UniqueFile cabinetFile_;
  ERF error_{};  // FDI writes here during FDICopy; nobody reads it
};

// Starts the worker thread; replaceable so that a test can hold a worker
// before its first step. Returns the thread's handle, or null.
namespace detail {
using BeginThreadFn = HANDLE (*)(unsigned(__stdcall* entry)(void*), void* argument);
extern BeginThreadFn beginExtractionThread;
}  // namespace detail

}  // namespace fyrel
