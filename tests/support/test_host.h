// A host for tests: named values set per test, every Notify recorded in
// order (thread-safe), GetValue by the host contract.
#pragma once

#include <fyrel/extension_api.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace fyrel::test {

using Pair = std::pair<std::string, std::string>;

class TestHost final : public ExtensionHost {
 public:
  void Notify(const char* first, const char* second) override;
  int GetValue(const char* name, std::string* value) override;

  void set(const std::string& name, const std::string& value);
  void erase(const std::string& name);

  std::vector<Pair> notifications() const;
  std::vector<std::string> stateNames() const;  // second of every pair, in order
  // The last of them, or "(no report)": for a failed wait's message, which
  // must not fault when nothing was reported.
  std::string lastStateName() const;
  bool received(const std::string& second) const;
  std::vector<std::string> getValueCalls() const;  // names asked, in order
  void clear();
  // Called inside Notify, after recording (on the caller's thread).
  void onNotify(std::function<void(const Pair&)> callback);

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::string> values_;
  std::vector<Pair> notifications_;
  std::vector<std::string> getValueCalls_;
  std::function<void(const Pair&)> onNotify_;
};

}  // namespace fyrel::test
