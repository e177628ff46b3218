#include "package/naming.h"

namespace package {
namespace {

// "%N.Ns": at most n characters, fewer where the text is shorter or ends at a NUL.
std::string upTo(const std::string& text, std::size_t n) {
    std::string out = text.substr(0, n);
    const std::size_t nul = out.find('\0');
    return nul == std::string::npos ? out : out.substr(0, nul);
}

std::string from(const std::string& text, std::size_t offset) {
    return offset < text.size() ? text.substr(offset) : std::string();
}

} // namespace

std::string flasherName(const std::string& zolkFile, const std::string& nonZolkFile) {
    return "W9X" + upTo(zolkFile, 4) + upTo(from(nonZolkFile, 2), 2) + ".EXE";
}

bool hasNameTail(const std::string& modulePath) {
    return modulePath.size() >= NameTailLength;
}

std::string nameTail(const std::string& modulePath) {
    return hasNameTail(modulePath) ? modulePath.substr(modulePath.size() - NameTailLength)
                                   : modulePath;
}

std::string titleSuffix(const std::string& modulePath) {
    return " [" + upTo(nameTail(modulePath), 6) + "]";
}

std::string zolkTargetRevision(const std::string& modulePath) {
    return hasNameTail(modulePath) ? upTo(nameTail(modulePath), 4) : std::string();
}

std::string nonZolkTargetRevision(const std::string& modulePath) {
    if (!hasNameTail(modulePath)) {
        return std::string();
    }
    return upTo(nameTail(modulePath), 2) + upTo(modulePath.substr(modulePath.size() - 6), 2);
}

Edition editionFor(char thirdCharacter) {
    if (thirdCharacter == '8' || thirdCharacter == '9') {
        return Edition::ZolK;
    }
    if (thirdCharacter >= '0' && thirdCharacter <= '7') {
        return Edition::NonZolK;
    }
    return Edition::None;
}

} // namespace package
