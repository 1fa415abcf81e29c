// The extraction worker on the platform's real cabinet.dll: cabinets made by
// gcab and by a small byte-level builder (make_fixtures.py), extracted into
// real folders.
#include <windows.h>
#include <gtest/gtest.h>
#include <process.h>
// Toolhelp builds on the Windows types.
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/proc_address.h"
#include "common/unique_handle.h"
#include "extract/cab_extractor.h"
#include "support/process_stats.h"
#include "support/test_paths.h"

namespace fyrel {
namespace {

using test::fileExists;
using test::readFile;
using test::scratchDir;
using test::writeFile;

std::string fixture(const std::string& name) { return test::fixtureDir() + "extract\\" + name; }

// The controller's way of waiting: 10 ms polls of the running flag.
void waitForEnd(const CabExtractor& extractor) {
  for (int i = 0; i < 12000 && extractor.isRunning(); ++i) ::Sleep(10);
  ASSERT_FALSE(extractor.isRunning());
}

bool extract(CabExtractor& extractor, const std::string& cabinet, const std::string& target) {
  if (!extractor.start(cabinet, target)) return false;
  waitForEnd(extractor);
  return extractor.succeeded();
}

// Every file below `folder`, as paths relative to it, sorted.
void collectFiles(const std::string& folder, const std::string& prefix, std::vector<std::string>& out) {
  WIN32_FIND_DATAA data;
  UniqueFind find(::FindFirstFileA((folder + prefix + "*").c_str(), &data));
  if (!find) return;
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      collectFiles(folder, prefix + name + "\\", out);
    } else {
      out.push_back(prefix + name);
    }
  } while (::FindNextFileA(find.get(), &data));
}
std::vector<std::string> filesBelow(const std::string& folder) {
  std::vector<std::string> files;
  collectFiles(folder, "", files);
  std::sort(files.begin(), files.end());
  return files;
}

bool isFolder(const std::string& path) {
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string& folder) {
    ::GetCurrentDirectoryA(MAX_PATH, saved_);
    ::SetCurrentDirectoryA(folder.c_str());
  }
  ~CurrentFolder() { ::SetCurrentDirectoryA(saved_); }

 private:
  char saved_[MAX_PATH] = {};
};

// Members of nested.cab and nested_zip.cab, in the order gcab stored them.
const char* const kNestedMembers[] = {"readme.txt", "data\\levels\\1.dat", "data\\levels\\2.dat",
                                      "data\\sounds\\boom.wav", "top.bin"};

std::uint32_t nestedMemberBytes() {
  std::uint32_t sum = 0;
  for (const char* name : kNestedMembers) sum += readFile(fixture("nested\\") + name).size();
  return sum;
}

// Sizes of big.cab's members f000.bin ... f119.bin, in stored order.
std::vector<std::uint32_t> bigMemberSizes() {
  std::vector<std::uint32_t> sizes;
  for (int i = 0; i < 120; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "f%03d.bin", i);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA((fixture("big\\") + name).c_str(), GetFileExInfoStandard, &data)) break;
    sizes.push_back(data.nFileSizeLow);
  }
  return sizes;
}
const char kLastBigMember[] = "f119.bin";

TEST(CabExtractor, ExtractsGcabCabinetWithNestedFoldersByteForByte) {
  static const struct { const char* cabinet; } cases[] = {{"nested.cab"}, {"nested_zip.cab"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cabinet);
    std::string target = scratchDir("extract_nested");
    CabExtractor extractor;
    ASSERT_TRUE(extract(extractor, fixture(c.cabinet), target));
    EXPECT_TRUE(isFolder(target + "data\\levels"));
    EXPECT_TRUE(isFolder(target + "data\\sounds"));
    std::vector<std::string> expected(std::begin(kNestedMembers), std::end(kNestedMembers));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(filesBelow(target), expected);
    for (const char* name : kNestedMembers) {
      EXPECT_TRUE(readFile(target + name) == readFile(fixture("nested\\") + name)) << name;
    }
    EXPECT_EQ(extractor.totalBytes(), nestedMemberBytes());
    EXPECT_EQ(extractor.extractedBytes(), nestedMemberBytes());
  }
}

