#include "package/unit_texts.h"

namespace texts {

// Objects rather than literals: built in this order before the program's entry and released
// in the reverse order after it returns.
const std::string ApplicationTitle = "Quorven Reflash for CDRW-KXD7316";
const std::string VersionBanner = "Quorven-Tek  Flash utility   V1.015  ";
const std::string TemplateName = "W9XKVXXXX.EXE";
const std::string ModelName = "KXD-7316";
const std::string RevisionRange = "KV00~KV9Z";
const std::string ZolkMask = "KV8?.BIN;KV9?.BIN;";
const std::string NonZolkMask =
    "KV0?.BIN;KV1?.BIN;KV2?.BIN;KV3?.BIN;KV4?.BIN;KV5?.BIN;KV6?.BIN;KV7?.BIN;";

} // namespace texts
