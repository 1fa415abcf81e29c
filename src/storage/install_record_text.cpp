#include "storage/install_record_text.h"

namespace fyrel {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

std::string hex(const Sha256Digest& digest) {
  std::string text;
  for (unsigned char byte : digest) {
    text += kHexDigits[byte >> 4];
    text += kHexDigits[byte & 0x0F];
  }
  return text;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;  // upper case is not what the writer makes
}

bool parseHex(const std::string& text, Sha256Digest& digest) {
  if (text.size() != digest.size() * 2) return false;
  for (std::size_t i = 0; i < digest.size(); ++i) {
    const int high = hexValue(text[2 * i]);
    const int low = hexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    digest[i] = static_cast<unsigned char>(high * 16 + low);
  }
  return true;
}

// Splits off the word before the first blank; false when there is no blank.
bool splitWord(const std::string& line, std::string& word, std::string& rest) {
  const std::size_t blank = line.find(' ');
  if (blank == std::string::npos) return false;
  word = line.substr(0, blank);
  rest = line.substr(blank + 1);
  return true;
}

}  // namespace

std::string formatInstallRecord(const InstallRecord& record) {
  std::string text = "package " + record.packageName + "\n";
  text += "sha256 " + hex(record.packageDigest) + "\n";
  for (const FileDigest& member : record.members) text += "member " + hex(member.digest) + " " + member.name + "\n";
  return text;
}

bool parseInstallRecord(const std::string& text, InstallRecord& record) {
  record = InstallRecord();
  if (text.empty() || text.back() != '\n') return false;
  std::size_t lineNumber = 0;
  for (std::size_t start = 0; start < text.size(); ++lineNumber) {
    const std::size_t end = text.find('\n', start);
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    std::string word;
    std::string rest;
    if (!splitWord(line, word, rest)) return false;
    if (lineNumber == 0) {
      if (word != "package" || rest.empty()) return false;
      record.packageName = rest;
    } else if (lineNumber == 1) {
      if (word != "sha256" || !parseHex(rest, record.packageDigest)) return false;
    } else {
      FileDigest member;
      std::string digest;
      if (word != "member" || !splitWord(rest, digest, member.name) || member.name.empty() ||
          !parseHex(digest, member.digest))
        return false;
      record.members.push_back(std::move(member));
    }
  }
  return lineNumber >= 2;
}

}  // namespace fyrel
