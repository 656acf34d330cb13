"""Builds Unreal packages (.unr .u .utx .uax .umx) byte by byte for the script tests.

The layout is the one unzip/tests/test_support.cpp's build_package writes, byte for
byte (the native tests check that): header, generations (or, before version 68, a
heritage table at the end), name table, import table, export table.

    package_bytes(needs={"CityTex": "Texture", "CitySounds": "Sound"},
                  groups={"CityTex": ["Walls"]}, unique="CTF-Town")

makes a package that needs CityTex (a texture in its group Walls) and CitySounds (a
sound), with the imports the game writes for them: the package, each group inside it,
the object, and the classes used (Core.Package, Engine.Texture, ...) with theirs.
"""
import hashlib
import struct

TAG = 0x9E2A83C1
# The class of an object that a package of each kind holds, and the package of that class.
CLASS_PACKAGE = {"Texture": "Engine", "Sound": "Engine", "Music": "Engine", "Class": "Core"}

# Classes that the game's program defines, which real packages import by kind (shape=):
# every map these of Engine and Core; a code package Core's property and function classes,
# one for each kind of variable and function it declares.
SHAPE_CLASSES = {
    "map": ("Engine.Level", "Engine.Model", "Engine.Polys", "Core.TextBuffer"),
    "code": tuple("Core." + c for c in ("IntProperty", "BoolProperty", "FloatProperty", "ByteProperty", "StrProperty",
                                        "NameProperty", "ObjectProperty", "ClassProperty", "StructProperty",
                                        "Function", "State", "Enum", "Struct", "Const")),
}


def class_package(cls):
    """The package of a class: Core's for packages, classes, functions and properties."""
    core = cls in ("Class", "Package", "Function") or cls.endswith("Property")
    return "Core" if core else CLASS_PACKAGE.get(cls, "Engine")


def compact(value):
    """The format's signed compact index."""
    magnitude = abs(value)
    first = (0x80 if value < 0 else 0) | (magnitude & 0x3F) | (0x40 if magnitude >> 6 else 0)
    out = bytearray([first])
    magnitude >>= 6
    while magnitude:
        out.append((magnitude & 0x7F) | (0x80 if magnitude >> 7 else 0))
        magnitude >>= 7
    return bytes(out)


def import_ref(i):
    """The object reference to import i."""
    return -i - 1


def _bytes(text):
    return text if isinstance(text, bytes) else text.encode("latin-1")


def raw_package(names=(), imports=(), exports=(), version=69, guid=b"OrvaneTestGuid!!", flags=1):
    """imports: (class package, class name, object name, outer reference) tuples;
    exports: (class reference, super reference, outer reference, object name, flags).
    Names are put in the name table once each, after `names`, in order of first use."""
    table = [_bytes(n) for n in names]

    def name_index(n):
        n = _bytes(n)
        if n not in table:
            table.append(n)
        return table.index(n)

    imp = b"".join(compact(name_index(cp)) + compact(name_index(cn)) + struct.pack("<i", outer) +
                   compact(name_index(on)) for cp, cn, on, outer in imports)
    exp = b"".join(compact(cls) + compact(sup) + struct.pack("<i", outer) + compact(name_index(on)) +
                   struct.pack("<I", fl) + compact(0) for cls, sup, outer, on, fl in exports)
    names_bytes = b"".join((compact(len(n) + 1) if version >= 64 else b"") + n + b"\0" +
                           struct.pack("<I", 0x00070010) for n in table)
    guid = (guid + b"\0" * 16)[:16]
    header = 64 if version >= 68 else 44
    name_at = header
    import_at = name_at + len(names_bytes)
    export_at = import_at + len(imp)
    out = struct.pack("<IHHIIIIIII", TAG, version, 0, flags, len(table), name_at, len(exports), export_at,
                      len(imports), import_at)
    if version >= 68:
        out += guid + struct.pack("<III", 1, len(exports), len(table))
    else:
        out += struct.pack("<II", 1, export_at + len(exp))
    out += names_bytes + imp + exp
    if version < 68:
        out += guid
    return out


