#!/usr/bin/env python3
"""Times an install through Orvane.BAT under Wine's cmd against a plain extraction of the
same archive by Pkzip25, for a 600-file bonus pack, a 20 MB single map, and a map that needs
20 packages of a game that holds 2,000, and the same install without its package check. All run under Wine with one resident wineserver (the
caller starts it); median of RUNS each.

    script_bench.py BUILD_DIR WORK_DIR [RUNS]         (needs WINEPREFIX)
    script_bench.py BUILD_DIR WORK_DIR RUNS batch     thirty small maps: one call of the script
                                                      for all, thirty calls of one each, and
                                                      thirty plain extractions back to back
"""
import os
import random
import shutil
import statistics
import subprocess
import sys
import time
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "unzip"))
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "install_script", "tests"))
import make_pack  # noqa: E402  (the extraction benchmark's file imitations)
from unreal_package import package_bytes, stock_package  # noqa: E402

GAME_PACKAGES = ("Core.u", "Engine.u", "Botpack.u")  # what every map of the pack needs of the game


def bonus_pack(path):
    """600 files, about 90 MB: maps, textures, sounds and .int files, foldered. The maps,
    textures and sounds are real packages, so that the install's package check reads what
    a real pack makes it read: each map needs a texture from four of the pack's texture
    packages, a sound from two of its sound packages and the game's code."""
    rng = random.Random(20261207)
    kinds = [("Maps", "unr", 60, 40.0), ("Textures", "utx", 240, 30.0),
             ("Sounds", "uax", 200, 19.0), ("System", "int", 100, 1.0)]
    stems = {ext: ["%s-Bonus%03d" % (folder, i) for i in range(count)] for folder, ext, count, _ in kinds}
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
        for folder, ext, count, megabytes in kinds:
            each = int(megabytes * 1048576 / count)
            for stem in stems[ext]:
                size = int(each * rng.uniform(0.5, 1.5))
                if ext == "int":
                    data = make_pack.records(rng, size)
                else:
                    needs = {}
                    if ext == "unr":
                        needs = dict({t: "Texture" for t in rng.sample(stems["utx"], 4)},
                                     **{a: "Sound" for a in rng.sample(stems["uax"], 2)}, Botpack="Class")
                    holds = {"utx": [("Texture", "Texture1")], "uax": [("Sound", "Sound1")]}.get(ext, ())
                    head = package_bytes(needs=needs, unique=stem, exports=["MyLevel"] if needs else (), holds=holds,
                                         shape="map" if needs else None)
                    data = head + make_pack.make_file(rng, ext, size - len(head))
                z.writestr("BonusPack/%s/%s.%s" % (folder, stem, ext), data)


def single_map(path):
    """20 MB of incompressible map data in three packages, as bench/chain's window figure uses;
    the map needs the other two and the game's code."""
    head = {"Maps/BenchMap.unr": package_bytes(needs={"Bench": "Texture", "BenchSounds": "Sound", "Botpack": "Class"},
                                               unique="BenchMap", exports=["MyLevel"], shape="map"),
            "Textures/Bench.utx": package_bytes(unique="Bench", holds=[("Texture", "Texture1")]),
            "Sounds/BenchSounds.uax": package_bytes(unique="BS", holds=[("Sound", "Sound1")])}
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, size in (("Maps/BenchMap.unr", 12000000), ("Textures/Bench.utx", 6000000),
                           ("Sounds/BenchSounds.uax", 2000000)):
            z.writestr(name, head[name] + os.urandom(size - len(head[name])))


# A game of 2,000 packages, of which the map below needs 20: (folder, extension, class, count).
BIG_GAME = (("System", "u", "Class", 100), ("Textures", "utx", "Texture", 1000), ("Sounds", "uax", "Sound", 600),
            ("Music", "umx", "Music", 300))
NEEDED = {"System": 2, "Textures": 12, "Sounds": 5, "Music": 1}


def big_game_file(folder, ext, cls, i):
    """The name and bytes of package i of the big game: it holds one object of its kind, in a group."""
    stem = "%s%04d" % (folder[:3], i)
    return "%s/%s.%s" % (folder, stem, ext), package_bytes(unique=stem, holds=[(cls, "Grp." + cls + "1")])


