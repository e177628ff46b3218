// Names of image files and flashers, and what a flasher reads back from its own name.
#pragma once

#include <string>

namespace package {

// "W9X" + the ZOL-K file's first four characters + the NonZOL-K file's third and fourth
// characters + ".EXE" (fewer characters where a name is shorter).
std::string flasherName(const std::string& zolkFile, const std::string& nonZolkFile);

constexpr std::size_t NameTailLength = 10;

// The last ten characters of the module path. A path shorter than that has no name tail:
// the whole path is returned and the targets below are empty, so that nothing is ever read
// from outside the path.
std::string nameTail(const std::string& modulePath);
bool hasNameTail(const std::string& modulePath);

// " [" + the first six characters of the name tail + "]".
std::string titleSuffix(const std::string& modulePath);

// Revisions the flasher's images carry, as its name encodes them (not upper-cased here).
// Empty when the path has no name tail.
std::string zolkTargetRevision(const std::string& modulePath);
std::string nonZolkTargetRevision(const std::string& modulePath);

enum class Edition { None, ZolK, NonZolK };

// By the third character of a drive's revision: '8'/'9' ZOL-K, other digits NonZOL-K,
// anything else no edition.
Edition editionFor(char thirdCharacter);

} // namespace package
