// Number conversion, name safety and path composition of the start-up
// parameters (no Windows header: also runs natively under sanitizers).
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "extension/startup_parameters_logic.h"

namespace fyrel {
namespace {

TEST(ParseDecimal, FollowsTheCConversionRules) {
  static const struct {
    const char* text;
    std::int32_t expected;
  } cases[] = {
      {"", 0},
      {"800px", 800},
      {" 600", 600},
      {"\t\n\v\f\r 7", 7},
      {"abc", 0},
      {"-5", -5},
      {"+12", 12},
      {"--5", 0},
      {"- 5", 0},
      {"2147483647", 2147483647},
      {"2147483648", std::numeric_limits<std::int32_t>::min()},  // wraps, no overflow trap
      {"4294967297", 1},                                         // 2^32 + 1 wraps to 1
      {"-2147483648", std::numeric_limits<std::int32_t>::min()},
      {"99999999999999999999", static_cast<std::int32_t>(0x630FFFFFu)},
  };
  for (const auto& c : cases) EXPECT_EQ(parseDecimal(c.text), c.expected) << "text: \"" << c.text << "\"";
}

TEST(SafeNames, RefuseValuesThatLeaveTheirFolder) {
  static const struct {
    std::string value;
    bool folderLevel;
    bool packageFile;
  } cases[] = {
      {"puzzle", true, true},
      {"en", true, true},
      {"puzzle_12.cab", true, true},
      {"..", false, false},
      {".", false, false},
      {"...", false, false},    // Windows drops trailing dots and blanks: the folder above
      {"acme.", false, false},  // another spelling of "acme"
      {"acme ", false, false},
      {"a.b c", true, true},
      {"x*", false, false},
      {"a<b>", false, false},
      {"q\"", false, false},
      {"a|b", false, false},
      {"NUL", false, false},  // devices
      {"con.txt", false, false},
      {"com1", false, false},
      {"console", true, true},
      {"..\\x", false, false},
      {"a\\b", false, false},
      {"C:x", false, false},
      {"a/b", false, true},
      {"x?v=1", false, false},  // a query string is no file name
      {"", true, false},
      // Win32 reads a name up to its first NUL: these would be "..", "." or
      // a shorter name than the one checked.
      {std::string("..\0x", 4), false, false},
      {std::string(".\0", 2), false, false},
      {std::string("a\0b", 3), false, false},
      {"tab\there", false, false},
      {"line\n", false, false},
      {"\x1f", false, false},
      {"del\x7f", false, false},
      {"caf\xe9", true, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(isSafeFolderLevel(c.value), c.folderLevel) << ::testing::PrintToString(c.value);
    EXPECT_EQ(isSafePackageFileName(c.value), c.packageFile) << ::testing::PrintToString(c.value);
  }
}

TEST(PackageFileName, IsEverythingAfterTheLastSlash) {
  static const struct {
    const char* url;
    bool ok;
    const char* name;
  } cases[] = {
      {"http://host/games/puzzle_12.cab", true, "puzzle_12.cab"},
      {"http://host/get?id=7/x.cab", true, "x.cab"},
      {"http://host/dir/", true, ""},
      {"http://host/a.cab?v=2", true, "a.cab?v=2"},
      {"game.cab", false, ""},
      {"/game.cab", false, ""},
      {"a/b", true, "b"},
  };
  for (const auto& c : cases) {
    std::string name;
    EXPECT_EQ(packageFileNameFromUrl(c.url, name), c.ok) << c.url;
    if (c.ok) {
      EXPECT_EQ(name, c.name) << c.url;
    }
  }
}

TEST(PackagePath, FitsWhatThePlatformTakesAllTheWay) {
  EXPECT_TRUE(fitsPackagePathLimit(""));
  EXPECT_TRUE(fitsPackagePathLimit(std::string(257, 'p')));
  EXPECT_FALSE(fitsPackagePathLimit(std::string(258, 'p')));  // cabinet.dll opens no such cabinet
  EXPECT_FALSE(fitsPackagePathLimit(std::string(260, 'p')));  // nor do the file functions
}

TEST(GameFolder, HoldsTheModuleAndTheMarkerWithinWhatTheFileFunctionsTake) {
  static const struct {
    std::size_t folderLength;
    const char* gameName;
    bool fits;
  } cases[] = {
      {247, "testgame", true},
      {248, "testgame", false},  // module and marker, 12 each
      {247, "g", true},
      {248, "g", false},  // the marker is the longer
      {235, "a_long_game_name_here", false},
      {234, "a_long_game_name_here", true},  // the module is
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.folderLength) + " " + c.gameName);
    EXPECT_EQ(gameFolderHoldsModuleAndMarker(std::string(c.folderLength, 'f'), c.gameName), c.fits);
  }
}

TEST(AddressLine, OnlyExactBlankClearsIt) {
  EXPECT_EQ(addressLineAction(""), AddressLineAction::Keep);
  EXPECT_EQ(addressLineAction("blank"), AddressLineAction::Clear);
  EXPECT_EQ(addressLineAction("Blank"), AddressLineAction::Replace);
  EXPECT_EQ(addressLineAction("blank "), AddressLineAction::Replace);
  EXPECT_EQ(addressLineAction("www.example.org"), AddressLineAction::Replace);
}

TEST(GameFolder, AddsTheLanguageLevelOnlyWithBothLanguageAndCountry) {
  EXPECT_EQ(composeGameFolder("D:\\Data\\Fyrel\\FyrelGamesPlayer\\", "acme", "puzzle", "en", "us"),
            "D:\\Data\\Fyrel\\FyrelGamesPlayer\\acme\\puzzle\\en-us\\");
  EXPECT_EQ(composeGameFolder("P\\", "acme", "puzzle", "en", ""), "P\\acme\\puzzle\\");
  EXPECT_EQ(composeGameFolder("P\\", "acme", "puzzle", "", "us"), "P\\acme\\puzzle\\");
  EXPECT_EQ(composeGameFolder("", "acme", "puzzle", "", ""), "acme\\puzzle\\");
}

TEST(Percent, IsZeroWhileTheTotalIsUnknown) {
  EXPECT_EQ(percentOf(0, 0), 0.0f);
  EXPECT_EQ(percentOf(123, 0), 0.0f);
  EXPECT_FLOAT_EQ(percentOf(45, 100), 45.0f);
  EXPECT_FLOAT_EQ(percentOf(0xFFFFFFFFu, 0xFFFFFFFFu), 100.0f);
  EXPECT_LT(percentOf(999, 1000), 100.0f);
}

TEST(PackageFileName, MayNotNameTheGameModuleOrTheMarker) {
  static const struct {
    const char* fileName;
    bool reserved;
  } cases[] = {
      {"puzzle.dll", true},
      {"PUZZLE.DLL", true},
      {"Puzzle.Dll. . ", true},  // Windows drops the trailing dots and blanks
      {"_version.bin", true},
      {"_VERSION.BIN", true},
      {"_version.bin.", true},
      // 8.3 forms that may be the short alias of one of them.
      {"PUZZLE~1.DLL", true},
      {"pu3f2a~1.dll", true},
      {"_VERSI~1.BIN", true},
      {"_VERS~12.BIN", true},
      {"_VERSI~12.BIN", false},  // base longer than 8: not an 8.3 name
      // Other names, close ones included.
      {"puzzle_12.cab", false},
      {"puzzle.dll.cab", false},
      {"puzzle.dl", false},
      {"other.dll", false},
      {"version.bin", false},
      {"PUZZLE~1.CAB", false},     // an alias, but not of a name the folder keeps
      {"PUZZLE~X.DLL", false},     // no digit after "~": no alias Windows makes
      {"PUZZLEGAM~1.DLL", false},  // base longer than 8: not an 8.3 name
  };
  for (const auto& c : cases)
    EXPECT_EQ(packageFileNameTakesReservedName(c.fileName, "puzzle"), c.reserved) << c.fileName;
}

// 0x81 to 0x9F and 0xE0 to 0xFC lead in code page 932.
bool leadsIn932(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

TEST(DoubleByteNames, EndingInALeadByteIsFoundFromTheStart) {
  static const struct {
    const char* value;
    bool endsInLead;
  } cases[] = {
      {"", false},
      {"game", false},
      {"g\x81", true},
      {"\x81\x81", false},  // one character: lead, then a trail byte that could lead
      {"\x81\x81\x81", true},
      {"\x82\xA0", false},
      {"a\x82\xA0\xE0", true},
  };
  for (const auto& c : cases) EXPECT_EQ(endsInLeadByte(c.value, leadsIn932), c.endsInLead) << c.value;
}

TEST(PinnedPackageHash, TakesExactly64HexDigitsOfEitherCase) {
  const std::string digits = "00112233445566778899aabbccddeeffFFEEDDCCBBAA99887766554433221100";
  PackageSha256 digest{};
  ASSERT_TRUE(parsePackageSha256(digits, digest));
  EXPECT_EQ(digest[0], 0x00);
  EXPECT_EQ(digest[5], 0x55);
  EXPECT_EQ(digest[15], 0xff);
  EXPECT_EQ(digest[16], 0xff);
  EXPECT_EQ(digest[31], 0x00);

  static const std::string refused[] = {
      "",
      digits.substr(1),             // 63 digits
      digits + "0",                 // 65
      " " + digits.substr(1),       // a blank where a digit stands
      digits.substr(0, 63) + "g",   // not hexadecimal
      digits.substr(0, 62) + "\n",  // a line end
      "0x" + digits.substr(2),      // a prefix
      digits.substr(0, 32) + std::string(1, '\0') + digits.substr(33),
  };
  for (const std::string& text : refused) {
    PackageSha256 untouched{};
    untouched.fill(0xAA);
    EXPECT_FALSE(parsePackageSha256(text, untouched)) << text;
    EXPECT_EQ(untouched[0], 0xAA);
  }
}

}  // namespace
}  // namespace fyrel