def needs_20(path):
    """A 2 MB map that takes an object from each of 20 packages of the big game."""
    needs = {"%s%04d" % (folder[:3], i): cls for folder, _, cls, _ in BIG_GAME for i in range(NEEDED[folder])}
    head = package_bytes(needs=needs, groups={p: ["Grp"] for p in needs}, unique="DM-Needs20", exports=["MyLevel"],
                         shape="map")
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("Maps/DM-Needs20.unr", head + os.urandom(2000000 - len(head)))


def make_game(unix, big):
    shutil.rmtree(unix, ignore_errors=True)
    os.makedirs(os.path.join(unix, "System"))
    for stock in GAME_PACKAGES:
        with open(os.path.join(unix, "System", stock), "wb") as f:
            f.write(stock_package(stock[:-2]))
    for folder, ext, cls, count in BIG_GAME if big else ():
        os.makedirs(os.path.join(unix, folder), exist_ok=True)
        for i in range(count):
            name, data = big_game_file(folder, ext, cls, i)
            with open(os.path.join(unix, *name.split("/")), "wb") as f:
                f.write(data)


def timed(argv, env, log, must=None):
    """Output goes to a file: Wine's helper processes may keep a pipe open. An install must
    end with `must`: a script that dies half way is not a fast install."""
    with open(log, "wb") as out:
        start = time.monotonic()
        code = subprocess.run(argv, env=env, stdin=subprocess.DEVNULL, stdout=out, cwd=os.path.dirname(log),
                              stderr=subprocess.STDOUT).returncode
        seconds = time.monotonic() - start
    if code != 0 or (must and must not in open(log, "rb").read().decode("cp1252", "replace")):
        sys.exit("failed (%d): %s\n%s" % (code, " ".join(argv),
                                          open(log, "rb").read().decode("cp1252", "replace")))
    return seconds


def small_map(path, k):
    """About 200 KB: a map that needs its own texture package, both real packages."""
    rng = random.Random(k)
    stem = "CTF-Batch%02d" % k
    head = package_bytes(needs={stem + "Tex": "Texture", "Botpack": "Class"}, unique=stem, exports=["MyLevel"],
                         shape="map")
    tex = package_bytes(unique=stem + "Tex", holds=[("Texture", "Texture1")])  # what the map takes
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("Maps/%s.unr" % stem, head + rng.randbytes(150000))
        z.writestr("Textures/%sTex.utx" % stem, tex + rng.randbytes(50000))
        z.writestr("%s.txt" % stem, b"About this map.\r\n" * 20)


def fresh_game(unix):
    shutil.rmtree(os.path.join(unix, "Game"), ignore_errors=True)
    os.makedirs(os.path.join(unix, "Game", "System"))
    for stock in GAME_PACKAGES:
        with open(os.path.join(unix, "Game", "System", stock), "wb") as f:
            f.write(stock_package(stock[:-2]))


def batch(unix, win, env, log, runs):
    names = []
    for k in range(30):
        names.append("Batch%02d.zip" % k)
        small_map(os.path.join(unix, names[-1]), k)
    size = sum(os.path.getsize(os.path.join(unix, n)) for n in names) / 30 / 1024
    paths = [win + "\\" + n for n in names]
    one, thirty, plain = [], [], []
    for run in range(runs):
        fresh_game(unix)
        one.append(timed(["wine", "cmd", "/c", win + "\\Orvane.BAT", paths[0], win + "\\Game"] + paths[1:], env, log,
                         "Done. Every map is installed."))
        fresh_game(unix)
        thirty.append(sum(timed(["wine", "cmd", "/c", win + "\\Orvane.BAT", p, win + "\\Game"], env, log,
                                "Done. The map is installed.") for p in paths))
        shutil.rmtree(os.path.join(unix, "plain"), ignore_errors=True)
        plain.append(sum(timed(["wine", os.path.join(unix, "Pkzip25.exe"), "-extract", "-directories", p,
                                "%s\\plain\\%d\\" % (win, k)], env, log) for k, p in enumerate(paths)))
    o, t, p = statistics.median(one), statistics.median(thirty), statistics.median(plain)
    print("30 map archives of %.0f KB each, median of %d runs" % (size, runs))
    print("one call of Orvane.BAT for all 30:   %7.3f s" % o)
    print("30 calls of Orvane.BAT, one each:    %7.3f s   one call / 30 calls: %.2f (goal 0.2, limit 0.3)"
          % (t, o / t))
    print("30 plain Pkzip25 extractions:        %7.3f s   one call / 30 extractions: %.2f" % (p, o / p))


