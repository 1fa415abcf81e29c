// Counts of what this process holds, to show that nothing is left behind.
#pragma once

#include <cstddef>
#include <string>

namespace fyrel::test {

int threadCount();       // threads of this process
// One line per thread of this process: its id and the module its start
// address lies in, for failure messages.
std::string describeThreads();
int handleCount();       // open kernel handles of this process
std::size_t privateBytes();  // committed private memory

}  // namespace fyrel::test
