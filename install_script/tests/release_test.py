#!/usr/bin/env python3
"""Checks the release zip as a player gets it, then installs a map with what it unpacks to.

    release_test.py --zip Orvane-1.00-win32.zip --script install_script/Orvane.BAT
                    --launch launch.exe [--shipped-zip Orvane-1.00-win32.zip]

The zip is unpacked into a fresh folder of the Wine prefix (named with spaces and
parentheses, as a player's might be), and the unpacked Orvane.BAT and Pkzip25.exe install
a map into a sandbox game under "Program Files (x86)". Needs WINEPREFIX. Where the Wine tests
run the x86_64 build, --zip is that build's package, which is installed from, and
--shipped-zip the i686 release, whose contents and programs' shape are checked.
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import time
import zipfile

from script_tests import Failure, ScriptLine, check, check_no_complaints, game_data, zip_bytes
from unreal_package import stock_package

LICENCES = {"libarchive": b"Tim Kientzle", "liblzma": b"liblzma is in the public domain", "bzip2": b"Julian Seward",
            "zlib": b"Jean-loup Gailly"}
EXPECTED = {"Orvane.exe", "Orvane.BAT", "Pkzip25.exe", "README.txt"} | {"Licences/%s.txt" % l for l in LICENCES}


def pe_header(data):
    """(machine, subsystem) of a PE image."""
    check(data[:2] == b"MZ", "not a Windows program")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    check(data[pe:pe + 4] == b"PE\0\0", "no PE header")
    machine = struct.unpack_from("<H", data, pe + 4)[0]
    subsystem = struct.unpack_from("<H", data, pe + 24 + 68)[0]
    return machine, subsystem


def check_package(path, script_source):
    with zipfile.ZipFile(path) as z:
        names = z.namelist()
        check(set(names) == EXPECTED and len(names) == len(EXPECTED),
              "the package holds %s, expected %s at its root" % (sorted(names), sorted(EXPECTED)))
        check(z.testzip() is None, "the package itself is damaged")
        files = {n: z.read(n) for n in names}
    i386, gui, console = 0x14C, 2, 3
    check(pe_header(files["Orvane.exe"]) == (i386, gui), "Orvane.exe is not a 32-bit window program")
    check(pe_header(files["Pkzip25.exe"]) == (i386, console),
          "Pkzip25.exe is not a 32-bit console program")
    with open(script_source, "rb") as f:
        check(files["Orvane.BAT"] == f.read(), "Orvane.BAT differs from the source (line ends?)")
    readme = files["README.txt"]
    check(readme.count(b"\n") == readme.count(b"\r\n"), "README.txt needs CRLF line ends")
    check(all(b < 0x80 for b in readme), "README.txt must be plain ASCII")
    text = readme.decode("ascii")
    for topic in ("Program Files", "Run as administrator", "Wine", "unpack", "Licences", ".7z", ".umod",
                  "missing packages", "not found where the game looks"):
        check(topic.lower() in text.lower(), "README.txt says nothing about " + topic)
    # The licences of the libraries built into Pkzip25.exe, readable in Notepad.
    for library, words in LICENCES.items():
        licence = files["Licences/%s.txt" % library]
        check(words in licence, "Licences/%s.txt is not %s's licence" % (library, library))
        check(licence.count(b"\n") == licence.count(b"\r\n"), "Licences/%s.txt needs CRLF line ends" % library)


def install_from_package(zip_path, launch):
    drive_c = os.path.join(os.environ["WINEPREFIX"], "drive_c")
    run = "run-%d-%d" % (os.getpid(), int(time.time() * 1000))
    root_unix = os.path.join(drive_c, "OrvaneReleaseTest", run)
    root_win = "C:\\OrvaneReleaseTest\\" + run
    unpacked = "Orvane 1.00 (unpacked)"
    with zipfile.ZipFile(zip_path) as z:
        z.extractall(os.path.join(root_unix, unpacked))

    game_win = root_win + "\\Program Files (x86)\\Unreal Tournament"
    game_unix = os.path.join(root_unix, "Program Files (x86)", "Unreal Tournament")
    os.makedirs(os.path.join(game_unix, "System"))
    os.makedirs(os.path.join(game_unix, "Textures"))
    for stock in ("Core", "Engine"):  # the game's own, which packages' classes come from
        with open(os.path.join(game_unix, "System", stock + ".u"), "wb") as f:
            f.write(stock_package(stock))
    mine = game_data("the player's own ReleaseTex.utx")  # a package too, but another
    with open(os.path.join(game_unix, "Textures", "ReleaseTex.utx"), "wb") as f:
        f.write(mine)
    os.makedirs(os.path.join(root_unix, "Downloads"))
    with open(os.path.join(root_unix, "Downloads", "CTF-Release.zip"), "wb") as f:
        f.write(zip_bytes([("CTF-Release/Maps/CTF-Release.unr", game_data("CTF-Release.unr")),
                           ("CTF-Release/Textures/ReleaseTex.utx", game_data("ReleaseTex.utx")),
                           ("CTF-Release/Music/Release.umx", game_data("Release.umx")),
                           ("CTF-Release/ReadMe.txt", game_data("ReadMe.txt"))]))
    temp_win = root_win + "\\temp"
    os.makedirs(os.path.join(root_unix, "temp"))

    env = dict(os.environ, ORVANE_NO_PAUSE="1", ORVANE_LAUNCH_TEMP=temp_win,
               ORVANE_LAUNCH_CMDLINE=ScriptLine(root_win + "\\" + unpacked + "\\Orvane.BAT",
                                                root_win + "\\Downloads\\CTF-Release.zip",
                                                game_win + "\\"))
    done = subprocess.run(["wine", launch], env=env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=180)
    out = done.stdout.decode("cp1252", "replace")
    check(done.returncode == 0, "exit code %d\n%s" % (done.returncode, out))
    check_no_complaints(out)
    for rel, data in (("Maps/CTF-Release.unr", game_data("CTF-Release.unr")),
                      ("Music/Release.umx", game_data("Release.umx")),
                      ("Help/ReadMe.txt", game_data("ReadMe.txt")),
                      ("Textures/ReleaseTex.utx", mine)):
        path = os.path.join(game_unix, *rel.split("/"))
        check(os.path.isfile(path), "not installed: %s\n%s" % (rel, out))
        with open(path, "rb") as f:
            check(f.read() == data, "wrong content in %s" % rel)
    check("Textures\\ReleaseTex.utx" in out.split("Kept")[-1], "the kept texture is not listed\n" + out)
    check(os.listdir(os.path.join(root_unix, "temp")) == [], "work folder left behind")
    shutil.rmtree(root_unix)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--zip", required=True)
    parser.add_argument("--script", required=True)
    parser.add_argument("--launch", required=True)
    parser.add_argument("--shipped-zip", help="the release as it ships; --zip when not given")
    args = parser.parse_args()
    if not os.environ.get("WINEPREFIX"):
        print("WINEPREFIX is not set; this test never uses ~/.wine", file=sys.stderr)
        return 1
    try:
        shipped = args.shipped_zip or args.zip
        check(os.path.isfile(shipped), "no release package at %s" % shipped)
        check_package(shipped, args.script)
        print("PASS release/package")
        install_from_package(args.zip, os.path.abspath(args.launch))
        print("PASS release/install")
    except Failure as e:
        print("FAIL release: %s" % e)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
