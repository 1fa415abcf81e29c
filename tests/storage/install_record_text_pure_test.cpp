#include <gtest/gtest.h>

#include "storage/install_record_text.h"

namespace fyrel {
namespace {

Sha256Digest digestOf(unsigned char first) {
  Sha256Digest digest{};
  for (std::size_t i = 0; i < digest.size(); ++i) digest[i] = static_cast<unsigned char>(first + i);
  return digest;
}

TEST(InstallRecordText, ReadsBackWhatItWrites) {
  InstallRecord record{
      "game v2.pkg", digestOf(0xF0), {{"testgame.dll", digestOf(1)}, {"bin\\my helper.exe", digestOf(7)}}};
  const std::string text = formatInstallRecord(record);
  EXPECT_EQ(text.substr(0, text.find('\n', text.find('\n') + 1) + 1),
            "package game v2.pkg\n"
            "sha256 f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff000102030405060708090a0b0c0d0e0f\n");
  InstallRecord read;
  ASSERT_TRUE(parseInstallRecord(text, read));
  EXPECT_EQ(read.packageName, record.packageName);
  EXPECT_EQ(read.packageDigest, record.packageDigest);
  ASSERT_EQ(read.members.size(), 2u);
  EXPECT_EQ(read.members[1].name, "bin\\my helper.exe");
  EXPECT_EQ(read.members[1].digest, digestOf(7));

  InstallRecord noMembers{"p.cab", digestOf(3), {}};
  ASSERT_TRUE(parseInstallRecord(formatInstallRecord(noMembers), read));
  EXPECT_TRUE(read.members.empty());
}

TEST(InstallRecordText, RefusesAnythingItWouldNotHaveWritten) {
  const std::string hex(64, 'a');
  static const std::string cases[] = {
      "",
      "package p.cab\n",                                       // no package digest
      "package p.cab\nsha256 " + std::string(64, 'a'),         // no line end
      "package p.cab\nsha256 " + std::string(63, 'a') + "\n",  // short digest
      "package p.cab\nsha256 " + std::string(64, 'A') + "\n",  // upper case
      "package p.cab\nsha256 " + std::string(62, 'a') + "zz\n",
      "package \nsha256 " + std::string(64, 'a') + "\n",  // no name
      "sha256 " + std::string(64, 'a') + "\npackage p.cab\n",
      "package p.cab\nsha256 " + std::string(64, 'a') + "\nmember " + std::string(64, 'a') + "\n",
      "package p.cab\nsha256 " + std::string(64, 'a') + "\nmember " + std::string(64, 'a') + " \n",
      "package p.cab\nsha256 " + std::string(64, 'a') + "\nfile " + std::string(64, 'a') + " x.dll\n",
      "package p.cab\nsha256 " + std::string(64, 'a') + "\n\n",
  };
  for (const std::string& text : cases) {
    SCOPED_TRACE(text);
    InstallRecord record;
    EXPECT_FALSE(parseInstallRecord(text, record));
  }
}

}  // namespace
}  // namespace fyrel
