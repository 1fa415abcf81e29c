// This account's install record is read back from the registry: a value
// any program running as this account may have changed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "storage/install_record_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  fyrel::InstallRecord record;
  if (!fyrel::parseInstallRecord(text, record)) return 0;
  // Whatever parses is exactly what the writer would have made of it.
  if (fyrel::formatInstallRecord(record) != text) std::abort();
  return 0;
}
