#!/usr/bin/env python3
"""Times an install through Orvane.BAT under Wine's cmd against a plain extraction of the
same archive by Pkzip25, for a 600-file bonus pack and a 20 MB single map. Both run under
Wine with one resident wineserver (the caller starts it); median of RUNS each.

    script_bench.py BUILD_DIR WORK_DIR [RUNS]     (needs WINEPREFIX)
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
import make_pack  # noqa: E402  (the extraction benchmark's file imitations)


def bonus_pack(path):
    """600 files, about 90 MB: maps, textures, sounds and .int files, foldered."""
    rng = random.Random(20261207)
    kinds = [("Maps", "unr", 60, 40.0), ("Textures", "utx", 240, 30.0),
             ("Sounds", "uax", 200, 19.0), ("System", "int", 100, 1.0)]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
        for folder, ext, count, megabytes in kinds:
            each = int(megabytes * 1048576 / count)
            for i in range(count):
                size = int(each * rng.uniform(0.5, 1.5))
                data = (make_pack.make_file(rng, ext, size) if ext != "int"
                        else make_pack.records(rng, size))
                z.writestr("BonusPack/%s/%s-Bonus%03d.%s" % (folder, folder, i, ext), data)


def single_map(path):
    """20 MB of incompressible map data in three files, as bench/chain's window figure uses."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, size in (("Maps/BenchMap.unr", 12000000), ("Textures/Bench.utx", 6000000),
                           ("Sounds/Bench.uax", 2000000)):
            z.writestr(name, os.urandom(size))


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


def main():
    build, work, runs = sys.argv[1], sys.argv[2], int(sys.argv[3]) if len(sys.argv) > 3 else 3
    drive_c = os.path.join(os.environ["WINEPREFIX"], "drive_c")
    unix = os.path.join(drive_c, "ScriptBench")
    win = "C:\\ScriptBench"
    os.makedirs(unix, exist_ok=True)
    for name in ("Orvane.BAT", "Pkzip25.exe"):
        shutil.copyfile(os.path.join(build, name), os.path.join(unix, name))
    archives = []
    for name, make in (("BonusPack.zip", bonus_pack), ("SingleMap.zip", single_map)):
        cached = os.path.join(work, name)
        if not os.path.exists(cached):
            make(cached + ".part")
            os.rename(cached + ".part", cached)
        shutil.copyfile(cached, os.path.join(unix, name))
        archives.append(name)
    env = dict(os.environ, ORVANE_NO_PAUSE="1")
    log = os.path.join(work, "last-run.txt")
    timed(["wine", "cmd", "/c", "exit"], env, log)  # Wine's own services start outside the figures
    print("median of %d runs each, under Wine with one resident wineserver" % runs)
    # What any batch file costs before its first line: the floor under the install figure.
    empty = statistics.median(timed(["wine", "cmd", "/c", "exit"], env, log) for _ in range(runs))
    print("wine cmd /c exit alone: %.3f s" % empty)
    print("%-14s %10s %10s %7s" % ("archive", "plain s", "install s", "ratio"))
    for name in archives:
        plain, install = [], []
        for run in range(runs):
            for d in ("plain", "Game"):
                shutil.rmtree(os.path.join(unix, d), ignore_errors=True)
            os.makedirs(os.path.join(unix, "Game", "System"))
            plain.append(timed(["wine", os.path.join(unix, "Pkzip25.exe"), "-extract", "-directories",
                                win + "\\" + name, win + "\\plain\\"], env, log))
            install.append(timed(["wine", "cmd", "/c", win + "\\Orvane.BAT", win + "\\" + name,
                                  win + "\\Game"], env, log, "Done. The map is installed."))
        p, i = statistics.median(plain), statistics.median(install)
        print("%-14s %10.3f %10.3f %7.2f" % (name, p, i, i / p))
    shutil.rmtree(unix, ignore_errors=True)


if __name__ == "__main__":
    main()
