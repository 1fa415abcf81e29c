// Which string resources hold the captions for a language code.
#pragma once

#include <string>

namespace fyrel {

struct CaptionIds {
  unsigned download = 0;
  unsigned extraction = 0;
};

// Two-letter codes, compared whole and case-sensitively; any other code
// (including "EN" or "en-us") has no captions and the English defaults stay.
bool captionIdsFor(const std::string& languageCode, CaptionIds* ids) noexcept;

}  // namespace fyrel
