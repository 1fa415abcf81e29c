#include "extract/member_digests.h"

#include <new>

#include "extract/runnable_member.h"

namespace fyrel {

void MemberDigests::clear() noexcept {
  file_ = -1;
  hash_.reset();
  runnable_.clear();
}

void MemberDigests::begin(INT_PTR file, std::string name) noexcept {
  file_ = file;
  name_ = std::move(name);
  headSize_ = 0;
  hash_.reset(new (std::nothrow) Sha256());
}

void MemberDigests::feed(INT_PTR file, const void* bytes, unsigned size) noexcept {
  if (file != file_ || hash_ == nullptr) return;
  const auto* data = static_cast<const unsigned char*>(bytes);
  for (unsigned i = 0; i < size && headSize_ < sizeof head_; ++i) head_[headSize_++] = data[i];
  hash_->update(bytes, size);
}

bool MemberDigests::finish(INT_PTR file) noexcept {
  if (file != file_) return false;
  file_ = -1;
  std::unique_ptr<Sha256> hash = std::move(hash_);
  if (!isRunnableMember(name_, head_, headSize_)) return true;
  MemberDigest member;
  if (hash == nullptr || !hash->finish(member.digest)) return false;
  try {
    member.name = std::move(name_);
    runnable_.push_back(std::move(member));
  } catch (...) {
    return false;  // out of memory
  }
  return true;
}

}  // namespace fyrel