TEST(CabExtractor, SumsGrowByWholeFilesOnlyAsSeenFromAPollingThread) {
  std::vector<std::uint32_t> sizes = bigMemberSizes();
  ASSERT_EQ(sizes.size(), 120u);
  std::set<std::uint32_t> wholeFileSums{0};
  std::uint32_t sum = 0;
  for (std::uint32_t size : sizes) wholeFileSums.insert(sum += size);

  std::string target = scratchDir("extract_progress");
  CabExtractor extractor;
  ASSERT_TRUE(extractor.start(fixture("big.cab"), target));
  std::set<std::uint32_t> seenTotals;
  std::set<std::uint32_t> seenExtracted;
  std::thread poller([&] {
    while (extractor.isRunning()) {
      seenTotals.insert(extractor.totalBytes());
      seenExtracted.insert(extractor.extractedBytes());
      std::this_thread::yield();
    }
  });
  poller.join();
  ASSERT_TRUE(extractor.succeeded());
  EXPECT_EQ(extractor.totalBytes(), sum);
  EXPECT_EQ(extractor.extractedBytes(), sum);
  for (std::uint32_t value : seenTotals) EXPECT_EQ(wholeFileSums.count(value), 1u) << "total " << value;
  for (std::uint32_t value : seenExtracted) EXPECT_EQ(wholeFileSums.count(value), 1u) << "extracted " << value;
  // The poller did watch the extraction pass at work.
  EXPECT_TRUE(
      std::any_of(seenExtracted.begin(), seenExtracted.end(), [&](std::uint32_t v) { return v > 0 && v < sum; }));
}

FILETIME utcFromLocal(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
  SYSTEMTIME local = {};
  local.wYear = year;
  local.wMonth = month;
  local.wDay = day;
  local.wHour = hour;
  local.wMinute = minute;
  local.wSecond = second;
  FILETIME localTime = {};
  FILETIME utc = {};
  ::SystemTimeToFileTime(&local, &localTime);
  ::LocalFileTimeToFileTime(&localTime, &utc);
  return utc;
}

