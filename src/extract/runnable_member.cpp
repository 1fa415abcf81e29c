#include "extract/runnable_member.h"

namespace fyrel {
namespace {

bool endsWithIgnoringAsciiCase(const std::string& text, const char* suffix, std::size_t suffixSize) noexcept {
  if (text.size() < suffixSize) return false;
  const std::size_t start = text.size() - suffixSize;
  for (std::size_t i = 0; i < suffixSize; ++i) {
    char c = text[start + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

}  // namespace

bool isRunnableMember(const std::string& name, const unsigned char* head, std::size_t headSize) noexcept {
  // Names are taken as Windows takes them: trailing dots and blanks go.
  std::string trimmed = name;
  while (!trimmed.empty() && (trimmed.back() == '.' || trimmed.back() == ' ')) trimmed.pop_back();
  if (endsWithIgnoringAsciiCase(trimmed, ".dll", 4) || endsWithIgnoringAsciiCase(trimmed, ".exe", 4)) return true;
  return headSize >= 2 && head[0] == 'M' && head[1] == 'Z';
}

}  // namespace fyrel
