// The package's last bytes, held back while it arrives: the trailer may
// begin anywhere in the last kTrailerWindow bytes, and only once the
// package has ended is it known which of them were signed. Every byte
// before the window is handed on as soon as no later byte can pull it into
// the window, so the signed content's hash runs with the download and only
// the window is left to hash at the check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "verify/package_trailer.h"

namespace fyrel {

class TrailerWindow {
 public:
  explicit TrailerWindow(std::size_t window = kTrailerWindow) noexcept : window_(window) {}
  // A window moved from holds nothing.
  TrailerWindow(TrailerWindow&& other) noexcept
      : window_(other.window_),
        held_(std::move(other.held_)),
        begin_(std::exchange(other.begin_, 0)),
        total_(std::exchange(other.total_, 0)) {
    other.held_.clear();
  }
  TrailerWindow& operator=(TrailerWindow&& other) noexcept {
    window_ = other.window_;
    held_ = std::move(other.held_);
    other.held_.clear();
    begin_ = std::exchange(other.begin_, 0);
    total_ = std::exchange(other.total_, 0);
    return *this;
  }

  // Takes the package's next bytes; release(pointer, count) receives, in
  // order, the bytes that have left the window for good. May throw
  // std::bad_alloc (once: the buffer is then as large as it gets).
  template <typename Release>
  void add(const unsigned char* bytes, std::size_t size, Release&& release);
  // Forgets everything: a package that starts again from its first byte.
  void clear() noexcept;

  // The bytes held: the package's last min(total(), window) bytes.
  const unsigned char* data() const noexcept { return held_.data() + begin_; }
  std::size_t size() const noexcept { return held_.size() - begin_; }
  // Bytes taken so far, and the package offset of the first byte held.
  std::uint64_t total() const noexcept { return total_; }
  std::uint64_t start() const noexcept { return total_ - size(); }

 private:
  void compact();

  std::size_t window_;
  std::vector<unsigned char> held_;
  std::size_t begin_ = 0;  // bytes at the front of held_ already handed on
  std::uint64_t total_ = 0;
};

template <typename Release>
void TrailerWindow::add(const unsigned char* bytes, std::size_t size, Release&& release) {
  if (size == 0) return;
  if (held_.capacity() == 0) held_.reserve(2 * window_);
  total_ += size;
  if (size >= window_) {
    // The new bytes alone fill the window: all that was held goes, and so
    // does the front of the new bytes.
    if (this->size() != 0) release(data(), this->size());
    release(bytes, size - window_);
    held_.assign(bytes + (size - window_), bytes + size);
    begin_ = 0;
    return;
  }
  const std::size_t after = this->size() + size;
  if (after > window_) {
    // Fewer than size bytes, all of them held ones: size < window_.
    const std::size_t leaving = after - window_;
    release(data(), leaving);
    begin_ += leaving;
  }
  // Moved to the front only once as many bytes have left as the window
  // holds: each byte is moved about once, whatever the pieces' sizes.
  if (begin_ >= window_ || held_.size() + size > held_.capacity()) compact();
  held_.insert(held_.end(), bytes, bytes + size);
}

}  // namespace fyrel
