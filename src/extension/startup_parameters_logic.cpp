#include "extension/startup_parameters_logic.h"

#include "common/ascii_case.h"
#include "download/url_parts.h"
#include "extract/member_name.h"
#include "storage/version_marker_text.h"

namespace fyrel {

std::int32_t parseDecimal(const std::string& text) noexcept {
  std::size_t i = 0;
  auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; };
  while (i < text.size() && isSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Unsigned arithmetic: the value wraps in 32 bits instead of overflowing.
  std::uint32_t value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    value = value * 10u + static_cast<std::uint32_t>(text[i++] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

namespace {

// Win32 sees a name only up to its first NUL, so "..\0x" would pass every
// check below and still name the parent folder; other control characters
// have no place in a file name either.
bool hasControlCharacter(const std::string& value) noexcept {
  for (char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return true;
  }
  return false;
}

// One file or folder name as Windows will use it. Windows drops trailing
// dots and blanks, so "x." and "x " are other spellings of "x" (and "..."
// of the folder above): a name must be spelt the one way the folder is
// found, or two spellings of one folder would escape the install lock that
// is named after the spelling. Wildcards and the other reserved characters
// cannot be in a name, and a device name would open the device.
bool isPlainName(const std::string& value) noexcept {
  if (hasControlCharacter(value)) return false;
  if (!value.empty() && (value.back() == '.' || value.back() == ' ')) return false;
  if (value.find_first_of("<>\"|?*:\\") != std::string::npos) return false;
  return !namesDevice(value);
}

}  // namespace

bool isSafeFolderLevel(const std::string& value) noexcept {
  return isPlainName(value) && value.find('/') == std::string::npos;
}

bool isSafePackageFileName(const std::string& value) noexcept { return !value.empty() && isPlainName(value); }

namespace {

// The name as Windows looks it up: trailing dots and blanks dropped (letter
// case is the comparison's business).
std::string asLookedUp(std::string name) {
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  return name;
}

// An 8.3 name whose base holds "~" followed by a digit ("PADDLE~1",
// "PA3F2A~12"): the shape of every short name Windows makes for a long one.
// Returns its extension (lower case) through extension.
bool isShortAliasForm(const std::string& name, std::string& extension) {
  const std::size_t dot = name.rfind('.');
  const std::string base = dot == std::string::npos ? name : name.substr(0, dot);
  extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || extension.size() > 3) return false;
  if (base.find('.') != std::string::npos) return false;
  const std::size_t tilde = base.find('~');
  return tilde != std::string::npos && tilde + 1 < base.size() && base[tilde + 1] >= '0' && base[tilde + 1] <= '9';
}

// The extension a short alias of name carries: the first three characters
// of its long extension.
std::string aliasExtensionOf(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot + 1, 3);
}

}  // namespace

bool packageFileNameTakesReservedName(const std::string& fileName, const std::string& gameName, SameNameFn sameName) {
  const std::string name = asLookedUp(fileName);
  const std::string reserved[] = {asLookedUp(gameName + ".dll"), kVersionMarkerName};
  const auto same = [sameName](const std::string& a, const std::string& b) {
    return sameName(a.data(), a.size(), b.data(), b.size());
  };
  std::string extension;
  const bool aliasForm = isShortAliasForm(name, extension);
  for (const std::string& taken : reserved) {
    if (same(name, taken)) return true;
    if (aliasForm && same(extension, aliasExtensionOf(taken))) return true;
  }
  return false;
}

bool endsInLeadByte(const std::string& value, bool (*isLeadByte)(unsigned char)) noexcept {
  // Walked from the start: a byte that could lead is a trail byte when the
  // byte before it led.
  bool trailNext = false;
  for (char c : value) {
    trailNext = trailNext ? false : isLeadByte(static_cast<unsigned char>(c));
  }
  return trailNext;
}

bool fitsPackagePathLimit(const std::string& path) noexcept { return path.size() <= kMaxPackagePathLength; }

bool gameFolderHoldsModuleAndMarker(const std::string& gameFolder, const std::string& gameName) noexcept {
  const std::size_t moduleName = gameName.size() + sizeof ".dll" - 1;
  const std::size_t markerName = sizeof kVersionMarkerName - 1;
  return gameFolder.size() + (moduleName > markerName ? moduleName : markerName) <= kMaxFilePathLength;
}

bool packageFileNameFromUrl(const std::string& url, std::string& fileName) {
  const std::size_t slash = url.rfind('/');
  if (slash == std::string::npos || slash == 0) return false;
  fileName = url.substr(slash + 1);
  return true;
}

bool isUsablePackageAddress(const std::string& url) {
  UrlParts parts;
  return splitUrl(url, parts);
}

AddressLineAction addressLineAction(const std::string& localUrl) noexcept {
  if (localUrl.empty()) return AddressLineAction::Keep;
  if (localUrl == "blank") return AddressLineAction::Clear;
  return AddressLineAction::Replace;
}

std::string composeGameFolder(const std::string& playerFolder, const std::string& partnerName,
                              const std::string& gameName, const std::string& language, const std::string& country) {
  std::string folder = playerFolder + partnerName + "\\" + gameName + "\\";
  if (!language.empty() && !country.empty()) folder += language + "-" + country + "\\";
  return folder;
}

float percentOf(std::uint32_t done, std::uint32_t total) noexcept {
  if (total == 0) return 0.0f;
  return static_cast<float>(static_cast<double>(done) / static_cast<double>(total) * 100.0);
}

bool parsePackageSha256(const std::string& text, PackageSha256& digest) noexcept {
  if (text.size() != 2 * digest.size()) return false;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  PackageSha256 parsed{};
  for (std::size_t i = 0; i < parsed.size(); ++i) {
    const int high = nibble(text[2 * i]);
    const int low = nibble(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    parsed[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  digest = parsed;
  return true;
}

}  // namespace fyrel
