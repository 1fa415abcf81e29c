#include "screen/caption_table.h"

namespace fyrel {

namespace {
struct CaptionEntry {
  const char* code;
  CaptionIds ids;
};
// String table IDs of the module's resources (resources/resource_ids.h).
constexpr CaptionEntry kCaptions[] = {
    {"nl", {103, 104}}, {"en", {101, 102}}, {"fr", {107, 108}}, {"de", {105, 106}},
    {"sv", {113, 114}}, {"es", {109, 110}}, {"it", {111, 112}},
};
}  // namespace

bool captionIdsFor(const std::string& languageCode, CaptionIds* ids) noexcept {
  for (const CaptionEntry& entry : kCaptions) {
    if (languageCode == entry.code) {
      *ids = entry.ids;
      return true;
    }
  }
  return false;
}

}  // namespace fyrel
