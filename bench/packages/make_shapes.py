#!/usr/bin/env python3
"""Writes the package-check benchmark's archives and game folders.

  make_shapes.py DIR

DIR/chain.zip   Maps/Chain.unr, 12,000 exports in one outer chain, and Maps/Taker.unr,
                which takes an object from it (and from Ring).
DIR/imports.zip Maps/Deep.unr, 4,000 imports each in the one before: a package, then textures.
DIR/ring.zip    Maps/Ring.unr, 16,000 exports in a ring, and Maps/Taker.unr.
DIR/batch/      100 archives of one small map each (list.txt names all but the first),
                each needing a texture package of the game.
DIR/big-game/   a game folder of Core.u, Engine.u and 20,000 texture packages, for the batch;
                run.sh copies its System folder into each shape's fresh game.
"""
import os
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "install_script", "tests"))
import unreal_package as u  # noqa: E402


def write_zip(path, files):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in files.items():
            z.writestr(name, data)


def exports_in_line(n, ring):
    """n exports named G, each in the one before; in a ring the first lies in the last."""
    return u.raw_package(names=["None", "G"], exports=[(0, 0, n if i == 0 and ring else i, "G", 0) for i in range(n)])


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    taker = u.raw_package(imports=[("Core", "Package", "Chain", 0), ("Engine", "Texture", "G", u.import_ref(0)),
                                   ("Core", "Package", "Ring", 0), ("Engine", "Texture", "G", u.import_ref(2))])
    write_zip(os.path.join(out, "chain.zip"), {"Maps/Chain.unr": exports_in_line(12000, False), "Maps/Taker.unr": taker})
    deep = [("Core", "Package", "Rocks", 0)] + [("Engine", "Texture", "G", u.import_ref(i)) for i in range(3999)]
    write_zip(os.path.join(out, "imports.zip"), {"Maps/Deep.unr": u.raw_package(imports=deep)})
    write_zip(os.path.join(out, "ring.zip"), {"Maps/Ring.unr": exports_in_line(16000, True), "Maps/Taker.unr": taker})

    batch = os.path.join(out, "batch")
    os.makedirs(batch, exist_ok=True)
    for k in range(100):
        name = "CTF-Batch%03d" % k
        write_zip(os.path.join(batch, name + ".zip"),
                  {"Maps/%s.unr" % name: u.package_bytes(needs={"Tex%05d" % (k * 7): "Texture"}, unique=name)})
    with open(os.path.join(batch, "list.txt"), "w") as f:
        f.write("".join(os.path.join(batch, "CTF-Batch%03d.zip\r\n" % k) for k in range(1, 100)))
    system = os.path.join(out, "big-game", "System")
    os.makedirs(system, exist_ok=True)
    for name in ("Core", "Engine"):
        with open(os.path.join(system, name + ".u"), "wb") as f:
            f.write(u.stock_package(name))
    textures = os.path.join(out, "big-game", "Textures")
    os.makedirs(textures, exist_ok=True)
    for k in range(20000):
        with open(os.path.join(textures, "Tex%05d.utx" % k), "wb") as f:
            f.write(u.package_bytes(holds=[("Texture", "Texture1")], unique="Tex%05d" % k))


if __name__ == "__main__":
    main()
