// The version marker is a file in a folder that everyone may write to.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_input.h"
#include "storage/version_marker_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fyrel::fuzz::FuzzInput input(data, size);
  const std::string cabFileName = input.field();
  const std::string bytes = input.rest();
  fyrel::fuzz::MemoryStream stream(bytes);
  if (stream.get() == nullptr) return 0;

  const std::string line = fyrel::readVersionMarkerLine(stream.get());
  // The line is the file's first bytes: up to and with the first line feed,
  // never more than the reader's limit.
  if (line.size() > fyrel::kVersionMarkerMaxRead) std::abort();
  if (bytes.compare(0, line.size(), line) != 0) std::abort();
  const std::size_t feed = line.find('\n');
  if (feed != std::string::npos && feed + 1 != line.size()) std::abort();
  if (feed == std::string::npos && line.size() < fyrel::kVersionMarkerMaxRead && line.size() != bytes.size()) {
    std::abort();
  }

  const bool matches = fyrel::versionMarkerContentMatches(line, cabFileName);
  if (matches != (!line.empty() && line == cabFileName)) std::abort();
  return 0;
}
