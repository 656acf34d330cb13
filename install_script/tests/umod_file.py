#!/usr/bin/env python3
"""Builds UMOD files, the game's own installer format, byte by byte for the tests.

A umod holds the files' bytes back to back, then its directory (a compact-index count; for
each file a compact-index name length counting the NUL, the name and its NUL, then 32-bit
offset, length and flags), then a 20-byte trailer: magic 0x9FE3C5A3, the directory's offset,
the file's total size, a version and a CRC-32 of the files' bytes. Names are Windows-1252,
relative to the game folder, with backslashes.

    umod_bytes(files, manifest_ini=None, ...)   the umod's bytes
    umod_file.py --sample OUT                   the umod the native tests read and rebuild
    umod_file.py --seeds DIR                    seeds for the UMOD reader's fuzzer

The native tests build the same sample with their C++ builder and expect the same bytes.
Standard library only.
"""
import os
import struct
import sys
import zlib

MAGIC = 0x9FE3C5A3
MANIFEST_FLAGS = 3  # the installer's own files: read by it, never copied into the game
EVIL_NAMES = ("..\\..\\Evil.u", "C:\\Evil.u")


def compact_index(value):
    """Unreal's signed compact index: sign 0x80, more 0x40 and 6 bits, then 7 bits and more 0x80."""
    magnitude = abs(value)
    out = bytearray([(0x80 if value < 0 else 0) | (magnitude & 0x3F)])
    magnitude >>= 6
    if magnitude:
        out[0] |= 0x40
    while magnitude:
        byte = magnitude & 0x7F
        magnitude >>= 7
        out.append(byte | (0x80 if magnitude else 0))
    return bytes(out)


def _name_bytes(name):
    return name if isinstance(name, bytes) else name.encode("cp1252")


def plausible_manifest(product, files):
    """(Manifest.ini, Manifest.int) as a mod's author would ship them, for these files."""
    ini = ["[Setup]", "Product=" + product, "Version=100", "Archive=" + product + ".umod",
           "SrcPath=.", "MasterPath=..", "Requires=UnrealTournamentRequirement",
           "Group=SetupGroup", "Group=" + product + "Group", "",
           "[UnrealTournamentRequirement]", "Product=UnrealTournament", "Version=436", "",
           "[SetupGroup]",
           "Copy=(Src=System\\Manifest.ini,Master=System\\Manifest.ini,Flags=3)",
           "Copy=(Src=System\\Manifest.int,Master=System\\Manifest.int,Flags=3)", "",
           "[" + product + "Group]"]
    for name, data, _flags in files:
        shown = name.decode("cp1252") if isinstance(name, bytes) else name
        ini.append("File=(Src=%s,Size=%d)" % (shown, len(data)))
    ini.append("AddIni=UnrealTournament.ini,Engine.GameEngine.ServerPackages=" + product)
    text = ["[Setup]", "LocalProduct=" + product, "SetupWindowTitle=" + product + " Setup",
            "Developer=Orvane tests", "",
            "[UnrealTournamentRequirement]", "LocalProduct=Unreal Tournament"]
    return (("\r\n".join(ini) + "\r\n").encode("cp1252"),
            ("\r\n".join(text) + "\r\n").encode("cp1252"))


def umod_bytes(files, manifest_ini=None, manifest_int=None, product="OrvaneMod",
               evil_names=False, truncate=0, version=1):
    """files: (name, bytes, flags) in order; a name is str (stored as Windows-1252) or bytes.

    manifest_ini: None for none, True for a plausible one, or its text (str or bytes); with
    it come System\\Manifest.ini and System\\Manifest.int, flags 3, ahead of the files.
    evil_names adds files that try to escape the game folder; truncate cuts bytes off the end.
    """
    files = list(files)
    if evil_names:
        files += [(name, b"evil payload\r\n", 0) for name in EVIL_NAMES]
    if manifest_ini is not None:
        made_ini, made_int = plausible_manifest(product, files)
        if manifest_ini is not True:
            made_ini = manifest_ini.encode("cp1252") if isinstance(manifest_ini, str) else manifest_ini
        if manifest_int is not None:
            made_int = manifest_int.encode("cp1252") if isinstance(manifest_int, str) else manifest_int
        files = [("System\\Manifest.ini", made_ini, MANIFEST_FLAGS),
                 ("System\\Manifest.int", made_int, MANIFEST_FLAGS)] + files
    data = bytearray()
    directory = bytearray(compact_index(len(files)))
    for name, content, flags in files:
        raw = _name_bytes(name)
        directory += compact_index(len(raw) + 1) + raw + b"\0"
        directory += struct.pack("<III", len(data), len(content), flags)
        data += content
    body = bytes(data) + bytes(directory)
    trailer = struct.pack("<IIIII", MAGIC, len(data), len(body) + 20, version, zlib.crc32(bytes(data)))
    out = body + trailer
    return out[:len(out) - truncate] if truncate else out


def sample_payload(name):
    """What a sample file holds; the native test expects exactly this."""
    shown = name.decode("cp1252") if isinstance(name, bytes) else name
    return ("Orvane test payload for " + shown + "\n").encode("utf-8") * 3


# The long name takes a two-byte compact index, as any name of 64 bytes or more does.
SAMPLE_NAMES = ["System\\OrvaneMod.u", "Maps\\DM-Orvane.unr", "Textures\\Caf\u00e9.utx",
                "Music\\OrvaneSoundtrack-With-A-Name-Long-Enough-For-Two-Index-Bytes.umx",
                "Help\\OrvaneMod.txt"]


def sample_umod():
    return umod_bytes([(n, sample_payload(n), 0) for n in SAMPLE_NAMES], manifest_ini=True)


def write_seeds(folder):
    files = [(n, sample_payload(n), 0) for n in SAMPLE_NAMES[:2]]
    seeds = {
        "sample.umod": sample_umod(),
        "plain.umod": umod_bytes(files),
        "evil.umod": umod_bytes(files, manifest_ini=True, evil_names=True),
        "truncated.umod": umod_bytes(files, truncate=9),
        "empty.umod": umod_bytes([]),
        "manifest.ini": plausible_manifest("Seed", files)[0] + b"Ini=User.ini,Engine.Input.F1=Say Hi\r\n"
                        b"Delete=System\\Old.u\r\n",
    }
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def main(argv):
    if len(argv) == 3 and argv[1] == "--sample":
        with open(argv[2], "wb") as f:
            f.write(sample_umod())
        return 0
    if len(argv) == 3 and argv[1] == "--seeds":
        write_seeds(argv[2])
        return 0
    sys.stderr.write("usage: umod_file.py --sample OUT | --seeds DIR\n")
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
