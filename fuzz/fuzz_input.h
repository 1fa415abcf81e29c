// Cuts a fuzzer's byte string into the typed values a target needs, so one
// input drives several arguments and the fuzzer can still reach every value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace fyrel::fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool empty() const { return size_ == 0; }
  std::size_t remaining() const { return size_; }

  std::uint8_t byte() {
    if (size_ == 0) return 0;
    --size_;
    return *data_++;
  }
  template <typename T>
  T value() {
    T v{};
    if (size_ == 0) return v;  // memcpy may not take the null pointer of an empty input
    const std::size_t n = size_ < sizeof v ? size_ : sizeof v;
    std::memcpy(&v, data_, n);
    data_ += n;
    size_ -= n;
    return v;
  }
  // Bytes up to the next NUL (consumed) or the end; NULs never get into a
  // field, so fields stay C strings too.
  std::string field() {
    if (size_ == 0) return {};
    const void* nul = std::memchr(data_, 0, size_);
    const std::size_t n = nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - data_) : size_;
    std::string text(reinterpret_cast<const char*>(data_), n);
    const std::size_t taken = nul ? n + 1 : n;
    data_ += taken;
    size_ -= taken;
    return text;
  }
  std::string rest() {
    if (size_ == 0) return {};
    std::string text(reinterpret_cast<const char*>(data_), size_);
    data_ += size_;
    size_ = 0;
    return text;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

// A read-only stdio stream over bytes: the stream readers take FILE*. The
// bytes are copied first so a reader never sees the fuzzer's buffer.
class MemoryStream {
 public:
  explicit MemoryStream(const std::string& bytes) : copy_(bytes) {
    if (!copy_.empty()) {
      stream_ = fmemopen(copy_.data(), copy_.size(), "rb");
    } else {
      stream_ = std::tmpfile();  // fmemopen refuses a zero-length buffer
    }
  }
  ~MemoryStream() {
    if (stream_ != nullptr) std::fclose(stream_);
  }
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;
  std::FILE* get() const { return stream_; }

 private:
  std::string copy_;
  std::FILE* stream_ = nullptr;
};

}  // namespace fyrel::fuzz
