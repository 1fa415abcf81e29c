// Runs a fuzz target once on every file of the folders (or files) named on
// the command line, for builds without libFuzzer: the committed corpus and
// every crash kept from earlier runs replay in the ordinary test run.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
    return false;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // A copy of exactly the input's size, so reading one byte past it is an
  // AddressSanitizer report, as under libFuzzer.
  // libFuzzer never passes a null pointer, not even for an empty input.
  std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
  const std::uint8_t none = 0;
  LLVMFuzzerTestOneInput(input.empty() ? &none : input.data(), input.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 0;
  bool ok = true;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    if (!path.empty() && path.string()[0] == '-') continue;  // libFuzzer flags such as -runs=0
    if (std::filesystem::is_directory(path)) {
      std::vector<std::filesystem::path> files;
      for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
      for (const auto& file : files) ok = replay(file) && ok, ++runs;
    } else if (std::filesystem::exists(path)) {
      ok = replay(path) && ok;
      ++runs;
    }
  }
  std::printf("replayed %d inputs\n", runs);
  return ok ? 0 : 1;
}
