// Time of one download through HttpDownloader against a bare WinINet loop
// that sends the same request and reads in the same 1024-byte pieces, each
// after the same query for available data; and against the same loop with
// plain reads (no query), which under Wine makes a socket receive per read.
//   fyrel_bench_download <url> <output folder> [rounds]
// Prints "ours <seconds>", "bare <seconds>" and "plain <seconds>" (best of
// the rounds, taken in turn) and "bytes <n>"; run.sh adds curl and the ratios.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/unique_handle.h"
#include "common/unique_internet.h"
#include "download/http_downloader.h"
#include "download/url_parts.h"

namespace {

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
  while (d.running()) ::Sleep(1);
  seconds = now() - t0;
  bytes = d.receivedBytes();
  return d.succeeded();
}

bool bare(const std::string& url, const std::string& path, bool askFirst, double& seconds, std::uint32_t& bytes) {
  fyrel::UrlParts parts;
  if (!fyrel::splitUrl(url, parts)) return false;
  const double t0 = now();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  std::setvbuf(file, nullptr, _IOFBF, 64 * 1024);  // as the worker's file
  fyrel::UniqueInternet internet(
      ::InternetOpenA("Mozilla/4.0 (compatible; fyrel)", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  fyrel::UniqueInternet connect(
      ::InternetConnectA(internet.get(), parts.host.c_str(), 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  fyrel::UniqueInternet request(
      ::HttpOpenRequestA(connect.get(), "GET", parts.path.c_str(), "HTTP/1.1", nullptr, nullptr,
                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE, 0));
  bool ok = request && ::HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0);
  bytes = 0;
  char buffer[1024];
  DWORD n = 0;
  DWORD available = 0;
  while (ok && (!askFirst || (ok = ::InternetQueryDataAvailable(request.get(), &available, 0, 0))) &&
         (ok = ::InternetReadFile(request.get(), buffer, sizeof buffer, &n)) && n != 0) {
    bytes += n;
    ok = std::fwrite(buffer, 1, n, file) == n;
  }
  ok = (std::fclose(file) == 0) && ok;
  seconds = now() - t0;
  return ok;
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
  double bestOurs = 1e9, bestBare = 1e9, bestPlain = 1e9;
  std::uint32_t bytes = 0;
  for (int i = 0; i < rounds; ++i) {
    double s, t, p;
    std::uint32_t n;
    if (!ours(url, folder + "\\ours.bin", s, n)) {
      std::fprintf(stderr, "our download failed\n");
      return 1;
    }
    bestOurs = std::min(bestOurs, s);
    bytes = n;
    if (!bare(url, folder + "\\bare.bin", true, t, n) || n != bytes) {
      std::fprintf(stderr, "bare download failed\n");
      return 1;
    }
    bestBare = std::min(bestBare, t);
    if (!bare(url, folder + "\\plain.bin", false, p, n) || n != bytes) {
      std::fprintf(stderr, "plain download failed\n");
      return 1;
    }
    bestPlain = std::min(bestPlain, p);
    std::printf("round %d ours %.3f bare %.3f plain %.3f\n", i + 1, s, t, p);
  }
  std::printf("bytes %u\nours %.3f\nbare %.3f\nplain %.3f\n", bytes, bestOurs, bestBare, bestPlain);
  return 0;
}
