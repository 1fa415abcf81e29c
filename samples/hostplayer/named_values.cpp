#include "named_values.h"

#include <algorithm>
#include <climits>

namespace fyrel::hostplayer {

int NamedValues::answer(const std::string& name, std::string* buffer) const {
  const auto found = values_.find(name);
  if (found == values_.end()) return 0;
  const std::string& value = found->second;
  if (buffer != nullptr) {
    const std::size_t n = std::min(value.size(), buffer->size());
    std::copy_n(value.begin(), n, buffer->begin());
  }
  return static_cast<int>(std::min<std::size_t>(value.size(), INT_MAX));
}

}  // namespace fyrel::hostplayer
