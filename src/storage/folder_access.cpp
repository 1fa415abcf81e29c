#include "storage/folder_access.h"

#include <windows.h>
// aclapi.h needs the declarations of windows.h.
#include <aclapi.h>

#include "common/proc_address.h"
#include "common/unique_handle.h"

namespace fyrel {

namespace {

// Looked up at run time in the advapi32.dll that the process has loaded
// already: systems without the security functions simply skip this step.
struct SecurityFunctions {
  decltype(&::AllocateAndInitializeSid) allocateAndInitializeSid;
  decltype(&::SetEntriesInAclA) setEntriesInAcl;
  decltype(&::InitializeSecurityDescriptor) initializeSecurityDescriptor;
  decltype(&::SetSecurityDescriptorDacl) setSecurityDescriptorDacl;
  decltype(&::SetKernelObjectSecurity) setObjectSecurity;
  decltype(&::FreeSid) freeSid;

  bool bind(HMODULE advapi) {
    allocateAndInitializeSid = procAddress<decltype(allocateAndInitializeSid)>(advapi, "AllocateAndInitializeSid");
    setEntriesInAcl = procAddress<decltype(setEntriesInAcl)>(advapi, "SetEntriesInAclA");
    initializeSecurityDescriptor =
        procAddress<decltype(initializeSecurityDescriptor)>(advapi, "InitializeSecurityDescriptor");
    setSecurityDescriptorDacl = procAddress<decltype(setSecurityDescriptorDacl)>(advapi, "SetSecurityDescriptorDacl");
    setObjectSecurity = procAddress<decltype(setObjectSecurity)>(advapi, "SetKernelObjectSecurity");
    freeSid = procAddress<decltype(freeSid)>(advapi, "FreeSid");
    return allocateAndInitializeSid && setEntriesInAcl && initializeSecurityDescriptor && setSecurityDescriptorDacl &&
           setObjectSecurity && freeSid;
  }
};

// FreeSid is only known at run time, so its owner carries the function.
class UniqueSid {
 public:
  explicit UniqueSid(decltype(&::FreeSid) freeSid) noexcept : freeSid_(freeSid) {}
  ~UniqueSid() {
    if (sid_ != nullptr) freeSid_(sid_);
  }
  UniqueSid(const UniqueSid&) = delete;
  UniqueSid& operator=(const UniqueSid&) = delete;
  PSID get() const noexcept { return sid_; }
  PSID* put() noexcept { return &sid_; }

 private:
  decltype(&::FreeSid) freeSid_;
  PSID sid_ = nullptr;
};

}  // namespace

bool grantFolderAccess(HANDLE folder) {
  if (folder == nullptr || folder == INVALID_HANDLE_VALUE) return false;
  const HMODULE advapi = ::GetModuleHandleA("advapi32.dll");
  if (advapi == nullptr) return false;
  SecurityFunctions api{};
  if (!api.bind(advapi)) return true;

  SID_IDENTIFIER_AUTHORITY worldAuthority = SECURITY_WORLD_SID_AUTHORITY;
  UniqueSid everyone(api.freeSid);
  if (!api.allocateAndInitializeSid(&worldAuthority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, everyone.put())) {
    return false;
  }

  EXPLICIT_ACCESS_A entry{};
  entry.grfAccessPermissions = STANDARD_RIGHTS_ALL | SPECIFIC_RIGHTS_ALL;
  entry.grfAccessMode = SET_ACCESS;
  entry.grfInheritance = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
  entry.Trustee.pMultipleTrustee = nullptr;
  entry.Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
  entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  entry.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  entry.Trustee.ptstrName = static_cast<LPSTR>(everyone.get());

  // The new list replaces whatever the folder held or inherited: no old list.
  PACL rawAcl = nullptr;
  if (api.setEntriesInAcl(1, &entry, nullptr, &rawAcl) != ERROR_SUCCESS) return false;
  UniqueLocal acl(rawAcl);

  UniqueLocal descriptor(::LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH));
  if (!descriptor) return false;
  const PSECURITY_DESCRIPTOR sd = descriptor.get();
  if (!api.initializeSecurityDescriptor(sd, SECURITY_DESCRIPTOR_REVISION) ||
      !api.setSecurityDescriptorDacl(sd, TRUE, rawAcl, FALSE)) {
    return false;
  }
  // The handle's own descriptor, as SetFileSecurityA would set it by name:
  // SetSecurityInfo would also rewrite the access lists of everything
  // already inside the folder, which keep their own.
  return api.setObjectSecurity(folder, DACL_SECURITY_INFORMATION, sd) != FALSE;
}

}  // namespace fyrel
