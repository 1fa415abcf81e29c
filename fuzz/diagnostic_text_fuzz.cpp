// The lines that explain a failure carry text from outside: the package
// address the host gave and what a server or a cabinet said.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/diagnostic_text.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fyrel::fuzz::FuzzInput input(data, size);
  const std::string url = input.field();
  const std::string text = input.field();
  const std::uint32_t code = input.value<std::uint32_t>();

  // Nothing after a "?" or "#" and no user information ever shows; an
  // address without either shows as given.
  const std::string shown = fyrel::addressForLog(url);
  if (shown.find_first_of("?#") != std::string::npos) std::abort();
  if (url.find_first_of("?#@") == std::string::npos && shown != url) std::abort();
  const std::size_t scheme = shown.find("://");
  if (scheme != std::string::npos) {
    const std::size_t authority = scheme + 3;
    if (shown.substr(authority, shown.find('/', authority) - authority).find('@') != std::string::npos) std::abort();
  }

  // One bounded line, whatever it carries.
  const std::string line = fyrel::diagnosticLine(text + fyrel::errorName(code) + fyrel::certificateProblems(code));
  if (line.size() > fyrel::kMaxDiagnosticLine || line.back() != '\n') std::abort();
  if (line.find('\n') != line.size() - 1 || line.find('\r') != std::string::npos) std::abort();
  return 0;
}
