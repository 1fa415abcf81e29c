#include "command_line.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace fyrel::hostplayer {
namespace {

// Whole-string decimal only: "12px" or "" must not quietly become 12 or 0.
bool parseInt(const std::string& text, int minimum, int maximum, int& out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < minimum || value > maximum) return false;
  out = static_cast<int>(value);
  return true;
}

bool parseNameValue(const std::string& text, NameValue& out) {
  const auto equals = text.find('=');
  if (equals == std::string::npos || equals == 0) return false;
  out = {text.substr(0, equals), text.substr(equals + 1)};
  return true;
}

ParsedCommandLine failure(std::string error) {
  ParsedCommandLine parsed;
  parsed.kind = ParsedCommandLine::Kind::Error;
  parsed.error = std::move(error);
  return parsed;
}

}  // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine parsed;
  parsed.kind = ParsedCommandLine::Kind::Run;
  HostOptions& o = parsed.options;

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (option == "--help" || option == "-h") {
      parsed.kind = ParsedCommandLine::Kind::Help;
      return parsed;
    }
    if (option == "--times") {
      o.times = true;
      continue;
    }
    if (i + 1 >= args.size()) return failure(option + " needs a value");
    const std::string& value = args[++i];

    if (option == "--set" || option == "--send") {
      NameValue pair;
      if (!parseNameValue(value, pair)) return failure(option + " wants NAME=VALUE, got \"" + value + "\"");
      (option == "--set" ? o.values : o.sends).push_back(std::move(pair));
    } else if (option == "--width" || option == "--height") {
      // Beyond 16384 pixels no display mode fits the window anyway.
      if (!parseInt(value, 1, 16384, option == "--width" ? o.width : o.height))
        return failure(option + " wants a size from 1 to 16384, got \"" + value + "\"");
    } else if (option == "--until") {
      if (value.empty()) return failure("--until wants a state name");
      o.until = value;
    } else if (option == "--linger-ms") {
      if (!parseInt(value, 0, INT_MAX, o.lingerMs))
        return failure("--linger-ms wants milliseconds, got \"" + value + "\"");
    } else if (option == "--timeout") {
      // The upper bound keeps the deadline in milliseconds within 32 bits.
      if (!parseInt(value, 1, INT_MAX / 1000, o.timeoutSeconds))
        return failure("--timeout wants seconds above 0, got \"" + value + "\"");
    } else if (option == "--snapshot-dir") {
      if (value.empty()) return failure("--snapshot-dir wants a folder");
      o.snapshotDir = value;
    } else if (option == "--extension") {
      if (value.empty()) return failure("--extension wants a path");
      o.extensionPath = value;
    } else {
      return failure("unknown option " + option);
    }
  }
  return parsed;
}

const char* usageText() {
  return "usage: hostplayer [options]\n"
         "  --set NAME=VALUE      a value the host answers to GetValue (repeatable)\n"
         "  --width W --height H  client size of the window (default 640 x 480)\n"
         "  --until STATE         stop when this state name arrives (default STATE_GAME_STARTED)\n"
         "  --linger-ms MS        keep running this long after that (default 0)\n"
         "  --timeout SECONDS     give up after this long (default 120)\n"
         "  --snapshot-dir DIR    save the client area as PNG at every notification\n"
         "  --send NAME=VALUE     pass the pair to EXT_SendUp once the game has started (repeatable)\n"
         "  --extension PATH      the extension DLL (default FyrelExtension.dll beside hostplayer.exe)\n"
         "  --times               prefix every notification with the seconds since start\n"
         "Prints every notification as <first> TAB <second>.\n"
         "Exit status: 0 the state arrived, 1 an FE_ERROR or wrongBitDepth report came first,\n"
         "2 timeout (or window closed), 3 bad usage.\n";
}

}  // namespace fyrel::hostplayer
