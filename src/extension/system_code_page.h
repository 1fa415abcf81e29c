// Names read in the system's ANSI code page, as the file calls will read them.
#pragma once

#include <string>

namespace fyrel {

// False when the value holds a byte sequence the code page does not define,
// or ends in a lead byte of a double-byte code page (932, 936, 949, 950):
// such a last character swallows the "\" composed after it, and the folder
// level or file name it stood for disappears into the next one.
bool isWholeInSystemCodePage(const std::string& value);

}  // namespace fyrel
