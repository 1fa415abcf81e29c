// Byte-level rules for the start-up parameters: number conversion, which
// values may become folder or file names, and how the paths are composed.
// Pure logic: no Windows header.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/ascii_case.h"

namespace fyrel {

// Skips leading white space, takes one optional sign, then decimal digits up
// to the first non-digit. No digits gives 0; overflow wraps in 32 bits.
std::int32_t parseDecimal(const std::string& text) noexcept;

// A value that becomes one folder level: no "\", "/" or ":", no NUL or other
// control character, so it can never climb out of or jump away from the
// player folder; no trailing dot or blank ("." and ".." included), no
// wildcard or other character Windows keeps for itself, and no device name,
// so it names exactly one folder, spelt one way.
bool isSafeFolderLevel(const std::string& value) noexcept;
// The package file name: not empty, and the same rules as a folder level
// (a "/" cannot occur: it is what the name was cut at).
bool isSafePackageFileName(const std::string& value) noexcept;

// True when the package file name would name a file the game folder keeps
// for itself: the game module (gameName + ".dll") or the version marker,
// spelt in any letter case, with the trailing dots and blanks Windows drops,
// or in an 8.3 form that may be a short alias of one of them. Which short
// alias a long name gets depends on the folder, so every 8.3 name with a
// "~" and a digit in its base and the extension a reserved name's alias
// would carry is taken as one.
// sameName says which spellings are one name (the file system's folding, on
// the platform: "Été.dll" is the module of game "été").
bool packageFileNameTakesReservedName(const std::string& fileName, const std::string& gameName,
                                      SameNameFn sameName = sameNameIgnoringAsciiCase);

// True when the name, read in a double-byte code page, ends in a lead byte:
// its last character would take the "\" or the file name appended after it.
// isLeadByte says which bytes lead a two-byte character in the code page.
bool endsInLeadByte(const std::string& value, bool (*isLeadByte)(unsigned char)) noexcept;

// The longest package path the platform takes all the way: its file
// functions take MAX_PATH less the terminating NUL (259 characters), and
// cabinet.dll opens a cabinet by folder and name joined in a buffer of its
// own, which holds 257 (measured). A longer package could be downloaded
// perhaps but never installed, so its name is refused with the parameters.
constexpr std::size_t kMaxPackagePathLength = 257;
bool fitsPackagePathLimit(const std::string& path) noexcept;
// Every install writes the game module (gameName.dll) and the version marker
// into the game folder, and loads the module from there, through file
// functions that take 259 characters: a folder too long for either can
// never hold a running game, however short the package's own name.
constexpr std::size_t kMaxFilePathLength = 259;
bool gameFolderHoldsModuleAndMarker(const std::string& gameFolder, const std::string& gameName) noexcept;

// Everything after the last "/" of the package address. False when there is
// no "/" or the only usable one is the first character.
bool packageFileNameFromUrl(const std::string& url, std::string& fileName);

// An address the downloader can use (download/url_parts.h): a scheme, a
// server, a port from 1 to 65535 if one is written, no user information,
// and a path. Refused at creation, so a bad address is reported like any
// other bad parameter instead of as a failed download.
bool isUsablePackageAddress(const std::string& url);

// A pinned package hash as a host passes it: exactly 64 hexadecimal digits,
// either case, nothing around them. False, with digest untouched, for
// anything else.
using PackageSha256 = std::array<std::uint8_t, 32>;
bool parsePackageSha256(const std::string& text, PackageSha256& digest) noexcept;

// What "localURL" does to the screen's address line.
enum class AddressLineAction { Keep, Clear, Replace };
AddressLineAction addressLineAction(const std::string& localUrl) noexcept;

// playerFolder + partner\game\ [+ language-country\ when both are given].
std::string composeGameFolder(const std::string& playerFolder, const std::string& partnerName,
                              const std::string& gameName, const std::string& language, const std::string& country);

// The percentage a worker's two counters stand for; 0 while the total is 0.
float percentOf(std::uint32_t done, std::uint32_t total) noexcept;

}  // namespace fyrel
