// What the test game modules report of the calls they receive. The test
// executable exports the recorder, so the log outlives the game DLL (which
// the extension unloads at release).
#pragma once

#include <string>
#include <vector>

namespace fyrel::test {

std::vector<std::string> gameCalls();  // in order
void clearGameCalls();
// What the test game's ProcessFyrelMsg answers (true = not handled).
void setGameMessageResult(bool notHandled);

}  // namespace fyrel::test
