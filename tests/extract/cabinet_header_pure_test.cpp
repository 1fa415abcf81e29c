#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "extract/cabinet_header.h"

namespace fyrel {
namespace {

using Bytes = std::vector<unsigned char>;

void put16(Bytes& bytes, std::size_t at, std::uint16_t value) {
  bytes[at] = static_cast<unsigned char>(value);
  bytes[at + 1] = static_cast<unsigned char>(value >> 8);
}

// A cabinet header with the given flags and members at offset 44.
Bytes header(std::uint16_t flags, std::uint16_t members) {
  Bytes bytes(kCabinetHeaderSize, 0);
  bytes[0] = 'M';
  bytes[1] = 'S';
  bytes[2] = 'C';
  bytes[3] = 'F';
  bytes[16] = 44;
  put16(bytes, 28, members);
  put16(bytes, 30, flags);
  return bytes;
}

// One member entry: 16 bytes with the folder index at 8, then the name.
Bytes entry(std::uint16_t folderIndex, const std::string& name) {
  Bytes bytes(16 + name.size() + 1, 0);
  put16(bytes, 8, folderIndex);
  for (std::size_t i = 0; i < name.size(); ++i) bytes[16 + i] = static_cast<unsigned char>(name[i]);
  return bytes;
}

TEST(CabinetHeader, ReadsWhereTheMembersAreHowManyAndTheFlags) {
  Bytes bytes = header(0x0004, 3);
  CabinetHeader parsed;
  ASSERT_TRUE(parseCabinetHeader(bytes.data(), bytes.size(), parsed));
  EXPECT_EQ(parsed.membersOffset, 44u);
  EXPECT_EQ(parsed.memberCount, 3u);
  EXPECT_EQ(parsed.flags, 0x0004u);

  EXPECT_FALSE(parseCabinetHeader(bytes.data(), kCabinetHeaderSize - 1, parsed));
  bytes[3] = 'X';
  EXPECT_FALSE(parseCabinetHeader(bytes.data(), bytes.size(), parsed));
  EXPECT_FALSE(parseCabinetHeader(nullptr, 0, parsed));
}

TEST(CabinetHeader, ACabinetThatNamesAPreviousOrNextPartIsPartOfASet) {
  static const struct {
    std::uint16_t flags;
    bool set;
  } cases[] = {
      {0x0000, false}, {0x0004, false},  // reserved fields only
      {0x0001, true},  {0x0002, true},  {0x0003, true}, {0x0006, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    CabinetHeader parsed;
    parsed.flags = c.flags;
    EXPECT_EQ(namesOtherCabinets(parsed), c.set);
  }
}

TEST(CabinetHeader, AMemberContinuedFromOrToAnotherCabinetIsRefused) {
  static const struct {
    const char* label;
    std::vector<std::uint16_t> folders;
    bool inside;
  } cases[] = {
      {"no members", {}, true},
      {"members of folders 0 and 1", {0, 1, 0}, true},
      {"the highest ordinary folder index", {0xFFFC}, true},
      {"continued from the previous cabinet", {0, 0xFFFD}, false},
      {"continued to the next cabinet", {0xFFFE, 0}, false},
      {"continued both ways", {0, 0xFFFF}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    CabinetHeader parsed;
    parsed.memberCount = static_cast<std::uint16_t>(c.folders.size());
    Bytes entries;
    for (std::uint16_t folder : c.folders) {
      for (unsigned char byte : entry(folder, "member_" + std::to_string(entries.size()) + ".dat"))
        entries.push_back(byte);
    }
    entries.push_back(0xAB);  // the data that follows is no concern
    EXPECT_EQ(membersStayInside(parsed, entries.data(), entries.size()), c.inside);
  }
}

TEST(CabinetHeader, EntriesCutShortAreRefused) {
  Bytes entries = entry(0, "a.dat");
  for (unsigned char byte : entry(0, "b.dat")) entries.push_back(byte);
  CabinetHeader parsed;
  parsed.memberCount = 2;
  ASSERT_TRUE(membersStayInside(parsed, entries.data(), entries.size()));
  // Every cut: inside the fixed part, inside the name, before the last NUL.
  for (std::size_t size = 0; size < entries.size(); ++size) {
    SCOPED_TRACE(size);
    EXPECT_FALSE(membersStayInside(parsed, entries.data(), size));
  }
  parsed.memberCount = 3;  // more members than the bytes hold
  EXPECT_FALSE(membersStayInside(parsed, entries.data(), entries.size()));
}

}  // namespace
}  // namespace fyrel
