// Time of one download through HttpDownloader against bare WinHTTP loops
// that send the same request: each reads what the query says has arrived,
// in pieces of at most 1 KiB or 64 KiB, and writes it to a file; the 64 KiB
// loop also runs with the package's two hashes (MD5 through CryptoAPI,
// SHA-256) taken on the bytes, as the downloader does, and with no file at
// all. The rows split a download's cost into the platform's reads, the
// writes and the hashing.
//   fyrel_bench_download <url> <output folder> [rounds]
// Prints "<way> <seconds>" (best of the rounds, taken in turn), the bare
// ways' CPU time as "cpu_<way> <ms>" (the least of the rounds) and
// "bytes <n>"; run.sh adds curl and the ratios.
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "common/unique_winhttp.h"
#include "cpu_time.h"
#include "download/http_downloader.h"
#include "download/url_parts.h"
#include "verify/package_hashes.h"

namespace {

using fyrel::bench::processCpuMs;

double now() {
  LARGE_INTEGER f, c;
  ::QueryPerformanceFrequency(&f);
  ::QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

bool ours(const std::string& url, const std::string& path, double& seconds, std::uint32_t& bytes) {
  fyrel::HttpDownloader d;
  const double t0 = now();
  d.start(url, path);
  while (d.running()) ::Sleep(10);
  seconds = now() - t0;
  bytes = d.receivedBytes();
  return d.succeeded();
}

struct Way {
  const char* name;
  DWORD piece;
  bool write;
  bool hash;
};

constexpr Way kWays[] = {
    {"bare64", 64 * 1024, true, false},
    {"bare1", 1024, true, false},
    {"hashed64", 64 * 1024, true, true},
    {"nofile64", 64 * 1024, false, false},
};

std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

bool bare(const Way& way, const std::string& url, const std::string& path, double& seconds, std::uint32_t& bytes) {
  fyrel::UrlParts parts;
  if (!fyrel::splitUrl(url, parts)) return false;
  const double t0 = now();
  fyrel::UniqueFile file;
  if (way.write) {
    file.reset(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
  }
  fyrel::PackageHashes hashes;
  fyrel::UniqueWinHttp session(::WinHttpOpen(L"Mozilla/4.0 (compatible; fyrel)", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                             WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  fyrel::UniqueWinHttp connect(::WinHttpConnect(session.get(), widen(parts.host).c_str(), 80, 0));
  fyrel::UniqueWinHttp request(::WinHttpOpenRequest(connect.get(), L"GET", widen(parts.path).c_str(), L"HTTP/1.1",
                                                    WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
  bool ok = request &&
            ::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
            ::WinHttpReceiveResponse(request.get(), nullptr);
  bytes = 0;
  std::vector<char> buffer(way.piece);
  for (;;) {
    DWORD available = 0;
    DWORD n = 0;
    if (!ok || !(ok = ::WinHttpQueryDataAvailable(request.get(), &available))) break;
    const DWORD want = available == 0 || available > way.piece ? way.piece : available;
    if (!(ok = ::WinHttpReadData(request.get(), buffer.data(), want, &n)) || n == 0) break;
    bytes += n;
    if (way.hash) hashes.add(buffer.data(), n);
    DWORD written = 0;
    if (way.write) ok = ::WriteFile(file.get(), buffer.data(), n, &written, nullptr) && written == n;
  }
  file.reset();
  seconds = now() - t0;
  return ok && !hashes.failed();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <url> <output folder> [rounds]\n", argv[0]);
    return 2;
  }
  const std::string url = argv[1];
  const std::string folder = argv[2];
  const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  constexpr std::size_t kWayCount = sizeof kWays / sizeof kWays[0];
  double bestOurs = 1e9;
  double bestOursCpu = 1e9;
  double best[kWayCount];
  double bestCpu[kWayCount];
  std::fill(best, best + kWayCount, 1e9);
  std::fill(bestCpu, bestCpu + kWayCount, 1e9);
  std::uint32_t bytes = 0;
  for (int i = 0; i < rounds; ++i) {
    double s;
    std::uint32_t n;
    const double oursCpuBefore = processCpuMs();
    if (!ours(url, folder + "\\ours.bin", s, n)) {
      std::fprintf(stderr, "our download failed\n");
      return 1;
    }
    bestOurs = std::min(bestOurs, s);
    bestOursCpu = std::min(bestOursCpu, processCpuMs() - oursCpuBefore);
    bytes = n;
    std::printf("round %d ours %.3f", i + 1, s);
    for (std::size_t w = 0; w < kWayCount; ++w) {
      double t;
      const double cpuBefore = processCpuMs();
      if (!bare(kWays[w], url, folder + "\\" + kWays[w].name + ".bin", t, n) || n != bytes) {
        std::fprintf(stderr, "\n%s download failed\n", kWays[w].name);
        return 1;
      }
      best[w] = std::min(best[w], t);
      bestCpu[w] = std::min(bestCpu[w], processCpuMs() - cpuBefore);
      std::printf(" %s %.3f", kWays[w].name, t);
    }
    std::printf("\n");
  }
  std::printf("bytes %u\nours %.3f\ncpu_ours %.0f\n", bytes, bestOurs, bestOursCpu);
  for (std::size_t w = 0; w < kWayCount; ++w) {
    std::printf("%s %.3f\n", kWays[w].name, best[w]);
    std::printf("cpu_%s %.0f\n", kWays[w].name, bestCpu[w]);
  }
  return 0;
}
