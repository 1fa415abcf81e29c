#include "download/url_parts.h"

namespace fyrel {

bool splitUrl(const std::string&, UrlParts&) { return false; }  // placeholder

}  // namespace fyrel
