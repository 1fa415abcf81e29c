// What a notification means to the host player: whether it ends the wait,
// and what its snapshot is called. No Windows header.
#pragma once

#include <string>

namespace fyrel::hostplayer {

enum class Ending { None, UntilArrived, Failed };

// A report carries one of the loader's kinds; anything else is a pair the
// game sent up, which never ends the wait.
bool isStateReport(const std::string& first);

// The wanted state wins over a failure of the same name, so that
// --until STATE_INVALID_PARAMS waits for exactly that error.
Ending endingOf(const std::string& first, const std::string& second, const std::string& until);

// "001-STATE_DOWNLOADING.png"; game pairs become "007-score-3.png"; the
// closing report (empty state name) is "CLOSED". Characters a file name
// cannot hold become '_'.
std::string snapshotFileName(int index, const std::string& label);
std::string snapshotLabel(const std::string& first, const std::string& second);

}  // namespace fyrel::hostplayer
