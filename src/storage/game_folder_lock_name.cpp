#include "storage/game_folder_lock_name.h"

#include <cstdint>

#include "common/ascii_case.h"

namespace fyrel {
namespace {
constexpr char kGlobalPrefix[] = "Global\\";
constexpr char kLocalPrefix[] = "Local\\";
}  // namespace

std::string gameFolderLockName(const std::string& gameFolder) {
  std::string normal;
  normal.reserve(gameFolder.size());
  for (char c : gameFolder) {
    normal += c == '/' ? '\\' : lowerAscii(c);
  }
  while (!normal.empty() && normal.back() == '\\') normal.pop_back();

  std::uint64_t hash = 14695981039346656037ull;
  for (char c : normal) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
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
