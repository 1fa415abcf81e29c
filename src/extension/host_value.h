// Reading one named value from the host by the two-ask contract of
// ExtensionHost::GetValue.
#pragma once

#include <fyrel/extension_api.h>

#include <string>

namespace fyrel {

// The host is asked with 16,384 characters to learn the length, then with
// exactly that many. A host whose answers change in between (a value being
// replaced while it is read) is asked again with the new length, a few
// times; a value whose length still changes is refused: false, value
// empty. A value is never spliced from two answers. A host that does not
// exist, or memory that runs out, gives an empty value (true).
bool readHostValue(ExtensionHost* host, const char* name, std::string& value) noexcept;

}  // namespace fyrel
