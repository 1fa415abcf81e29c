#include "verify/trailer_window.h"

#include <algorithm>

namespace fyrel {

void TrailerWindow::clear() noexcept {
  held_.clear();
  begin_ = 0;
  total_ = 0;
}

void TrailerWindow::compact() {
  std::copy(held_.begin() + static_cast<std::ptrdiff_t>(begin_), held_.end(), held_.begin());
  held_.resize(held_.size() - begin_);
  begin_ = 0;
}

}  // namespace fyrel
