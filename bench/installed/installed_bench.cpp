// What this account's check adds to the start of an installed game: the
// install record read from the registry, then every runnable file of the
// game folder held and hashed (10 MB of them here, in a DLL and a helper,
// beside data files that are only looked at; the load then takes the game
// DLL as held). Prints the median of a few runs; the goal is under 50 ms.
//   fyrel_bench_installed [scratch folder]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "common/sha256.h"
#include "extract/installed_members.h"
#include "storage/install_record.h"

namespace {

bool writeFileOf(const std::string& path, std::size_t size, unsigned seed, bool image) {
  std::string bytes(size, '\0');
  unsigned state = seed;
  for (char& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<char>(state >> 24);
  }
  if (image && size >= 2) bytes[0] = 'M', bytes[1] = 'Z';
  fyrel::UniqueFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file && ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(size), &written, nullptr) && written == size;
}

double millisecondsSince(const LARGE_INTEGER& begin) {
  LARGE_INTEGER now;
  LARGE_INTEGER frequency;
  ::QueryPerformanceCounter(&now);
  ::QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(now.QuadPart - begin.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  char temp[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, temp);
  const std::string folder = (argc > 1 ? std::string(argv[1]) + "\\" : std::string(temp)) + "fyrel_bench_installed\\";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  ::CreateDirectoryA((folder + "data").c_str(), nullptr);
  struct Member {
    const char* name;
    std::size_t size;
    bool runnable;
  } members[] = {
      {"game.dll", 8u << 20, true},          {"helper.dll", 2u << 20, true}, {"data\\level1.dat", 4u << 20, false},
      {"data\\level2.dat", 4u << 20, false}, {"_version.bin", 8, false},
  };
  fyrel::InstallRecord record;
  record.packageName = "game.pkg";
  std::size_t runnableBytes = 0;
  unsigned seed = 1;
  for (const Member& member : members) {
    const std::string path = folder + member.name;
    if (!writeFileOf(path, member.size, seed++, member.runnable)) {
      std::fprintf(stderr, "could not write %s\n", path.c_str());
      return 1;
    }
    if (!member.runnable) continue;
    fyrel::FileDigest digest{member.name, {}};
    fyrel::UniqueFile file(
        ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file || !fyrel::sha256OfFile(file.get(), digest.digest)) return 1;
    record.members.push_back(digest);
    runnableBytes += member.size;
  }
  if (!fyrel::writeInstallRecord(folder, record)) {
    std::fprintf(stderr, "could not write the install record\n");
    return 1;
  }

  std::vector<double> runs;
  for (int run = 0; run < 5; ++run) {
    LARGE_INTEGER begin;
    ::QueryPerformanceCounter(&begin);
    fyrel::InstallRecord read;
    std::vector<fyrel::UniqueFile> holds;
    const bool match =
        fyrel::readInstallRecord(folder, read) && fyrel::installedMembersMatch(folder, read.members, holds);
    runs.push_back(millisecondsSince(begin));
    if (!match) {
      std::fprintf(stderr, "the installed members did not match\n");
      return 1;
    }
  }
  fyrel::deleteInstallRecord(folder);

  // The hashing alone, in memory, through each engine: what the processor's
  // SHA instructions save against the platform's provider.
  const std::string bytes(runnableBytes, 'x');
  for (const auto engine : {fyrel::Sha256::Engine::fastest, fyrel::Sha256::Engine::platform}) {
    double best = 0;
    bool hashed = true;
    for (int run = 0; run < 3; ++run) {
      LARGE_INTEGER begin;
      ::QueryPerformanceCounter(&begin);
      fyrel::Sha256 hash(engine);
      hash.update(bytes.data(), bytes.size());
      fyrel::Sha256Digest digest;
      hashed = hash.finish(digest) && hashed;
      const double took = millisecondsSince(begin);
      if (run == 0 || took < best) best = took;
    }
    std::printf("  SHA-256 of %.1f MB in memory, %s: %.1f ms best of 3%s\n",
                static_cast<double>(bytes.size()) / (1 << 20),
                engine == fyrel::Sha256::Engine::platform ? "CryptoAPI"
                : fyrel::processorHasSha256Extensions()   ? "processor's SHA instructions"
                                                          : "CryptoAPI (no SHA instructions here)",
                best, hashed ? "" : " (failed)");
  }
  std::sort(runs.begin(), runs.end());
  std::printf(
      "installed start check: %.1f MB of runnable members in %zu files (+%.1f MB of data): %.1f ms median, "
      "%.1f ms best (goal: under 50 ms)\n",
      static_cast<double>(runnableBytes) / (1 << 20), record.members.size(), 8.0, runs[runs.size() / 2], runs.front());
  return 0;
}
