// Names compared and folded as the file system compares them: the
// platform's Unicode upper-casing of the wide name, not ASCII alone, so
// "Éditions" and "éditions" (one folder on NTFS) are one name here too.
#pragma once

#include <cstddef>
#include <string>

namespace fyrel {

// A text of the system code page as the wide name the file functions use
// for it (what the "A" functions do with their arguments).
std::wstring widenAnsi(const std::string& text);

// The name in upper case as the file system folds it for comparison (the
// operating system's upper-case table, the invariant locale's): the same
// for every spelling the file system takes as one name.
std::wstring fileSystemUpperCase(const std::wstring& name);
std::wstring fileSystemUpperCase(const std::string& ansiName);

// Whether the file system takes the two names as one: equal but for letter
// case.
bool sameFileSystemName(const std::wstring& a, const std::wstring& b) noexcept;

// Two names in the system code page, compared as above (a SameNameFn for
// the pure name checks). Allocates nothing; names longer than a path can
// be are never the same.
bool sameAnsiFileName(const char* a, std::size_t aLength, const char* b, std::size_t bLength) noexcept;

}  // namespace fyrel
