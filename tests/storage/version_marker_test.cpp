// The version marker on real files.
#include "storage/version_marker.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "support/test_paths.h"

namespace fyrel {
namespace {

TEST(VersionMarker, MatchesOnlyTheExactPackageFileName) {
  const std::string name255(255, 'n');
  const std::string name256(256, 'n');
  static const struct {
    const char* label;
    bool present;
    std::string content;
    std::string cabFileName;
    bool matches;
  } cases[] = {
      {"exact name", true, "puzzle_12.cab", "puzzle_12.cab", true},
      {"trailing line feed", true, "puzzle_12.cab\n", "puzzle_12.cab", false},
      {"trailing CR LF", true, "puzzle_12.cab\r\n", "puzzle_12.cab", false},
      {"different letter case", true, "Puzzle_12.cab", "puzzle_12.cab", false},
      {"older package", true, "puzzle_11.cab", "puzzle_12.cab", false},
      {"name is a prefix of the marker", true, "puzzle_12.cab.old", "puzzle_12.cab", false},
      {"marker is a prefix of the name", true, "puzzle_12", "puzzle_12.cab", false},
      {"255 bytes", true, name255, name255, true},
      {"256 bytes never match", true, name256, name256, false},
      {"line feed inside the name", true, "a\nb.cab", "a\nb.cab", false},
      {"empty marker, empty name", true, "", "", false},
      {"empty marker", true, "", "puzzle_12.cab", false},
      {"no marker", false, "", "puzzle_12.cab", false},
  };
  const std::string folder = test::scratchDir("version_marker_match");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ::DeleteFileA((folder + "_version.bin").c_str());
    if (c.present) test::writeFile(folder + "_version.bin", c.content);
    EXPECT_EQ(versionMarkerMatches(folder, c.cabFileName), c.matches);
  }
}

TEST(VersionMarker, WriteReplacesTheWholeContentWithTheNameBytes) {
  const std::string folder = test::scratchDir("version_marker_write");
  ASSERT_TRUE(writeVersionMarker(folder, "a_much_longer_package_name_v100.cab"));
  ASSERT_TRUE(writeVersionMarker(folder, "short.cab"));
  EXPECT_EQ(test::readFile(folder + "_version.bin"), "short.cab");
  EXPECT_TRUE(versionMarkerMatches(folder, "short.cab"));

  // Develop mode writes an empty name: an empty file, which never matches.
  ASSERT_TRUE(writeVersionMarker(folder, ""));
  EXPECT_TRUE(test::fileExists(folder + "_version.bin"));
  EXPECT_EQ(test::readFile(folder + "_version.bin"), "");
  EXPECT_FALSE(versionMarkerMatches(folder, ""));
}

TEST(VersionMarker, DeleteRemovesTheMarkerOnce) {
  const std::string folder = test::scratchDir("version_marker_delete");
  ASSERT_TRUE(writeVersionMarker(folder, "puzzle_12.cab"));
  EXPECT_TRUE(deleteVersionMarker(folder));
  EXPECT_FALSE(test::fileExists(folder + "_version.bin"));
  EXPECT_FALSE(versionMarkerMatches(folder, "puzzle_12.cab"));
  EXPECT_FALSE(deleteVersionMarker(folder));
}

TEST(VersionMarker, MissingFolderWritesNothingAndFails) {
  const std::string folder = test::scratchDir("version_marker_missing") + "absent\\";
  EXPECT_FALSE(writeVersionMarker(folder, "puzzle_12.cab"));
  EXPECT_FALSE(test::fileExists(folder));
  EXPECT_FALSE(deleteVersionMarker(folder));
}

}  // namespace
}  // namespace fyrel
