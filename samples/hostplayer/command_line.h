// The host player's command line, parsed without any Windows header so the
// rules can be checked natively.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace fyrel::hostplayer {

using NameValue = std::pair<std::string, std::string>;

struct HostOptions {
  std::vector<NameValue> values;  // --set, answered through GetValue
  std::vector<NameValue> sends;   // --send, passed to EXT_SendUp once the game runs
  int width = 640;
  int height = 480;
  std::string until = "STATE_GAME_STARTED";
  int lingerMs = 0;
  int timeoutSeconds = 120;
  std::string snapshotDir;    // empty: no snapshots
  std::string extensionPath;  // empty: FyrelExtension.dll beside the program
  bool times = false;         // prefix each notification with the seconds since start
};

struct ParsedCommandLine {
  enum class Kind { Run, Help, Error };
  Kind kind = Kind::Error;
  HostOptions options;
  std::string error;  // what was wrong, for Kind::Error
};

// args excludes the program name.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);

const char* usageText();

}  // namespace fyrel::hostplayer
