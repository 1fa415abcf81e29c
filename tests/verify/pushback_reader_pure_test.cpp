// Marker search and trailer arithmetic on real stdio streams, and the same
// trailer rules over a window held in memory; plain standard C++, so it
// runs natively under the sanitizers as well as under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "verify/package_trailer.h"
#include "verify/pushback_reader.h"

namespace fyrel {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// A real file in the working folder holding bytes, opened for reading.
class StreamFile {
 public:
  explicit StreamFile(const std::string& bytes) {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::string("pushback_") + info->name() + ".bin";
    File out(std::fopen(path_.c_str(), "wb"));
    EXPECT_TRUE(out != nullptr);
    if (out) {
      EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), out.get()), bytes.size());
    }
    out.reset();
    file_.reset(std::fopen(path_.c_str(), "rb"));
    EXPECT_TRUE(file_ != nullptr);
  }
  ~StreamFile() {
    file_.reset();
    std::remove(path_.c_str());
  }
  std::FILE* get() const { return file_.get(); }

 private:
  std::string path_;
  File file_;
};

const std::string kMarker = kSignatureMarker;

TEST(PushbackReader, FindsTheNextOccurrenceFromTheStreamPosition) {
  static const struct {
    const char* label;
    std::string stream;
    long start;
    const char* text;
    int32_t first;
    int32_t second;  // a further search on the same reader
  } cases[] = {
      {"match at the window's very start", "abcdef", 0, "abc", 0, -1},
      {"match at a later window start", "abcdef", 3, "def", 3, -1},
      {"match ending at the stream's end", "xxxabc", 0, "abc", 3, -1},
      {"partial match cut off by the end", "xxxab", 0, "abc", -1, -1},
      {"stream positioned at its end", "abc", 3, "abc", -1, -1},
      {"empty stream", "", 0, "a", -1, -1},
      {"text longer than the stream", "ab", 0, "abc", -1, -1},
      {"overlapping candidates, repeated letter", "aaab", 0, "aab", 1, -1},
      {"overlapping candidates, repeated pair", "abababac", 0, "ababac", 2, -1},
      {"marker after a cut-off marker", "!fyrel" + kMarker, 0, kSignatureMarker, 6, -1},
      {"bytes 0x00 and 0xFF are ordinary bytes", std::string("a\0b\377ab", 6), 0, "ab", 4, -1},
      {"single-character text", "xyxy", 0, "y", 1, 3},
      // The second search starts one byte past the end of the first match.
      {"two markers around one byte", kMarker + "S" + kMarker, 0, kSignatureMarker, 0, 11},
      {"adjacent markers hide the second", kMarker + kMarker, 0, kSignatureMarker, 0, -1},
      {"adjacent markers and a third", kMarker + kMarker + "xyz" + kMarker, 0, kSignatureMarker, 0, 23},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    StreamFile file(c.stream);
    ASSERT_EQ(std::fseek(file.get(), c.start, SEEK_SET), 0);
    PushbackReader reader;
    EXPECT_EQ(reader.findString(file.get(), c.text), c.first);
    if (c.first >= 0) {
      EXPECT_EQ(reader.findString(file.get(), c.text), c.second);
    }
  }
}

TEST(PackageTrailer, LocatesTheSignatureBetweenTheMarkersWithinTheWindow) {
  const std::string content(200, 'C');
  const std::string signature = "0123456789";
  const std::string beforeWindow(kTrailerWindow, 'T');
  static const struct {
    const char* label;
    std::string file;
    bool found;
    int32_t contentLength;
    std::string signature;
  } cases[] = {
      {"trailer without tail", content + kMarker + signature + kMarker, true, 200, signature},
      {"tail with further markers", content + kMarker + signature + kMarker + kMarker + "t" + kMarker, true, 200,
       signature},
      {"one-byte signature", content + kMarker + "S" + kMarker, true, 200, "S"},
      {"adjacent markers and a third take the second marker as signature",
       content + kMarker + kMarker + "xyz" + kMarker, true, 200, kMarker + "xyz"},
      {"trailer in the file's last bytes", std::string(kTrailerWindow, 'C') + kMarker + signature + kMarker, true,
       kTrailerWindow, signature},
      {"second marker cut short by the end", content + kMarker + signature + "!fyrelsig", false, 0, ""},
      {"first marker exactly at the window's start",
       content + kMarker + signature + kMarker + std::string(kTrailerWindow - 30, 'T'), true, 200, signature},
      {"first marker one byte before the window",
       content + kMarker + signature + kMarker + std::string(kTrailerWindow - 29, 'T'), false, 0, ""},
      {"marker early in a long file is not searched", kMarker + beforeWindow + kMarker + "S" + kMarker, true,
       kTrailerWindow + 10, "S"},
      {"adjacent markers alone", content + kMarker + kMarker, false, 0, ""},
      {"one marker", content + signature + kMarker, false, 0, ""},
      {"no marker", content, false, 0, ""},
      {"empty file", "", false, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    StreamFile file(c.file);
    PackageTrailer trailer;
    ASSERT_EQ(readPackageTrailer(file.get(), trailer), c.found);
    // The same rules over the window held in memory, as the download
    // leaves it.
    const std::size_t held = std::min<std::size_t>(c.file.size(), kTrailerWindow);
    const auto* window = reinterpret_cast<const unsigned char*>(c.file.data()) + (c.file.size() - held);
    PackageTrailer inMemory;
    ASSERT_EQ(findPackageTrailer(window, held, c.file.size() - held, inMemory), c.found);
    if (!c.found) continue;
    for (const PackageTrailer* found : {&trailer, &inMemory}) {
      EXPECT_EQ(found->contentLength, c.contentLength);
      EXPECT_EQ(std::string(found->signature.begin(), found->signature.end()), c.signature);
    }
  }
}

}  // namespace
}  // namespace fyrel