def package_bytes(imports=(), needs=None, groups=None, version=69, extra_names=(), unique=None, exports=(),
                  holds=(), shape=None):
    """A valid package.

    imports: (class package, class name, object name, where) tuples, `where` being the
      dotted path of the object's package and groups ("MyTexPkg" or "MyTexPkg.Walls").
    needs: {package: class} — one object of that class ("Texture", "Sound", "Music",
      "Class", or any other) in the package, or in each of its groups from `groups`
      ({package: ["Walls", "Floors.Old"]}, dotted for a group inside a group).
    unique: a name (str or bytes) that makes this file's bytes differ from those of a
      file built for another name: it becomes a name and the GUID.
    exports: object names of this package's own objects (a map's MyLevel, say).
    holds: (class, dotted path) pairs: objects this package exports, each inside the groups
      its path names ("Walls.Texture1"); class "Class" makes a class object. Each group and
      each object's class is imported as the game writes it (Core.Package, Engine.Sound).
    shape: "map" or "code": the classes of the game's program that a real package of that
      kind imports besides (SHAPE_CLASSES).
    """
    wanted = list(imports)
    for pkg, cls in (needs or {}).items():
        for group in (groups or {}).get(pkg) or [None]:
            where = pkg + "." + group if group else pkg
            wanted.append((class_package(cls), cls, cls + "1", where))

    table = []  # (class package, class name, object name, outer)
    paths = {}

    def package_ref(path):
        """The import of a package or group, made (with its outers) when missing."""
        if path not in paths:
            outer, _, name = path.rpartition(".")
            table.append(("Core", "Package", name, package_ref(outer) if outer else 0))
            paths[path] = import_ref(len(table) - 1)
        return paths[path]

    def class_ref(class_package, class_name):
        key = ("class", class_package, class_name)
        if key not in paths:
            table.append(("Core", "Class", class_name, package_ref(class_package)))
            paths[key] = import_ref(len(table) - 1)
        return paths[key]

    if wanted:
        class_ref("Core", "Package")  # every package and group import is of this class
    for cls_package, class_name, object_name, where in wanted:
        class_ref(cls_package, class_name)
        table.append((cls_package, class_name, object_name, package_ref(where)))
    for dotted in SHAPE_CLASSES.get(shape, ()):
        class_ref(*dotted.split("."))

    own = [(0, 0, 0, e, 0) for e in exports]
    group_at = {}

    def group_ref(path):
        """The export of a group of this package, made (with its outers) when missing."""
        if path not in group_at:
            outer, _, name = path.rpartition(".")
            own.append((class_ref("Core", "Package"), 0, group_ref(outer) if outer else 0, name, 0))
            group_at[path] = len(own)  # an export reference is its index plus one
        return group_at[path]

    for cls, path in holds:
        outer, _, name = path.rpartition(".")
        where = group_ref(outer) if outer else 0
        own.append((0 if cls == "Class" else class_ref(class_package(cls), cls), 0, where, name, 0))

    names = ["None"] + list(extra_names)  # every package the game writes names None
    guid = b"OrvaneTestGuid!!"
    if unique is not None:
        names.append(_bytes(unique))
        guid = hashlib.md5(_bytes(unique)).digest()
    return raw_package(names, table, own, version, guid)


# What the game's own code packages export, as the real ones do: their script classes
# (Engine's Texture among them, which test maps take), never those that the game's
# program defines (Core.Package, Core.Class, Engine.Sound, Engine.Music, Engine.Level,
# ...); in Engine, properties of Actor named as those classes are. Botpack holds the
# game class test maps take.
STOCK_HOLDS = {"Core": [("Class", c) for c in ("Object", "Commandlet", "Locale", "Subsystem")],
               "Engine": [("Class", c) for c in ("Actor", "Texture", "LevelInfo", "Brush")] +
                         [("ObjectProperty", "Actor.Level"), ("ObjectProperty", "Actor.Sound")],
               "Botpack": [("Class", "Class1")]}


def stock_package(name):
    """A stand-in for the game's System\\<name>.u that holds what the test maps take from it."""
    return package_bytes(unique=name, holds=STOCK_HOLDS.get(name, ()), shape=None if name == "Core" else "code")
