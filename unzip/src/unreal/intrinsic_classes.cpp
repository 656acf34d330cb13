#include "unreal/intrinsic_classes.h"

#include <iterator>

#include "unreal/unreal_package.h"

namespace orvane {

namespace {

// Core's classes of the object system itself: fields, properties of each kind,
// packages, text buffers and the linkers. Its script classes (Object, Commandlet,
// Locale, Subsystem, ...) are exported by System\Core.u.
const char* const kCore[] = {
    "Field",          "Const",         "Enum",          "Struct",         "Function",
    "State",          "Class",         "Property",      "ByteProperty",   "IntProperty",
    "BoolProperty",   "FloatProperty", "ObjectProperty", "ClassProperty", "NameProperty",
    "StructProperty", "StrProperty",   "StringProperty", "ArrayProperty", "FixedArrayProperty",
    "MapProperty",    "Package",       "TextBuffer",    "Language",       "Linker",
    "LinkerLoad",     "LinkerSave",    "System",        "Factory",        "Exporter",
    "TextBufferFactory",
};

// Engine's classes of levels, geometry, meshes, sounds, music, fonts, the
// client, rendering and networking. Where System\Engine.u exports an object of
// the same name (Actor.Level, Actor.Sound) it is a property, not the class.
const char* const kEngine[] = {
    "Level",          "LevelBase",     "PendingLevel",   "NetPendingLevel", "DemoPlayPendingLevel",
    "Model",          "Polys",         "Primitive",      "Mesh",            "LodMesh",
    "Animation",      "Sound",         "Music",          "Font",            "Viewport",
    "Client",         "Player",        "Input",          "AudioSubsystem",  "RenderDevice",
    "RenderBase",     "NetDriver",     "NetConnection",  "DemoRecDriver",   "DemoRecConnection",
    "Channel",        "ControlChannel", "ActorChannel",  "FileChannel",     "Download",
    "ChannelDownload", "Transactor",   "TransBuffer",
};

const struct {
  const char* package;
  const char* const* begin;
  const char* const* end;
} kPackages[] = {
    {"Core", std::begin(kCore), std::end(kCore)},
    {"Engine", std::begin(kEngine), std::end(kEngine)},
};

}  // namespace

ClassInCode class_in_code(const std::string& package, const std::string& name) {
  for (const auto& p : kPackages) {
    if (!same_package_name(p.package, package)) continue;
    for (const char* const* c = p.begin; c != p.end; ++c)
      if (same_package_name(*c, name)) return ClassInCode::kYes;
    return ClassInCode::kNo;
  }
  return ClassInCode::kPackageUnlisted;
}

}  // namespace orvane
