#!/usr/bin/env python3
"""Writes a game folder shaped like a player's for the whole-game check's benchmark.

  make_game.py DIR N [SEED]

About N package files in the proportions of a collected game: 60% maps, 25% texture
packages, 6% sound, 4% music and 5% code packages (Core.u and Engine.u among them), laid
out as the game writes them: header, names, each export's data, imports, exports.
- maps import 50 to 500 objects: textures in groups of the texture packages, sounds,
  a music, classes of the code packages, and the classes every map imports (Engine.Level,
  Engine.Model, Engine.Polys, Core.TextBuffer); they export 500 to 3,000 objects;
- texture packages are 1 to 5 MB, their textures in groups; sound and music packages
  import Engine.Sound and Engine.Music;
- code packages import Core's property and function classes and export classes with
  their functions and properties.
Export data is a hole in a sparse file: the check reads only the tables, and 2,000
packages take little disk. One map in 25 needs a package that no file holds.
"""
import os
import random
import struct
import sys

# The tests' package writer has the format's compact index.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "install_script", "tests"))
from unreal_package import compact  # noqa: E402

TAG = 0x9E2A83C1


class Package:
    """Imports and exports by path; each package and group imported once."""

    def __init__(self):
        self.names, self.index = [], {}
        self.imports, self.import_at = [], {}
        self.exports = []  # (class ref, outer ref, name, size)

    def name(self, n):
        if n not in self.index:
            self.index[n] = len(self.names)
            self.names.append(n)
        return self.index[n]

    def imp(self, class_package, class_name, path):
        """The import of the object at dotted path, with its package and groups; its reference."""
        key = (class_package, class_name, path)
        if key in self.import_at:
            return self.import_at[key]
        outer, _, obj = path.rpartition(".")
        outer_ref = self.imp("Core", "Package", outer) if outer else 0
        self.imports.append((self.name(class_package), self.name(class_name), outer_ref, self.name(obj)))
        self.import_at[key] = -len(self.imports)
        return self.import_at[key]

    def cls(self, dotted):
        package, _, name = dotted.partition(".")
        return self.imp("Core", "Class", dotted)

    def exp(self, class_ref, outer, name, size):
        self.exports.append((class_ref, outer, self.name(name), size))
        return len(self.exports)

    def write(self, path):
        self.name("None")
        names = b"".join(compact(len(n) + 1) + n.encode() + b"\0" + struct.pack("<I", 0x70010) for n in self.names)
        header = 64
        data_at = header + len(names)
        data = sum(e[3] for e in self.exports)
        imports_at = data_at + data
        imp = b"".join(compact(cp) + compact(cn) + struct.pack("<i", o) + compact(on) for cp, cn, o, on in self.imports)
        at, exp = data_at, bytearray()
        for cls, outer, name, size in self.exports:
            exp += compact(cls) + compact(0) + struct.pack("<i", outer) + compact(name) + struct.pack("<I", 0x70004)
            exp += compact(size) + (compact(at) if size else b"")
            at += size
        exports_at = imports_at + len(imp)
        head = struct.pack("<IHHIIIIIII", TAG, 69, 0, 1, len(self.names), header, len(self.exports), exports_at,
                           len(self.imports), imports_at)
        head += os.urandom(16) + struct.pack("<III", 1, len(self.exports), len(self.names))
        with open(path, "wb") as f:
            f.write(head + names)
            f.seek(imports_at)  # the export data: a hole
            f.write(imp + bytes(exp))


CODE_CLASSES = ["Core." + c for c in ("IntProperty", "BoolProperty", "FloatProperty", "ByteProperty", "StrProperty",
                                      "NameProperty", "ObjectProperty", "ClassProperty", "StructProperty",
                                      "Function", "State", "Enum", "Struct", "Const")]


