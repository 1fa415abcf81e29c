// The SHA-256 of every runnable member, taken from the very bytes the
// extraction writes: what may later be loaded from the shared folder is
// compared with these, not with whatever the folder holds by then.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "common/sha256.h"

namespace fyrel {

using MemberDigest = FileDigest;

// Fed by the extraction worker, one member at a time, as FDI writes it.
class MemberDigests {
 public:
  void clear() noexcept;
  // A member's output file was opened; its bytes follow through feed().
  void begin(INT_PTR file, std::string name) noexcept;
  void feed(INT_PTR file, const void* bytes, unsigned size) noexcept;
  // The member was written whole: kept when it can run. False when its
  // digest could not be had (the run must fail: it would be unchecked).
  bool finish(INT_PTR file) noexcept;
  const std::vector<MemberDigest>& runnable() const noexcept { return runnable_; }

 private:
  INT_PTR file_ = -1;
  std::string name_;
  std::unique_ptr<Sha256> hash_;
  unsigned char head_[2] = {};
  std::size_t headSize_ = 0;
  std::vector<MemberDigest> runnable_;
};

}  // namespace fyrel
