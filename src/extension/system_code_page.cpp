#include "extension/system_code_page.h"

#include <windows.h>

#include "extension/startup_parameters_logic.h"

namespace fyrel {
namespace {

bool isLeadByteOfSystemCodePage(unsigned char byte) { return ::IsDBCSLeadByteEx(::GetACP(), byte) != FALSE; }

}  // namespace

bool isWholeInSystemCodePage(const std::string& value) {
  if (value.empty()) return true;
  if (endsInLeadByte(value, isLeadByteOfSystemCodePage)) return false;
  // A lead byte followed by a byte that cannot trail it, and any other
  // sequence the code page leaves undefined.
  return ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, value.data(), static_cast<int>(value.size()), nullptr,
                               0) != 0;
}

}  // namespace fyrel