def main():
    build, work, runs = sys.argv[1], sys.argv[2], int(sys.argv[3]) if len(sys.argv) > 3 else 3
    drive_c = os.path.join(os.environ["WINEPREFIX"], "drive_c")
    unix = os.path.join(drive_c, "ScriptBench")
    win = "C:\\ScriptBench"
    os.makedirs(unix, exist_ok=True)
    for name in ("Orvane.BAT", "Pkzip25.exe"):
        shutil.copyfile(os.path.join(build, name), os.path.join(unix, name))
    # The same script without the package check, to tell what the check costs.
    with open(os.path.join(build, "Orvane.BAT"), "rb") as f:
        script = f.read()
    check_option = b" -check-packages=."
    with open(os.path.join(unix, "NoCheck.BAT"), "wb") as f:
        f.write(script.replace(check_option, b"") if check_option in script else script)
    checking = check_option in script
    archives = []
    for name, make in (("BonusPack.zip", bonus_pack), ("SingleMap.zip", single_map), ("Needs20.zip", needs_20)):
        cached = os.path.join(work, "v3-" + name)  # v3: the packages hold what the maps take
        if not os.path.exists(cached):
            make(cached + ".part")
            os.rename(cached + ".part", cached)
        shutil.copyfile(cached, os.path.join(unix, name))
        archives.append(name)
    env = dict(os.environ, ORVANE_NO_PAUSE="1")
    log = os.path.join(work, "last-run.txt")
    timed(["wine", "cmd", "/c", "exit"], env, log)  # Wine's own services start outside the figures
    if sys.argv[4:] == ["batch"]:
        batch(unix, win, env, log, runs)
        shutil.rmtree(unix, ignore_errors=True)
        return
    print("median of %d runs each, under Wine with one resident wineserver" % runs)
    # What any batch file costs before its first line: the floor under the install figure.
    empty = statistics.median(timed(["wine", "cmd", "/c", "exit"], env, log) for _ in range(runs))
    print("wine cmd /c exit alone: %.3f s" % empty)
    print("%-14s %10s %10s %7s %12s %7s" % ("archive", "plain s", "install s", "ratio", "no check s",
                                             "check"))
    for name in archives:
        plain, install, unchecked = [], [], []
        for run in range(runs):
            for d in ("plain", "Game"):
                shutil.rmtree(os.path.join(unix, d), ignore_errors=True)
            os.makedirs(os.path.join(unix, "Game", "System"))
            plain.append(timed(["wine", os.path.join(unix, "Pkzip25.exe"), "-extract", "-directories",
                                win + "\\" + name, win + "\\plain\\"], env, log))
            # In turns first, so that neither always follows the plain extraction's writes.
            for script, times in ((("Orvane.BAT", install), ("NoCheck.BAT", unchecked))[::1 - 2 * (run % 2)]):
                make_game(os.path.join(unix, "Game"), name == "Needs20.zip")
                times.append(timed(["wine", "cmd", "/c", win + "\\" + script, win + "\\" + name,
                                    win + "\\Game"], env, log, "Done. The map is installed."))
        p, i, u = statistics.median(plain), statistics.median(install), statistics.median(unchecked)
        print("%-14s %10.3f %10.3f %7.2f %12.3f %6.1f%%" % (name, p, i, i / p, u, 100 * (i - u) / u)
              if checking else "%-14s %10.3f %10.3f %7.2f %12s %7s" % (name, p, i, i / p, "-", "-"))
    shutil.rmtree(unix, ignore_errors=True)


if __name__ == "__main__":
    main()
