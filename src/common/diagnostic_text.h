// The texts of the lines that tell a host team why an install failed: an
// address without its secrets, a platform error by its symbolic name, the
// certificate problems a TLS failure names, and the bound on one line.
// Pure logic: no Windows header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fyrel {

// Every line starts with this, in the debug channel and in the log.
constexpr char kDiagnosticPrefix[] = "FyrelExtension: ";
// The longest line, prefix and line end included.
constexpr std::size_t kMaxDiagnosticLine = 512;

// The address as a line may show it: no user information (a password may
// stand there), no query string and no fragment (tokens travel there).
std::string addressForLog(const std::string& url);

// "ERROR_WINHTTP_CANNOT_CONNECT (12029)"; a code without a known name as
// "error 1234".
std::string errorName(std::uint32_t code);

// The names of the flags a TLS failure carries (WinHTTP's certificate
// problem flags), joined by "|"; unknown bits as one hexadecimal number;
// "none" for 0.
std::string certificateProblems(std::uint32_t flags);

// Bytes as lower-case hexadecimal digits, two a byte (a digest).
std::string hexText(const unsigned char* bytes, std::size_t count);

// prefix + text + "\n", cut to kMaxDiagnosticLine bytes. Control bytes
// become "?", so text from a server (a reason phrase, a member name) can
// never start a second line that looks like ours.
std::string diagnosticLine(const std::string& text);

}  // namespace fyrel
