// Trusts a test CA in the Wine prefix it runs in, or stops trusting it, for
// scripts that run the loader against an HTTPS server outside a test case
// (bench/slowlink):
//   fyrel_trust_root.exe add|remove CA.der
// Exit status 0 when done, 1 when not, 2 on bad usage.
#include <cstdio>
#include <cstring>
#include <string>

#include "network/network_parts.h"
#include "support/test_paths.h"

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "add") != 0 && std::strcmp(argv[1], "remove") != 0)) {
    std::fprintf(stderr, "usage: fyrel_trust_root.exe add|remove CA.der\n");
    return 2;
  }
  const std::string der = fyrel::test::readFile(argv[2]);
  if (der.empty()) {
    std::fprintf(stderr, "cannot read %s\n", argv[2]);
    return 1;
  }
  if (std::strcmp(argv[1], "remove") == 0) {
    fyrel::test::removeMachineRoot(der);
    return 0;
  }
  return fyrel::test::addMachineRoot(der) ? 0 : 1;
}
