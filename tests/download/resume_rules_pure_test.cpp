// Which answers continue a partial package, how long a retry waits, and
// what a resume record must look like to be believed.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "download/range_answer.h"
#include "download/resume_record.h"
#include "download/retry_pacing.h"

namespace fyrel {
namespace {

TEST(RangeAnswer, ContentRangeReadsOnlyASatisfiedRangeWithAKnownTotal) {
  static const struct {
    const char* text;
    bool ok;
    std::uint64_t first, last, total;
  } cases[] = {
      {"bytes 100-199/200", true, 100, 199, 200},
      {"BYTES 0-0/1", true, 0, 0, 1},
      {" bytes  5-9/10 ", true, 5, 9, 10},
      {"bytes 4294967296-4294967297/4294967298", true, 4294967296ull, 4294967297ull, 4294967298ull},
      {"bytes */200", false, 0, 0, 0},
      {"bytes 100-199/*", false, 0, 0, 0},
      {"bytes 5-3/9", false, 0, 0, 0},
      {"bytes 0-200/200", false, 0, 0, 0},
      {"bytes=100-199/200", false, 0, 0, 0},
      {"bytes -1-199/200", false, 0, 0, 0},
      {"bytes 1 00-199/200", false, 0, 0, 0},
      {"items 100-199/200", false, 0, 0, 0},
      {"bytes 100-199/200x", false, 0, 0, 0},
      {"bytes 99999999999999999999-1/2", false, 0, 0, 0},
      {"", false, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ContentRange range;
    range.first = 77;
    ASSERT_EQ(parseContentRange(c.text, range), c.ok);
    if (c.ok) {
      EXPECT_EQ(range.first, c.first);
      EXPECT_EQ(range.last, c.last);
      EXPECT_EQ(range.total, c.total);
    } else {
      EXPECT_EQ(range.first, 77u);  // left alone
    }
  }
}

TEST(RangeAnswer, OnlyTheRestOfTheSamePackageContinuesTheFile) {
  static const struct {
    std::uint64_t first, last, total;
    std::uint32_t onDisk, expectedTotal;
    bool continues;
  } cases[] = {
      {100, 199, 200, 100, 200, true},  {101, 199, 200, 100, 200, false},  // starts past the bytes on disk
      {99, 199, 200, 100, 200, false},  {100, 198, 200, 100, 200, false},  // stops short of the end
      {100, 299, 300, 100, 200, false},                                    // another total: another package
      {0, 199, 200, 0, 200, false},                                        // nothing on disk to continue
  };
  for (const auto& c : cases) {
    ContentRange range{c.first, c.last, c.total};
    EXPECT_EQ(rangeContinues(range, c.onDisk, c.expectedTotal), c.continues)
        << c.first << "-" << c.last << "/" << c.total;
  }
  EXPECT_EQ(rangeFrom(12345), "bytes=12345-");
}

TEST(RangeAnswer, ValidatorIsAStrongEtagElseTheDateElseNone) {
  static const struct {
    bool hasEtag;
    const char* etag;
    bool hasDate;
    const char* date;
    const char* validator;
  } cases[] = {
      {true, "\"v1\"", true, "Tue, 01 Dec 2026 10:00:00 GMT", "\"v1\""},
      {true, "W/\"v1\"", true, "Tue, 01 Dec 2026 10:00:00 GMT", "Tue, 01 Dec 2026 10:00:00 GMT"},
      {true, "W/\"v1\"", false, "", ""},
      {true, "v1", false, "", ""},  // unquoted: no entity tag at all
      {false, "", true, "Tue, 01 Dec 2026 10:00:00 GMT", "Tue, 01 Dec 2026 10:00:00 GMT"},
      {false, "", false, "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(resumeValidator(c.hasEtag, c.etag, c.hasDate, c.date), c.validator) << c.etag << " " << c.date;
  }
}

TEST(RangeAnswer, AcceptRangesOffersBytesOnlyByName) {
  EXPECT_TRUE(offersByteRanges("bytes"));
  EXPECT_TRUE(offersByteRanges("Bytes"));
  EXPECT_TRUE(offersByteRanges("pages, bytes "));
  EXPECT_FALSE(offersByteRanges("none"));
  EXPECT_FALSE(offersByteRanges(""));
  EXPECT_FALSE(offersByteRanges("bytesx"));
}

TEST(RangeAnswer, AddressesCompareAndFormatBackToThemselves) {
  for (const char* url : {"http://example.test/a/b.pkg?x=1", "https://Mirror.test:8443/p", "http://[::1]:8080/p",
                          "https://example.test/p"}) {
    SCOPED_TRACE(url);
    UrlParts parts, again;
    ASSERT_TRUE(splitUrl(url, parts));
    ASSERT_TRUE(splitUrl(formatUrl(parts), again));
    EXPECT_TRUE(sameTarget(parts, again));
  }
  UrlParts a, b;
  ASSERT_TRUE(splitUrl("http://Host.test/p", a));
  ASSERT_TRUE(splitUrl("http://host.test/p", b));
  EXPECT_TRUE(sameTarget(a, b));
  for (const char* other : {"https://host.test/p", "http://host.test:81/p", "http://host.test/P", "http://h2.test/p"}) {
    ASSERT_TRUE(splitUrl(other, b));
    EXPECT_FALSE(sameTarget(a, b)) << other;
  }
}

TEST(RetryPacing, TransientAnswersAreTheSixThatSayNotNow) {
  for (std::uint32_t status : {408u, 429u, 500u, 502u, 503u, 504u}) EXPECT_TRUE(isTransientStatus(status)) << status;
  for (std::uint32_t status : {0u, 200u, 206u, 301u, 400u, 401u, 403u, 404u, 410u, 416u, 501u, 505u})
    EXPECT_FALSE(isTransientStatus(status)) << status;
}

TEST(RetryPacing, RetryAfterIsDeltaSecondsCappedAtThirtySeconds) {
  static const struct {
    const char* text;
    bool ok;
    std::uint32_t ms;
  } cases[] = {
      {"0", true, 0},        {"3", true, 3000},
      {" 12 ", true, 12000}, {"30", true, 30000},
      {"31", true, 30000},   {"99999999999999999999", true, 30000},
      {"", false, 0},        {"-1", false, 0},
      {"1.5", false, 0},     {"Fri, 11 Dec 2026 08:00:00 GMT", false, 0},
  };
  for (const auto& c : cases) {
    std::uint32_t ms = 4242;
    ASSERT_EQ(parseRetryAfter(c.text, ms), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(ms, c.ms) << c.text;
    }
  }
}

TEST(RetryPacing, PausesDoubleAndAreCapped) {
  EXPECT_EQ(transientPauseMs(0, false, 0), 1000u);
  EXPECT_EQ(transientPauseMs(1, false, 0), 2000u);
  EXPECT_EQ(transientPauseMs(2, false, 0), 4000u);
  EXPECT_EQ(transientPauseMs(0, true, 3000), 3000u);
  EXPECT_EQ(transientPauseMs(2, true, 0), 0u);  // the server may ask for none
  EXPECT_EQ(transientPauseMs(0, true, 90000), 30000u);

  int slow = 0;
  const std::uint32_t expected[] = {500, 1000, 2000, 4000, 8000, 8000, 8000};
  for (std::uint32_t pause : expected) EXPECT_EQ(restartPauseMs(1000, slow), pause);
  EXPECT_EQ(restartPauseMs(1024 * 1024, slow), 0u);  // a good attempt: at once, and the doubling starts over
  EXPECT_EQ(restartPauseMs(1024 * 1024 - 1, slow), 500u);
  for (int i = 0; i < 1000; ++i) restartPauseMs(1, slow);
  EXPECT_EQ(restartPauseMs(1, slow), 8000u);
}

ResumeRecord sampleRecord() {
  ResumeRecord record;
  record.address = "http://cdn.test/games/game.pkg";
  EXPECT_TRUE(splitUrl("https://mirror.test:8443/g/game.pkg?k=1", record.point.source));
  record.point.validator = "\"abc-123\"";
  record.point.total = 66649814;
  return record;
}

TEST(ResumeRecord, ReadsBackWhatWasWritten) {
  const ResumeRecord record = sampleRecord();
  const std::string text = formatResumeRecord(record);
  EXPECT_EQ(text,
            "fyrel resume record 1\naddress http://cdn.test/games/game.pkg\n"
            "source https://mirror.test:8443/g/game.pkg?k=1\nvalidator \"abc-123\"\ntotal 66649814\n");
  ResumeRecord read;
  ASSERT_TRUE(parseResumeRecord(text, read));
  EXPECT_EQ(read.address, record.address);
  EXPECT_TRUE(sameTarget(read.point.source, record.point.source));
  EXPECT_EQ(read.point.validator, record.point.validator);
  EXPECT_EQ(read.point.total, record.point.total);
  EXPECT_TRUE(read.point.rangesAccepted);
  EXPECT_EQ(read.point.onDisk, 0u);
  EXPECT_EQ(resumeRecordPath("C:\\g\\game.pkg"), "C:\\g\\game.pkg.resume");
}

TEST(ResumeRecord, WritesNothingItCouldNotReadBack) {
  ResumeRecord record = sampleRecord();
  record.point.validator = "\"a\"\r\nRange: bytes=0-";  // would smuggle a header into the request
  EXPECT_EQ(formatResumeRecord(record), "");
  record = sampleRecord();
  record.point.total = 0;
  EXPECT_EQ(formatResumeRecord(record), "");
  record = sampleRecord();
  record.address = std::string(5000, 'a');
  EXPECT_EQ(formatResumeRecord(record), "");
}

TEST(ResumeRecord, RefusesAnythingItDidNotWrite) {
  const std::string good = formatResumeRecord(sampleRecord());
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  static const char* const kFirst = "fyrel resume record 1\n";
  const std::string cases[] = {
      "",
      "garbage",
      good.substr(0, good.size() - 1),  // last line feed missing
      good + "x",                       // bytes after the last line
      good + "total 1\n",               // a line repeated
      replaced("fyrel resume record 1", "fyrel resume record 2"),
      replaced("total 66649814", "total 0"),
      replaced("total 66649814", "total 066649814"),
      replaced("total 66649814", "total 2147483648"),  // beyond the package limit
      replaced("total 66649814", "total -1"),
      replaced("total 66649814", "total 12345678901"),
      replaced("validator \"abc-123\"", "validator "),
      replaced("validator \"abc-123\"", "validator \"a\rb\""),
      replaced("address http://", "address ftp:/"),
      replaced("source https://mirror.test:8443", "source https://mirror.test:0"),
      replaced("address ", "adress "),
      std::string(kFirst) + good,  // first line doubled
      good + std::string(5000, '\n'),
  };
  for (const std::string& text : cases) {
    SCOPED_TRACE(text.substr(0, 200));
    ResumeRecord record;
    record.address = "untouched";
    EXPECT_FALSE(parseResumeRecord(text, record));
    EXPECT_EQ(record.address, "untouched");
  }
}

}  // namespace
}  // namespace fyrel
