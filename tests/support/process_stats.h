// Counts of what this process holds, to show that nothing is left behind.
#pragma once

#include <cstddef>

namespace fyrel::test {

int threadCount();       // threads of this process
int handleCount();       // open kernel handles of this process
std::size_t privateBytes();  // committed private memory

}  // namespace fyrel::test
