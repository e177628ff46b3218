// Texts shared by the window, the start-up and the builder.
#pragma once

#include <string>

namespace texts {

extern const std::string ApplicationTitle;
extern const std::string VersionBanner;
extern const std::string TemplateName;
extern const std::string ModelName;
extern const std::string RevisionRange;
extern const std::string ZolkMask;
extern const std::string NonZolkMask;

} // namespace texts
