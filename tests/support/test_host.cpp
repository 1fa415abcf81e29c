#include "support/test_host.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fyrel::test {

void TestHost::Notify(const char* first, const char* second) {
  Pair pair(first ? first : "", second ? second : "");
  // FYREL_TEST_TRACE=1 prints every report with its time, for debugging.
  static const bool trace = std::getenv("FYREL_TEST_TRACE") != nullptr;
  if (trace) std::printf("[trace %lu] %s\t%s\n", ::GetTickCount(), pair.first.c_str(), pair.second.c_str());
  std::function<void(const Pair&)> callback;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    notifications_.push_back(pair);
    callback = onNotify_;
  }
  if (callback) callback(pair);
}

int TestHost::GetValue(const char* name, std::string* value) {
  std::string found;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    getValueCalls_.push_back(name);
    auto it = values_.find(name);
    if (it != values_.end()) found = it->second;
  }
  // Fill only within the presized length; report the full length.
  std::size_t n = std::min(found.size(), value->size());
  if (n > 0) std::memcpy(&(*value)[0], found.data(), n);
  return static_cast<int>(found.size());
}

void TestHost::set(const std::string& name, const std::string& value) {
  std::lock_guard<std::mutex> lock(mutex_);
  values_[name] = value;
}

void TestHost::erase(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  values_.erase(name);
}

std::vector<Pair> TestHost::notifications() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return notifications_;
}

std::vector<std::string> TestHost::stateNames() const {
  std::vector<std::string> names;
  for (const auto& pair : notifications()) names.push_back(pair.second);
  return names;
}

std::string TestHost::lastStateName() const {
  const auto names = stateNames();
  return names.empty() ? "(no report)" : names.back();
}

bool TestHost::received(const std::string& second) const {
  auto names = stateNames();
  return std::find(names.begin(), names.end(), second) != names.end();
}

std::vector<std::string> TestHost::getValueCalls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return getValueCalls_;
}

void TestHost::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  notifications_.clear();
  getValueCalls_.clear();
}

void TestHost::onNotify(std::function<void(const Pair&)> callback) {
  std::lock_guard<std::mutex> lock(mutex_);
  onNotify_ = std::move(callback);
}

}  // namespace fyrel::test
