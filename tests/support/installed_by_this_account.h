// A game folder set up by a test as if this account had installed it: the
// install record that a real install writes, made for what the folder holds.
#pragma once

#include <string>

namespace fyrel::test {

// Records every .dll at the top of folder under packageName.
void recordInstallByThisAccount(const std::string& folder, const std::string& packageName);

}  // namespace fyrel::test
