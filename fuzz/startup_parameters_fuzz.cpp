// Start-up parameters are whatever the embedding page passes: the numbers,
// the names that become folders and the package address.
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "extension/startup_parameters_logic.h"
#include "fuzz_input.h"

namespace {

bool isCSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Short numbers fit a long, so the C library reads them as the host's own
// runtime would.
void checkNumber(const std::string& text) {
  const std::int32_t value = fyrel::parseDecimal(text);
  std::size_t i = 0;
  while (i < text.size() && isCSpace(text[i])) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i + digits < text.size() && text[i + digits] >= '0' && text[i + digits] <= '9') ++digits;
  if (digits > 9) return;
  const long expected = std::strtol(text.c_str(), nullptr, 10);
  // strtol stops at an embedded NUL just like the digit scan does.
  if (text.find('\0') == std::string::npos && value != expected) std::abort();
}

std::vector<std::string> levelsBelow(const std::string& folder, std::size_t from) {
  std::vector<std::string> levels;
  std::string level;
  for (std::size_t i = from; i < folder.size(); ++i) {
    if (folder[i] == '\\') {
      levels.push_back(level);
      level.clear();
    } else {
      level += folder[i];
    }
  }
  if (!level.empty()) levels.push_back(level);
  return levels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fyrel::fuzz::FuzzInput input(data, size);
  const std::string number = input.field();
  const std::string partner = input.field();
  const std::string game = input.field();
  const std::string language = input.field();
  const std::string country = input.field();
  const std::string url = input.field();
  const std::uint32_t done = input.value<std::uint32_t>();
  const std::uint32_t total = input.value<std::uint32_t>();

  checkNumber(number);

  // A pinned package hash read back digit for digit, or refused untouched.
  fyrel::PackageSha256 digest{};
  digest.fill(0x5a);
  if (fyrel::parsePackageSha256(number, digest)) {
    static const char kDigits[] = "0123456789abcdef";
    std::string again;
    for (std::uint8_t byte : digest) {
      again += kDigits[byte >> 4];
      again += kDigits[byte & 15];
    }
    std::string lowered = number;
    for (char& c : lowered) c = (c >= 'A' && c <= 'F') ? static_cast<char>(c - 'A' + 'a') : c;
    if (again != lowered) std::abort();
  } else {
    for (std::uint8_t byte : digest)
      if (byte != 0x5a) std::abort();
  }

  // Names that pass the check can never take the game folder anywhere but
  // straight down from the player folder.
  const std::string player = "C:\\Data\\Fyrel\\FyrelGamesPlayer\\";
  const std::string folder = fyrel::composeGameFolder(player, partner, game, language, country);
  if (folder.compare(0, player.size(), player) != 0 || folder.back() != '\\') std::abort();
  const bool allSafe = fyrel::isSafeFolderLevel(partner) && fyrel::isSafeFolderLevel(game) &&
                       fyrel::isSafeFolderLevel(language) && fyrel::isSafeFolderLevel(country);
  if (allSafe) {
    const std::vector<std::string> levels = levelsBelow(folder, player.size());
    const bool withLocale = !language.empty() && !country.empty();
    if (levels.size() != (withLocale ? 3u : 2u)) std::abort();
    for (const std::string& level : levels) {
      if (level == "." || level == ".." || level.find_first_of(":/") != std::string::npos) std::abort();
    }
  }

  std::string fileName = "untouched";
  if (fyrel::packageFileNameFromUrl(url, fileName)) {
    if (fileName.find('/') != std::string::npos) std::abort();
    if (url.size() < fileName.size() + 2 ||
        url.compare(url.size() - fileName.size() - 1, std::string::npos, "/" + fileName) != 0) {
      std::abort();
    }
    // A name that passes is appended to the game folder as one file name.
    if (fyrel::isSafePackageFileName(fileName) &&
        (fileName == "." || fileName == ".." || fileName.find_first_of("\\:/") != std::string::npos)) {
      std::abort();
    }
  } else if (fileName != "untouched") {
    std::abort();
  }

  (void)fyrel::addressLineAction(url);

  const float percent = fyrel::percentOf(done, total);
  if (!std::isfinite(percent) || percent < 0.0f) std::abort();
  if (done <= total && percent > 100.0f) std::abort();
  return 0;
}