TEST(CabExtractor, StoredDosDateAndTimeBecomeUtcCreationAndLastWriteTime) {
  static const struct {
    const char* name;
    WORD year, month, day, hour, minute, second;
  } cases[] = {
      {"stamped.txt", 2009, 7, 15, 13, 45, 30},
      {"old.txt", 1980, 1, 1, 0, 0, 0},
      {"ro_exec.txt", 2001, 2, 3, 4, 5, 6},
  };
  std::string target = scratchDir("extract_dates");
  CabExtractor extractor;
  ASSERT_TRUE(extract(extractor, fixture("attributes.cab"), target));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FILETIME expected = utcFromLocal(c.year, c.month, c.day, c.hour, c.minute, c.second);
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(::GetFileAttributesExA((target + c.name).c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(::CompareFileTime(&data.ftLastWriteTime, &expected), 0);
    EXPECT_EQ(::CompareFileTime(&data.ftCreationTime, &expected), 0);
  }
}

// Stored attributes, as they must read back after extraction.
const struct {
  const char* name;
  DWORD attributes;
} kStoredAttributes[] = {
    {"stamped.txt", 0x20},   {"ro_exec.txt", 0x21},  // 0x61: the executable bit is dropped
    {"readonly.txt", 0x01},  {"hidden.txt", 0x22},
    {"system.txt", 0x24},    {"utf_flag.txt", 0x20},  // 0xA0: the name-encoding bit is dropped
    {"every_bit.txt", 0x27},
};

// Compared with a file given the expected attributes directly, because a
// file system may show them its own way (Wine shows every file as archive).
void expectStoredAttributes(const std::string& target) {
  const std::string reference = target.substr(0, target.size() - 1) + "_reference.txt";
  for (const auto& c : kStoredAttributes) {
    ::SetFileAttributesA(reference.c_str(), FILE_ATTRIBUTE_NORMAL);
    writeFile(reference, "reference");
    ::SetFileAttributesA(reference.c_str(), c.attributes);
    EXPECT_EQ(::GetFileAttributesA((target + c.name).c_str()), ::GetFileAttributesA(reference.c_str())) << c.name;
  }
  ::SetFileAttributesA(reference.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileA(reference.c_str());
}

TEST(CabExtractor, AppliesStoredAttributesMaskedWith0x27) {
  std::string target = scratchDir("extract_attributes");
  CabExtractor extractor;
  ASSERT_TRUE(extract(extractor, fixture("attributes.cab"), target));
  expectStoredAttributes(target);
}

TEST(CabExtractor, OverwritesAndTruncatesReadOnlyFilesAtTheOutputPaths) {
  std::string target = scratchDir("extract_overwrite");
  // Left by someone else: longer than the member, read-only, hidden, system.
  writeFile(target + "stamped.txt", std::string(5000, 'x'));
  ::SetFileAttributesA((target + "stamped.txt").c_str(),
                       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  CabExtractor extractor;
  ASSERT_TRUE(extract(extractor, fixture("attributes.cab"), target));
  EXPECT_EQ(readFile(target + "stamped.txt"), "stamped\r\n");
  // Left by an earlier extraction of the same package, read-only ones too.
  ASSERT_TRUE(extract(extractor, fixture("attributes.cab"), target));
  EXPECT_EQ(readFile(target + "stamped.txt"), "stamped\r\n");
  EXPECT_EQ(readFile(target + "ro_exec.txt"), "read-only and executable");
  expectStoredAttributes(target);
}

TEST(CabExtractor, ArchiveOfEmptyFilesSucceedsWithZeroSums) {
  std::string target = scratchDir("extract_empty");
  CabExtractor extractor;
  ASSERT_TRUE(extract(extractor, fixture("empty.cab"), target));
  EXPECT_EQ(extractor.totalBytes(), 0u);
  EXPECT_EQ(extractor.extractedBytes(), 0u);
  EXPECT_EQ(filesBelow(target), (std::vector<std::string>{"a.txt", "sub\\b.txt", "sub\\deeper\\c.txt"}));
  for (const std::string& name : filesBelow(target)) EXPECT_EQ(readFile(target + name).size(), 0u) << name;
}

TEST(CabExtractor, ResolvesCabinetAndTargetPathsAgainstTheCurrentFolder) {
  std::string root = scratchDir("extract_paths");
  static const struct {
    const char* label;
    bool cabinetByNameOnly;    // cabinet path without a backslash
    const char* targetFolder;  // below root; null: empty target folder
    bool targetIsCurrentFolder;
  } cases[] = {
      {"cabinet from the current folder", true, "by_name\\", false},
      {"target folder without trailing backslash", false, "no_slash", false},
      {"empty target folder", false, nullptr, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::string landing = root + c.label + "\\";
    ::CreateDirectoryA(landing.c_str(), nullptr);
    std::string target = c.targetFolder == nullptr ? std::string() : landing + c.targetFolder;
    CurrentFolder current(c.cabinetByNameOnly ? fixture("") : landing);
    CabExtractor extractor;
    ASSERT_TRUE(extract(extractor, c.cabinetByNameOnly ? "nested.cab" : fixture("nested.cab"), target));
    std::string folder = c.targetFolder == nullptr ? landing : landing + c.targetFolder;
    if (folder.back() != '\\') folder += '\\';
    EXPECT_EQ(readFile(folder + "data\\levels\\1.dat"), readFile(fixture("nested\\data\\levels\\1.dat")));
    EXPECT_EQ(filesBelow(landing).size(), std::size(kNestedMembers));  // nothing beside the folder
  }
}

TEST(CabExtractor, DamagedOrMissingCabinetEndsWithoutSuccessAndKeepsExistingFiles) {
  static const struct {
    const char* cabinet;
    bool headersUnreadable;  // the counting pass fails: not a byte is written
  } cases[] = {
      {"missing.cab", true},
      {"truncated_header.cab", true},
      {"truncated_data.cab", false},
      {"flipped.cab", false},  // MSZIP data block altered; its checksum no longer matches
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cabinet);
    std::string target = scratchDir("extract_damaged");
    writeFile(target + "keep.txt", "kept");
    CabExtractor extractor;
    EXPECT_FALSE(extract(extractor, fixture(c.cabinet), target));
    EXPECT_EQ(readFile(target + "keep.txt"), "kept");
    if (c.headersUnreadable) {
      EXPECT_EQ(filesBelow(target), std::vector<std::string>{"keep.txt"});
      EXPECT_EQ(extractor.extractedBytes(), 0u);
    }
  }
}

TEST(CabExtractor, RefusesPackagesWithMembersThatLeaveTheTargetFolder) {
  // Each traversal_N.cab holds ok.txt and then one of these names. The
  // rooted and drive names escape only when the target folder is empty.
  static const char* const names[] = {
      "..\\..\\escape_up.dll",    "\\escape_root.dll",      "C:\\escape_drive.dll", "data\\..\\..\\..\\escape_mid.dll",
      "stream.txt:escape_stream", "../../escape_slash.dll",
  };
  for (std::size_t i = 0; i < std::size(names); ++i) {
    for (bool emptyTarget : {false, true}) {
      SCOPED_TRACE(std::string(names[i]) + (emptyTarget ? ", empty target folder" : ""));
      std::string base = scratchDir("extract_traversal");
      std::string game = base + "a\\b\\game\\";
      ::CreateDirectoryA((base + "a").c_str(), nullptr);
      ::CreateDirectoryA((base + "a\\b").c_str(), nullptr);
      ::CreateDirectoryA(game.c_str(), nullptr);
      CurrentFolder current(game);
      CabExtractor extractor;
      EXPECT_FALSE(extract(extractor, fixture("traversal_" + std::to_string(i) + ".cab"), emptyTarget ? "" : game));
      EXPECT_EQ(filesBelow(base), std::vector<std::string>{});  // not even ok.txt
      EXPECT_FALSE(fileExists("\\escape_root.dll"));
      EXPECT_FALSE(fileExists("C:\\escape_drive.dll"));
      EXPECT_FALSE(isFolder(game + "data"));
    }
  }
}

TEST(CabExtractor, RefusesDeviceNamesAndNamesTheFolderKeepsBeforeWritingAnything) {
  // Each cabinet holds ok.txt and then the refused member. Opening a device
  // would write into it (NUL) or block on it; the version marker or the
  // package itself would be overwritten by the package.
  static const struct {
    const char* cabinet;
    const char* member;
  } cases[] = {
      {"device_0.cab", "nul"},           {"device_1.cab", "CON.txt"}, {"device_2.cab", "data\\aux"},
      {"device_3.cab", "sub\\com1.log"}, {"device_4.cab", "LPT9"},    {"device_5.cab", "nul .dat"},
      {"reserved.cab", "_VERSION.bin"},  {"self.cab", "SELF.CAB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.member);
    const std::string target = scratchDir("extract_refused");
    // The package lies in the folder it is extracted into, as the loader's
    // does.
    const std::string cabinet = target + (std::string(c.cabinet) == "self.cab" ? "self.cab" : "package.cab");
    ASSERT_TRUE(::CopyFileA(fixture(c.cabinet).c_str(), cabinet.c_str(), FALSE));
    const std::string package = readFile(cabinet);
    CabExtractor extractor;
    ASSERT_TRUE(extractor.start(cabinet, target, UniqueFile(), {"_version.bin"}));
    for (int i = 0; i < 2000 && extractor.isRunning(); ++i) ::Sleep(10);
    ASSERT_FALSE(extractor.isRunning()) << "a device opened for writing blocks the worker";
    EXPECT_FALSE(extractor.succeeded());
    EXPECT_EQ(filesBelow(target), std::vector<std::string>{cabinet.substr(target.size())});  // not even ok.txt
    EXPECT_TRUE(readFile(cabinet) == package);
  }
}

TEST(CabExtractor, ExtractsMemberNamesWithForwardSlashesIntoTheirFolders) {
  const std::string target = scratchDir("extract_slashes");
  CabExtractor extractor;
  ASSERT_TRUE(extract(extractor, fixture("slashes.cab"), target));
  EXPECT_EQ(filesBelow(target), (std::vector<std::string>{"data\\2.dat", "data\\levels\\1.dat", "top.txt"}));
  EXPECT_EQ(readFile(target + "data\\levels\\1.dat"), "level one");
}

TEST(CabExtractor, SplitCabinetWhoseNextPartIsMissingFails) {
  const std::string target = scratchDir("extract_split");
  CabExtractor extractor;
  ASSERT_TRUE(extractor.start(fixture("split_first.cab"), target));
  for (int i = 0; i < 2000 && extractor.isRunning(); ++i) ::Sleep(10);
  const bool ended = !extractor.isRunning();
  extractor.stop();  // ends a worker that still asks for the next part
  EXPECT_TRUE(ended) << "the worker kept asking for the missing part";
  EXPECT_FALSE(extractor.succeeded());
}

TEST(CabExtractor, RefusesEveryPartOfACabinetSetBeforeWritingAnything) {
  // Only one cabinet is ever verified. The parts of the whole set lie side
  // by side, as a part planted beside a package would; the other cabinets
  // name parts or hold members that go on elsewhere, and were once
  // extracted without the members that go on (success reported).
  static const struct {
    const char* cabinet;
    const char* what;
  } cases[] = {
      {"set_first.cab", "names its next part, which lies beside it; its last member goes on there"},
      {"set_second.cab", "names its previous part, which lies beside it; its member comes from there"},
      {"names_next.cab", "names a next part; every member whole"},
      {"names_previous.cab", "names a previous part; every member whole"},
      {"continued_from.cab", "names no part; a member continued from a previous cabinet"},
      {"continued_to.cab", "names no part; a member continued to the next cabinet"},
      {"continued_both.cab", "names no part; a member continued both ways"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.cabinet) + ": " + c.what);
    const std::string target = scratchDir("extract_set");
    CabExtractor extractor;
    ASSERT_TRUE(extractor.start(fixture(c.cabinet), target));
    for (int i = 0; i < 2000 && extractor.isRunning(); ++i) ::Sleep(10);
    const bool ended = !extractor.isRunning();
    extractor.stop();
    EXPECT_TRUE(ended);
    EXPECT_FALSE(extractor.succeeded());
    EXPECT_EQ(filesBelow(target), std::vector<std::string>{});
  }
}

TEST(CabExtractor, ReadsTheCabinetThroughTheHandedHandleAndClosesItAtTheEnd) {
  const std::string target = scratchDir("extract_handle");
  const std::string cabinet = target + "package.cab";
  ASSERT_TRUE(::CopyFileA(fixture("nested_zip.cab").c_str(), cabinet.c_str(), FALSE));
  // Shared with nobody: opening the path again would fail, so what FDI
  // reads can only come through this handle.
  UniqueFile handle(::CreateFileA(cabinet.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(handle);
  ASSERT_FALSE(UniqueFile(::CreateFileA(cabinet.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr)));
  CabExtractor extractor;
  ASSERT_TRUE(extractor.start(cabinet, target, std::move(handle)));
  waitForEnd(extractor);
  EXPECT_TRUE(extractor.succeeded());
  for (const char* name : kNestedMembers) {
    EXPECT_TRUE(readFile(target + name) == readFile(fixture("nested\\") + name)) << name;
  }
  EXPECT_TRUE(::DeleteFileA(cabinet.c_str())) << "the run left the cabinet open";
}

// Narrowest seam: the worker thread is made suspended, so the stop is
// certain to come before the worker's first step; no real API lets a test
// hold a freshly started thread otherwise.
UniqueKernelHandle heldWorker;
HANDLE beginSuspended(unsigned(__stdcall* entry)(void*), void* argument) {
  auto thread = reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, entry, argument, CREATE_SUSPENDED, nullptr));
  ::DuplicateHandle(::GetCurrentProcess(), thread, ::GetCurrentProcess(), heldWorker.put(), 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
  return thread;  // the extractor owns this one
}

TEST(CabExtractor, StopBeforeTheWorkerBeginsRunsNeitherPass) {
  std::string target = scratchDir("extract_stop_early");
  CabExtractor extractor;
  detail::BeginThreadFn original = detail::beginExtractionThread;
  detail::beginExtractionThread = beginSuspended;
  bool started = extractor.start(fixture("nested.cab"), target);
  detail::beginExtractionThread = original;
  ASSERT_TRUE(started);
  ASSERT_TRUE(heldWorker);
  EXPECT_TRUE(extractor.isRunning());

  std::thread stopper([&] { extractor.stop(); });
  while (!extractor.stopRequested()) ::Sleep(10);
  ::ResumeThread(heldWorker.get());
  stopper.join();
  heldWorker.reset();

  EXPECT_FALSE(extractor.isRunning());
  EXPECT_FALSE(extractor.succeeded());
  EXPECT_EQ(extractor.totalBytes(), 0u);
  EXPECT_EQ(extractor.extractedBytes(), 0u);
  EXPECT_EQ(filesBelow(target), std::vector<std::string>{});
}

void waitForExtractionPass(const CabExtractor& extractor) {
  while (extractor.isRunning() && extractor.extractedBytes() == 0) std::this_thread::yield();
}

TEST(CabExtractor, StopDuringTheExtractionPassEndsWithoutSuccess) {
  std::string target = scratchDir("extract_stop_midway");
  CabExtractor extractor;
  ASSERT_TRUE(extractor.start(fixture("big.cab"), target));
  waitForExtractionPass(extractor);
  extractor.stop();
  EXPECT_FALSE(extractor.isRunning());
  EXPECT_FALSE(extractor.succeeded());
  EXPECT_GT(extractor.extractedBytes(), 0u);
  EXPECT_LT(extractor.extractedBytes(), extractor.totalBytes());
  EXPECT_FALSE(fileExists(target + kLastBigMember));
}

TEST(CabExtractor, StartWhileARunIsGoingStopsThatRunFirst) {
  std::string first = scratchDir("extract_restart_first");
  std::string second = scratchDir("extract_restart_second");
  CabExtractor extractor;
  ASSERT_TRUE(extractor.start(fixture("big.cab"), first));
  waitForExtractionPass(extractor);
  ASSERT_TRUE(extractor.start(fixture("nested_zip.cab"), second));
  EXPECT_FALSE(extractor.stopRequested());
  waitForEnd(extractor);
  EXPECT_TRUE(extractor.succeeded());
  EXPECT_EQ(extractor.totalBytes(), nestedMemberBytes());
  EXPECT_EQ(extractor.extractedBytes(), nestedMemberBytes());
  EXPECT_EQ(filesBelow(second).size(), std::size(kNestedMembers));
  EXPECT_FALSE(fileExists(first + kLastBigMember));
}

std::size_t threadsOfThisProcess() { return static_cast<std::size_t>(test::threadCount()); }

DWORD handlesOfThisProcess() { return static_cast<DWORD>(test::handleCount()); }

TEST(CabExtractor, StartStopCyclesLeaveNoThreadNoHandleAndUnloadCabinetDll) {
  std::string target = scratchDir("extract_cycles");
  {
    CabExtractor warmUp;  // first use of the runtime's and the loader's lazy parts
    ASSERT_TRUE(extract(warmUp, fixture("nested_zip.cab"), target));
  }
  const bool cabinetLoadedElsewhere = ::GetModuleHandleA("cabinet.dll") != nullptr;
  const std::size_t threadsBefore = threadsOfThisProcess();
  const DWORD handlesBefore = handlesOfThisProcess();
  ASSERT_GT(threadsBefore, 0u);
  ASSERT_GT(handlesBefore, 0u);

  for (int cycle = 0; cycle < 24; ++cycle) {
    CabExtractor extractor;
    ASSERT_TRUE(extractor.start(fixture(cycle % 2 == 0 ? "big.cab" : "nested_zip.cab"), target));
    switch (cycle % 4) {
      case 0:  // stop at once
        extractor.stop();
        break;
      case 1:  // run to the end, then failing runs, then destroy
        waitForEnd(extractor);
        EXPECT_TRUE(extractor.succeeded());
        for (const char* damaged : {"missing.cab", "truncated_data.cab", "flipped.cab"}) {
          ASSERT_TRUE(extractor.start(fixture(damaged), target));
          waitForEnd(extractor);
          EXPECT_FALSE(extractor.succeeded()) << damaged;
        }
        break;
      case 2:  // stop in the middle of the extraction pass
        waitForExtractionPass(extractor);
        extractor.stop();
        break;
      case 3:  // destroy while running
        break;
    }
  }

  EXPECT_EQ(threadsOfThisProcess(), threadsBefore);
  EXPECT_EQ(handlesOfThisProcess(), handlesBefore);
  if (!cabinetLoadedElsewhere) {
    EXPECT_EQ(::GetModuleHandleA("cabinet.dll"), nullptr);
  }
}

}  // namespace
}  // namespace fyrel
