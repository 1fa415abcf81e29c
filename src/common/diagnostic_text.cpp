#include "common/diagnostic_text.h"

#include <algorithm>
#include <cstdio>

namespace fyrel {
namespace {

struct NamedCode {
  std::uint32_t code;
  const char* name;
};

// The errors a download, a folder or an extraction meets in practice. The
// WinHTTP ones are the 12000 range of winhttp.h.
constexpr NamedCode kErrorNames[] = {
    {2, "ERROR_FILE_NOT_FOUND"},
    {3, "ERROR_PATH_NOT_FOUND"},
    {5, "ERROR_ACCESS_DENIED"},
    {8, "ERROR_NOT_ENOUGH_MEMORY"},
    {14, "ERROR_OUTOFMEMORY"},
    {32, "ERROR_SHARING_VIOLATION"},
    {33, "ERROR_LOCK_VIOLATION"},
    {39, "ERROR_HANDLE_DISK_FULL"},
    {80, "ERROR_FILE_EXISTS"},
    {87, "ERROR_INVALID_PARAMETER"},
    {112, "ERROR_DISK_FULL"},
    {123, "ERROR_INVALID_NAME"},
    {183, "ERROR_ALREADY_EXISTS"},
    {206, "ERROR_FILENAME_EXCED_RANGE"},
    {1920, "ERROR_CANT_ACCESS_FILE"},
    {4390, "ERROR_NOT_A_REPARSE_POINT"},
    // A connection's own failure, as the socket reports it.
    {10053, "WSAECONNABORTED"},
    {10054, "WSAECONNRESET"},
    {10060, "WSAETIMEDOUT"},
    {10061, "WSAECONNREFUSED"},
    {10065, "WSAEHOSTUNREACH"},
    {11001, "WSAHOST_NOT_FOUND"},
    {12001, "ERROR_WINHTTP_OUT_OF_HANDLES"},
    {12002, "ERROR_WINHTTP_TIMEOUT"},
    {12004, "ERROR_WINHTTP_INTERNAL_ERROR"},
    {12005, "ERROR_WINHTTP_INVALID_URL"},
    {12006, "ERROR_WINHTTP_UNRECOGNIZED_SCHEME"},
    {12007, "ERROR_WINHTTP_NAME_NOT_RESOLVED"},
    {12009, "ERROR_WINHTTP_INVALID_OPTION"},
    {12011, "ERROR_WINHTTP_OPTION_NOT_SETTABLE"},
    {12012, "ERROR_WINHTTP_SHUTDOWN"},
    {12015, "ERROR_WINHTTP_LOGIN_FAILURE"},
    {12017, "ERROR_WINHTTP_OPERATION_CANCELLED"},
    {12018, "ERROR_WINHTTP_INCORRECT_HANDLE_TYPE"},
    {12019, "ERROR_WINHTTP_INCORRECT_HANDLE_STATE"},
    {12029, "ERROR_WINHTTP_CANNOT_CONNECT"},
    {12030, "ERROR_WINHTTP_CONNECTION_ERROR"},
    {12032, "ERROR_WINHTTP_RESEND_REQUEST"},
    {12037, "ERROR_WINHTTP_SECURE_CERT_DATE_INVALID"},
    {12038, "ERROR_WINHTTP_SECURE_CERT_CN_INVALID"},
    {12044, "ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED"},
    {12045, "ERROR_WINHTTP_SECURE_INVALID_CA"},
    {12057, "ERROR_WINHTTP_SECURE_CERT_REV_FAILED"},
    {12150, "ERROR_WINHTTP_HEADER_NOT_FOUND"},
    {12152, "ERROR_WINHTTP_INVALID_SERVER_RESPONSE"},
    {12153, "ERROR_WINHTTP_INVALID_HEADER"},
    {12154, "ERROR_WINHTTP_INVALID_QUERY_REQUEST"},
    {12155, "ERROR_WINHTTP_HEADER_ALREADY_EXISTS"},
    {12156, "ERROR_WINHTTP_REDIRECT_FAILED"},
    {12157, "ERROR_WINHTTP_SECURE_CHANNEL_ERROR"},
    {12166, "ERROR_WINHTTP_BAD_AUTO_PROXY_SCRIPT"},
    {12167, "ERROR_WINHTTP_UNABLE_TO_DOWNLOAD_SCRIPT"},
    {12169, "ERROR_WINHTTP_SECURE_INVALID_CERT"},
    {12170, "ERROR_WINHTTP_SECURE_CERT_REVOKED"},
    {12172, "ERROR_WINHTTP_NOT_INITIALIZED"},
    {12175, "ERROR_WINHTTP_SECURE_FAILURE"},
    {12176, "ERROR_WINHTTP_UNHANDLED_SCRIPT_TYPE"},
    {12177, "ERROR_WINHTTP_SCRIPT_EXECUTION_ERROR"},
    {12178, "ERROR_WINHTTP_AUTO_PROXY_SERVICE_ERROR"},
    {12179, "ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE"},
    {12180, "ERROR_WINHTTP_AUTODETECTION_FAILED"},
    {12181, "ERROR_WINHTTP_HEADER_COUNT_EXCEEDED"},
    {12182, "ERROR_WINHTTP_HEADER_SIZE_OVERFLOW"},
    {12183, "ERROR_WINHTTP_CHUNKED_ENCODING_HEADER_SIZE_OVERFLOW"},
    {12184, "ERROR_WINHTTP_RESPONSE_DRAIN_OVERFLOW"},
};

// WINHTTP_CALLBACK_STATUS_FLAG_CERT_* and the channel error, by bit.
constexpr NamedCode kCertificateFlags[] = {
    {0x00000001, "CERT_REV_FAILED"},  {0x00000002, "INVALID_CERT"},           {0x00000004, "CERT_REVOKED"},
    {0x00000008, "INVALID_CA"},       {0x00000010, "CERT_CN_INVALID"},        {0x00000020, "CERT_DATE_INVALID"},
    {0x00000040, "CERT_WRONG_USAGE"}, {0x80000000, "SECURITY_CHANNEL_ERROR"},
};

}  // namespace

std::string addressForLog(const std::string& url) {
  // The user information is everything of the authority up to its last
  // "@": a password may hold "?", "#" or ":" itself, so it is cut before
  // the query is. The authority ends at the first "/" after it starts.
  const std::size_t scheme = url.find("://");
  const std::size_t authority = scheme != std::string::npos ? scheme + 3 : url.compare(0, 2, "//") == 0 ? 2 : 0;
  // Without a path, a query's "@" is no part of it.
  std::size_t authorityEnd = url.find('/', authority);
  if (authorityEnd == std::string::npos) authorityEnd = url.find_first_of("?#", authority);
  const std::size_t at = url.rfind('@', authorityEnd);
  std::string address = url;
  if (at != std::string::npos && at >= authority) address.erase(authority, at + 1 - authority);
  address.erase(std::min(address.size(), address.find_first_of("?#", authority)));
  // What is left of the authority must be a server and a port: anything
  // after a ":" but digits (a password with a "/" in it, "user:pw/x@...")
  // withholds the address rather than show it.
  const std::string server = address.substr(authority, address.find('/', authority) - authority);
  const std::size_t colon = server.rfind(':');
  if (colon != std::string::npos && server.find(']', colon) == std::string::npos &&
      server.find_first_not_of("0123456789", colon + 1) != std::string::npos)
    return address.substr(0, authority) + "(address withheld)";
  return address;
}

std::string errorName(std::uint32_t code) {
  char number[24];
  for (const NamedCode& known : kErrorNames) {
    if (known.code != code) continue;
    std::snprintf(number, sizeof number, " (%lu)", static_cast<unsigned long>(code));
    return known.name + std::string(number);
  }
  std::snprintf(number, sizeof number, "error %lu", static_cast<unsigned long>(code));
  return number;
}

std::string certificateProblems(std::uint32_t flags) {
  if (flags == 0) return "none";
  std::string names;
  for (const NamedCode& known : kCertificateFlags) {
    if ((flags & known.code) == 0) continue;
    if (!names.empty()) names += '|';
    names += known.name;
    flags &= ~known.code;
  }
  if (flags != 0) {
    char rest[16];
    std::snprintf(rest, sizeof rest, "0x%08lx", static_cast<unsigned long>(flags));
    if (!names.empty()) names += '|';
    names += rest;
  }
  return names;
}

std::string hexText(const unsigned char* bytes, std::size_t count) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(count * 2);
  for (std::size_t i = 0; i < count; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

std::string diagnosticLine(const std::string& text) {
  std::string line = kDiagnosticPrefix;
  const std::size_t room = kMaxDiagnosticLine - line.size() - 1;
  for (std::size_t i = 0; i < text.size() && i < room; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    line += byte < 0x20 || byte == 0x7f ? '?' : text[i];
  }
  line += '\n';
  return line;
}

}  // namespace fyrel
