// Which members of a package can run: those Windows would load or start
// (a DLL or program by its name) and any file that is a program image
// whatever its name, which a game could still load.
#pragma once

#include <cstddef>
#include <string>

namespace fyrel {

// name is the member's path as the cabinet stores it; head holds its first
// bytes (headSize of them, 0 for an empty member).
bool isRunnableMember(const std::string& name, const unsigned char* head, std::size_t headSize) noexcept;

}  // namespace fyrel