def main():
    out, n = sys.argv[1], int(sys.argv[2])
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 1)
    for d in ("System", "Maps", "Textures", "Sounds", "Music"):
        os.makedirs(os.path.join(out, d), exist_ok=True)
    n_code = max(3, n * 5 // 100)
    n_tex, n_snd, n_mus = n * 25 // 100, max(1, n * 6 // 100), max(1, n * 4 // 100)
    n_maps = n - n_code - n_tex - n_snd - n_mus

    # The game's own code: Core and Engine export script classes only.
    core = Package()
    for c in ("Object", "Commandlet", "Locale", "Subsystem"):
        core.exp(0, 0, c, 2000)
    core.write(os.path.join(out, "System", "Core.u"))
    engine = Package()
    for c in CODE_CLASSES:
        engine.cls(c)
    for c in ("Actor", "Texture", "LevelInfo", "Brush", "Light", "PlayerStart", "ZoneInfo"):
        engine.exp(0, 0, c, 5000)
    engine.write(os.path.join(out, "System", "Engine.u"))

    mods = []  # (name, classes)
    for k in range(n_code - 2):
        p, name = Package(), "Mod%04d" % k
        for c in CODE_CLASSES:
            p.cls(c)
        p.cls("Engine.Actor")
        classes = ["Thing%d" % i for i in range(rng.randint(20, 120))]
        for c in classes:
            at = p.exp(0, 0, c, rng.randint(500, 5000))
            for f in range(rng.randint(2, 12)):
                p.exp(p.cls("Core.Function"), at, "Fn%d" % f, 200)
                p.exp(p.cls("Core.IntProperty"), at, "Var%d" % f, 40)
        p.write(os.path.join(out, "System", name + ".u"))
        mods.append((name, classes))

    textures = []  # (name, {group: [texture]})
    for k in range(n_tex):
        p, name = Package(), "Tex%04d" % k
        package_class = p.cls("Core.Package")
        texture = p.cls("Engine.Texture")
        groups, size = {}, rng.randint(1 << 20, 5 << 20)
        for g in range(rng.randint(2, 8)):
            gname = "Group%d" % g
            at = p.exp(package_class, 0, gname, 0)
            groups[gname] = ["Tex%d" % t for t in range(rng.randint(5, 40))]
            for t in groups[gname]:
                p.exp(texture, at, t, 0)
        each = size // len(p.exports)
        p.exports = [(c, o, nm, each) for c, o, nm, _ in p.exports]
        p.write(os.path.join(out, "Textures", name + ".utx"))
        textures.append((name, groups))

    sounds, musics = [], []
    for k in range(n_snd):
        p, name = Package(), "Snd%04d" % k
        sound = p.cls("Engine.Sound")
        held = ["Sound%d" % i for i in range(rng.randint(5, 60))]
        for s in held:
            p.exp(sound, 0, s, rng.randint(10000, 60000))
        p.write(os.path.join(out, "Sounds", name + ".uax"))
        sounds.append((name, held))
    for k in range(n_mus):
        p, name = Package(), "Music%04d" % k
        p.exp(p.cls("Engine.Music"), 0, name, rng.randint(100000, 900000))
        p.write(os.path.join(out, "Music", name + ".umx"))
        musics.append(name)

    for k in range(n_maps):
        p, name = Package(), "CTF-Map%05d" % k
        for c in ("Engine.Level", "Engine.Model", "Engine.Polys", "Core.TextBuffer", "Engine.Brush",
                  "Engine.LevelInfo", "Engine.ZoneInfo", "Engine.PlayerStart", "Engine.Light"):
            p.cls(c)
        want = rng.randint(50, 500)
        while len(p.imports) < want:
            roll = rng.random()
            if roll < 0.7:
                tname, groups = rng.choice(textures)
                group = rng.choice(list(groups))
                p.imp("Engine", "Texture", "%s.%s.%s" % (tname, group, rng.choice(groups[group])))
            elif roll < 0.9:
                sname, held = rng.choice(sounds)
                p.imp("Engine", "Sound", "%s.%s" % (sname, rng.choice(held)))
            else:
                mname, classes = rng.choice(mods)
                p.cls("%s.%s" % (mname, rng.choice(classes)))
        music = rng.choice(musics)
        p.imp("Engine", "Music", "%s.%s" % (music, music))
        if k % 25 == 7:
            p.imp("Engine", "Texture", "Gone%03d.Walls.Brick" % (k % 75))
        level = p.exp(p.cls("Engine.Level"), 0, "MyLevel", 0)
        for e in range(rng.randint(500, 3000)):
            p.exp(p.cls("Engine.Light") if e % 3 else p.cls("Engine.Brush"), level, "Actor%d" % e,
                  rng.randint(50, 4000))
        p.write(os.path.join(out, "Maps", name + ".unr"))


if __name__ == "__main__":
    main()
