#include "support/test_paths.h"

#include <windows.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "support/unix_link.h"

namespace fyrel::test {

std::string binDir() {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path);
  return s.substr(0, s.find_last_of('\\') + 1);
}

std::string fixtureDir() {
  std::string bin = binDir();  // the fixtures folder stands beside bin
  std::string build = bin.substr(0, bin.find_last_of('\\', bin.size() - 2) + 1);
  return build + "fixtures\\";
}

void removeTree(const std::string& path) {
  std::string base = path;
  if (!base.empty() && base.back() == '\\') base.pop_back();
  const DWORD attributes = ::GetFileAttributesA(base.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    // A link is removed, never followed: what it points to is not ours.
    // Wine removes a Unix link only from the Unix side.
    if (!removeUnixLink(base)) ::RemoveDirectoryA(base.c_str());
    return;
  }
  WIN32_FIND_DATAA data;
  HANDLE find = ::FindFirstFileA((base + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = base + "\\" + name;
      ::SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        removeTree(child);
      else
        ::DeleteFileA(child.c_str());
    } while (::FindNextFileA(find, &data));
    ::FindClose(find);
  }
  ::RemoveDirectoryA(base.c_str());
}

std::string scratchDir(const std::string& name) {
  char full[MAX_PATH] = {};
  ::GetFullPathNameA((binDir() + "..\\scratch\\").c_str(), MAX_PATH, full, nullptr);
  std::string root = full;
  ::CreateDirectoryA(root.c_str(), nullptr);
  std::string dir = root + name + "\\";
  removeTree(dir);
  ::CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

bool fileExists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string entriesOf(const std::string& folder) {
  std::string names;
  WIN32_FIND_DATAA data;
  HANDLE find = ::FindFirstFileA((folder + "*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = data.cFileName;
    if (name != "." && name != "..") names += name + ";";
  } while (::FindNextFileA(find, &data));
  ::FindClose(find);
  return names;
}

}  // namespace fyrel::test
