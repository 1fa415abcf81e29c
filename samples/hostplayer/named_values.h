// The values the host answers to ExtensionHost::GetValue. No Windows header.
#pragma once

#include <map>
#include <string>

namespace fyrel::hostplayer {

class NamedValues {
 public:
  void set(const std::string& name, const std::string& value) { values_[name] = value; }

  // The host's side of the GetValue contract: fill *buffer only within the
  // length the caller gave it (the caller sized it and will read exactly
  // that many characters), and return the value's full length, 0 when the
  // name is unknown, so the caller can ask again with the right size.
  int answer(const std::string& name, std::string* buffer) const;

 private:
  std::map<std::string, std::string> values_;
};

}  // namespace fyrel::hostplayer
