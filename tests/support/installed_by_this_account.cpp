#include "support/installed_by_this_account.h"

#include <windows.h>

#include "common/sha256.h"
#include "storage/install_record.h"

namespace fyrel::test {

void recordInstallByThisAccount(const std::string& folder, const std::string& packageName) {
  InstallRecord record;
  record.packageName = packageName;
  WIN32_FIND_DATAA found;
  UniqueFind find(::FindFirstFileA((folder + "*.dll").c_str(), &found));
  if (find) {
    do {
      UniqueFile file(::CreateFileA((folder + found.cFileName).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
      FileDigest member{found.cFileName, {}};
      if (file && sha256OfFile(file.get(), member.digest)) record.members.push_back(member);
    } while (::FindNextFileA(find.get(), &found));
  }
  writeInstallRecord(folder, record);
}

}  // namespace fyrel::test
