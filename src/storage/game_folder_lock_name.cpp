#include "storage/game_folder_lock_name.h"

#include <cstdint>

namespace fyrel {
namespace {
constexpr char kGlobalPrefix[] = "Global\\";
constexpr char kLocalPrefix[] = "Local\\";
}  // namespace

std::string gameFolderLockName(const std::u16string& foldedFolder) {
  std::u16string normal;
  normal.reserve(foldedFolder.size());
  for (char16_t c : foldedFolder) normal += c == u'/' ? u'\\' : c;
  while (!normal.empty() && normal.back() == u'\\') normal.pop_back();

  // Each code unit as its two bytes, low first: the name is the same on
  // every platform that builds this.
  std::uint64_t hash = 14695981039346656037ull;
  for (char16_t c : normal) {
    hash = (hash ^ (static_cast<unsigned>(c) & 0xFFu)) * 1099511628211ull;
    hash = (hash ^ (static_cast<unsigned>(c) >> 8)) * 1099511628211ull;
  }
  static const char kDigits[] = "0123456789abcdef";
  std::string name = std::string(kGlobalPrefix) + "FyrelGameFolder-";
  for (int shift = 60; shift >= 0; shift -= 4) name += kDigits[(hash >> shift) & 0xF];
  return name;
}

std::string sessionLockName(const std::string& lockName) {
  const std::string global = kGlobalPrefix;
  if (lockName.compare(0, global.size(), global) != 0) return lockName;
  return kLocalPrefix + lockName.substr(global.size());
}

}  // namespace fyrel
