// The classes that the game's own program defines in code, with no script:
// no package exports them, yet every map, code, texture, sound and music
// package imports some of them (Engine.Level, Core.TextBuffer, Core.Package,
// Engine.Sound, Core.IntProperty, ...), and the game finds them in the
// running program, not in a file.
#pragma once

#include <string>

namespace orvane {

enum class ClassInCode {
  kYes,              // the game's program defines it
  kNo,               // the package is listed, the class is not: only a file can hold it
  kPackageUnlisted,  // not one of the packages whose code classes are known
};

// Whether the game's program defines the class `name` of the stock package
// `package` (names compared ignoring ASCII case, as the game does).
ClassInCode class_in_code(const std::string& package, const std::string& name);

}  // namespace orvane
