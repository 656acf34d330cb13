#!/usr/bin/env python3
"""Installs map archives into sandbox game folders the way Orvane.exe does, and checks what
lands where and what the player reads.

Two ways to run the same cases:

    script_tests.py --engine Pkzip25 [--group NAME ...]
        runs "Pkzip25 -orvane ARCHIVE GAME [MORE...]" natively, on POSIX paths, with TMPDIR as
        the sandbox's TEMP (the engine's folder for temporary files there). The cases are
        written with Windows paths: the sandbox turns them into POSIX ones and the console
        text back, so each case reads the same either way. Under ASan, a sanitizer's report
        fails the case.

    script_tests.py --script Orvane.BAT --pkzip Pkzip25.exe --launch launch.exe [--group NAME ...]
        starts Orvane.BAT under Wine's cmd as Orvane.exe does: a cross-built launcher hands
        CreateProcessA the exact command line Orvane.exe builds (the game folder plain, or
        quoted when it holds a separator). The script, the real Pkzip25.exe and a test archive
        sit in a stage folder of their own, and the script gets a TEMP of its own. Only what
        needs Windows runs here (WINE_GROUPS): the launcher's contract and a few end-to-end
        rows. Needs WINEPREFIX (never falls back to ~/.wine).

Exit code 0 all passed, 1 a case failed, 77 a case cannot run here (the runner reports it as
skipped).
"""
import argparse
import io
import os
import re
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import time
import zipfile
import zlib

from umod_file import MAGIC, compact_index, umod_bytes
from unreal_package import package_bytes, stock_package

SKIP = 77
# When a list, every run's (sandbox, console text) is added to it.
RUN_OUTPUTS = None
# The characters for which Orvane.exe passes the game folder as one quoted argument.
NEEDS_QUOTES = set(" &()^,;=!'+`~[]{}<>|")


def zip_bytes(entries, method=zipfile.ZIP_DEFLATED):
    """entries: (name, data) pairs, in order. Returns the archive's bytes."""
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", method) as z:
        for name, data in entries:
            z.writestr(zipfile.ZipInfo(name, (2001, 5, 6, 7, 8, 10)), data, method)
    return buf.getvalue()


PACKAGE_EXTENSIONS = (".unr", ".u", ".utx", ".uax", ".umx")


def sevenzip_bytes(entries, *options):
    """entries: (name, data) pairs. The archive as Debian's 7zz makes it (solid LZMA2 by default)."""
    with tempfile.TemporaryDirectory() as d:
        for name, data in entries:
            path = os.path.join(d, "in", *name.split("/"))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        subprocess.run(["7zz", "a", "-bso0", "-bsp0", *options, os.path.join(d, "out.7z"), "."],
                       cwd=os.path.join(d, "in"), check=True)
        names = sorted(n for n in os.listdir(d) if n.startswith("out.7z"))
        with open(os.path.join(d, names[0]), "rb") as f:  # the first part of a split one
            return f.read()


def game_data(name):
    """Distinct content per file, so a kept or swapped file shows; a package file is a real
    package (one that needs nothing the test games lack), the text after it."""
    text = ("Orvane test payload for " + name + "\n").encode("utf-8") * 3
    if not name.lower().endswith(PACKAGE_EXTENSIONS):
        return text
    # It holds the object of its kind that a map built with needs= takes from it, and imports
    # what a real package of its kind does.
    ext = os.path.splitext(name)[1].lower()
    held = {".utx": "Texture", ".uax": "Sound", ".umx": "Music", ".u": "Class"}.get(ext)
    return package_bytes(unique=name, holds=[(held, held + "1")] if held else (),
                         shape={".unr": "map", ".u": "code"}.get(ext)) + text


class Failure(Exception):
    pass


def check(cond, message):
    if not cond:
        raise Failure(message)


class Sandbox:
    """One case's folder: stage (archives; under Wine the script and unzip program too), games,
    temp. Cases name everything by Windows paths (self.win ...); natively each is a POSIX path
    below self.unix, and the console text comes back with Windows paths."""

    def __init__(self, env, name):
        self.env = env
        self.unix = os.path.join(env.run_unix, name)
        self.win = env.run_win + "\\" + name
        os.makedirs(self.unix)
        self.stage_unix = os.path.join(self.unix, "stage")
        self.stage_win = self.win + "\\stage"
        os.makedirs(self.stage_unix)
        if not env.engine:
            shutil.copyfile(env.script, os.path.join(self.stage_unix, "Orvane.BAT"))
            shutil.copyfile(env.pkzip, os.path.join(self.stage_unix, "Pkzip25.EXE"))
        self.temp_win = self.win + "\\temp"
        os.makedirs(os.path.join(self.unix, "temp"))

    def unix_path(self, win_path):
        check(win_path.startswith(self.win), "not in the sandbox: " + win_path)
        rest = win_path[len(self.win):].strip("\\")
        return os.path.join(self.unix, *rest.split("\\")) if rest else self.unix

    def game(self, name, files=None):
        """Makes a game folder (with its System\\UnrealTournament.EXE) and returns its path."""
        win = self.win + "\\games\\" + name
        unix = self.unix_path(win)
        os.makedirs(os.path.join(unix, "System"))
        # The game's own packages, which every map's classes come from, shaped as the real ones.
        with open(os.path.join(unix, "System", "UnrealTournament.EXE"), "wb") as f:
            f.write(b"stand-in")
        for stock in ("Core", "Engine"):
            with open(os.path.join(unix, "System", stock + ".u"), "wb") as f:
                f.write(stock_package(stock))
        for rel, data in (files or {}).items():
            path = os.path.join(unix, *rel.split("\\"))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        return win

    def archive(self, data):
        with open(os.path.join(self.stage_unix, "Map.ZIP"), "wb") as f:
            f.write(data)
        return self.stage_win + "\\Map.ZIP"

    def snapshot(self):
        """relative path -> bytes (files) or None (folders), for the whole sandbox."""
        seen = {}
        for root, dirs, files in os.walk(self.unix):
            rel_root = os.path.relpath(root, self.unix)
            for d in dirs:
                seen[os.path.normpath(os.path.join(rel_root, d))] = None
            for f in files:
                with open(os.path.join(root, f), "rb") as fh:
                    seen[os.path.normpath(os.path.join(rel_root, f))] = fh.read()
        return seen

    def archives(self, datas, names=None):
        """Stages several archives as Orvane.exe does (Map.ZIP, Map2.ZIP, ...), with the names
        the player knows them by in Names.txt; returns the further ones' paths."""
        staged = ["Map.ZIP"] + ["Map%d.ZIP" % k for k in range(2, len(datas) + 1)]
        for name, data in zip(staged, datas):
            with open(os.path.join(self.stage_unix, name), "wb") as f:
                f.write(data)
        if names:
            with open(os.path.join(self.stage_unix, "Names.txt"), "w", newline="") as f:
                f.write("".join("%s=%s\r\n" % p for p in zip(staged, names)))
        return [self.stage_win + "\\" + n for n in staged[1:]]

    def posix(self, arg):
        """A Windows path in the sandbox as the native engine takes it, trailing separators and
        spaces kept; anything else as it is."""
        root = self.env.run_win
        if not arg.startswith(root):
            return arg
        return self.env.run_unix + arg[len(root):].replace("\\", "/")

    def windows(self, text, game_win):
        """The native engine's console text with the paths it prints as Windows would print
        them: the sandbox's own, and a file's place in the game ("Maps\\X.unr") where that
        folder of the game exists. An archive's entry names keep their own separators."""
        text = re.sub(re.escape(self.env.run_unix) + r'[^"\n:]*',
                      lambda m: self.env.run_win + m.group(0)[len(self.env.run_unix):].replace("/", "\\"), text)
        game = self.posix(game_win).rstrip("/ ")
        present = [f for f in GAME_FOLDERS if os.path.isdir(os.path.join(game, f))]
        if present:
            text = re.sub(r'(?<![^\s"(])(%s)/' % "|".join(present), r"\1\\", text)
        return text

    def engine(self, *args):
        """The command that runs the unzip program itself with these arguments."""
        if self.env.engine:
            return [self.env.engine] + [self.posix(a) for a in args]
        return ["wine", self.stage_unix + "/Pkzip25.EXE"] + list(args)

    def run(self, game_win, archive_win=None, no_pause=True, temp_win=None, extra_env=None, more=()):
        """Starts the install as Orvane.exe would. Returns (exit code, console text)."""
        archive_win = self.stage_win + "\\Map.ZIP" if archive_win is None else archive_win
        env = dict(os.environ)
        env.pop("ORVANE_NO_PAUSE", None)
        env.update(extra_env or {})
        if self.env.engine:
            env["TMPDIR"] = self.posix(temp_win or self.temp_win)
            done = subprocess.run(self.engine("-orvane", archive_win, game_win, *more), env=env,
                                  stdin=subprocess.DEVNULL, cwd=self.unix, stdout=subprocess.PIPE,
                                  stderr=subprocess.STDOUT, timeout=180)
            raw = done.stdout.decode("utf-8", "replace")
            for c in SANITIZERS:
                check(c not in raw, "the sanitizers found a fault (%r)\n%s" % (c, raw))
            check(done.returncode >= 0, "killed by signal %d\n%s" % (-done.returncode, raw))
            if RUN_OUTPUTS is not None:  # the widths as the engine made them
                RUN_OUTPUTS.append((self.unix, raw))
            return done.returncode, self.windows(raw, game_win)
        if no_pause:
            env["ORVANE_NO_PAUSE"] = "1"
        env["ORVANE_LAUNCH_CMDLINE"] = ScriptLine(self.stage_win + "\\Orvane.BAT", archive_win, game_win, *more)
        env["ORVANE_LAUNCH_TEMP"] = temp_win or self.temp_win
        # Started from inside the sandbox: a script that loses its path and acts on the
        # current folder (an earlier one ran RD /S /Q "" with quotes in TEMP) hits only that.
        done = subprocess.run(["wine", self.env.launch], env=env, stdin=subprocess.DEVNULL, cwd=self.unix,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=180)
        text = done.stdout.decode("cp1252", "replace").replace("\r\n", "\n")
        check_no_complaints(text)
        if RUN_OUTPUTS is not None:
            RUN_OUTPUTS.append((self.win, text))
        return done.returncode, text


# The game's folders that the install puts files in.
GAME_FOLDERS = ("Maps", "Textures", "Sounds", "Music", "System", "Help")
# What AddressSanitizer and UBSan print when they find a fault.
SANITIZERS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:")


# What the command processor prints when a line of the script fell apart: a name with a
# metacharacter parsed as a command, or a block closed early.
COMPLAINTS = ("Can't recognize", "is not recognized", "Syntax error", "syntax of the command",
              "was unexpected at this time", "Path not found", "cannot find the path")


def check_no_complaints(text):
    for c in COMPLAINTS:
        check(c not in text, "the command processor complained (%r)\n%s" % (c, text))


def ScriptLine(script_win, archive_win, game_win, *more):
    """The command line, quoted as Orvane.exe quotes the game folder."""
    parts = []
    for arg in (script_win, archive_win, game_win) + more:
        parts.append('"' + arg + '"' if any(c in NEEDS_QUOTES for c in arg) else arg)
    return " ".join(parts)


def added(before, after):
    return {k: v for k, v in after.items() if k not in before}


def expect_added(sb, before, expected, game_rel):
    """The files that appeared anywhere in the sandbox are exactly `expected` (relative to
    the game folder, Windows separators), with the archive's content, and Orvane's record of
    what the install put in (Orvane\\NAME.txt, one per archive, naming each file); the work
    folder in TEMP is gone again."""
    after = sb.snapshot()
    new_files = {k: v for k, v in added(before, after).items() if v is not None}
    records = os.path.normpath(os.path.join(game_rel, "Orvane")) + os.sep
    recorded = {k: v for k, v in new_files.items() if k.startswith(records) and k.endswith(".txt")}
    new_files = {k: v for k, v in new_files.items() if k not in recorded}
    check(bool(recorded) == bool(expected), "records added: %s" % sorted(recorded))
    for rel in expected:
        check(any(("\t" + rel + "\r\n").encode() in r for r in recorded.values()),
              "no record names %s: %s" % (rel, list(recorded.values())))
    want = {os.path.normpath(os.path.join(game_rel, *rel.split("\\"))): data
            for rel, data in expected.items()}
    check(set(new_files) == set(want),
          "files added: %s\nexpected: %s" % (sorted(new_files), sorted(want)))
    for k, data in want.items():
        check(new_files[k] == data, "wrong content in " + k)
    for k, v in before.items():
        # A record of an archive installed again is written again, with the new time.
        if not (k.startswith(records) and k.endswith(".txt")):
            check(after.get(k, "gone") == v, "changed or removed: " + k)
    leftovers = os.listdir(os.path.join(sb.unix, "temp"))
    check(leftovers == [], "work folder left in TEMP: %s" % leftovers)
    return after


def expect_untouched(sb, before):
    after = sb.snapshot()
    check(after == before, "sandbox changed: added %s" % sorted(added(before, after)))
    leftovers = os.listdir(os.path.join(sb.unix, "temp"))
    check(leftovers == [], "work folder left in TEMP: %s" % leftovers)


def expect_failure(rc, out, code, *phrases):
    check(rc == code, "exit code %d, expected %d\n%s" % (rc, code, out))
    check("Done." not in out and "Nothing new was installed" not in out,
          "a failure printed the success summary\n" + out)
    for p in phrases:
        check(p in out, "missing %r in output\n%s" % (p, out))


def game_rel(sb, game_win):
    return os.path.relpath(sb.unix_path(game_win), sb.unix)


# The full set of what a map archive may hold, with where each file must end up.
FLAT = [
    ("CTF-Orvane.unr", "Maps\\CTF-Orvane.unr"),
    ("OrvaneTex.utx", "Textures\\OrvaneTex.utx"),
    ("OrvaneSnd.uax", "Sounds\\OrvaneSnd.uax"),
    ("OrvaneSong.umx", "Music\\OrvaneSong.umx"),
    ("OrvaneCode.u", "System\\OrvaneCode.u"),
    ("OrvaneCode.int", "System\\OrvaneCode.int"),
    ("OrvaneHelper.dll", "System\\OrvaneHelper.dll"),
    ("OrvaneCode.det", "System\\OrvaneCode.det"),
    ("OrvaneCode.frt", "System\\OrvaneCode.frt"),
    ("OrvaneCode.itt", "System\\OrvaneCode.itt"),
    ("OrvaneCode.est", "System\\OrvaneCode.est"),
    ("OrvaneMod.ini", "System\\OrvaneMod.ini"),
    ("readme.txt", "Help\\readme.txt"),
    ("CTF-Orvane.htm", "Help\\CTF-Orvane.htm"),
    ("CTF-Orvane.unr.uz", None),
    ("OrvaneTex.uxx", None),
    ("screenshot.jpg", None),
    ("__MACOSX/._CTF-Orvane.unr", None),
    ("._OrvaneTex.utx", None),
]


def layout_case(sb, prefix, entries, expect_skipped, pack=zip_bytes):
    archive = [(prefix + name, game_data(name)) for name, _ in entries]
    sb.archive(pack(archive))
    game = sb.game("UnrealTournament")
    before = sb.snapshot()
    rc, out = sb.run(game)
    check(rc == 0, "exit code %d\n%s" % (rc, out))
    expected = {dest: game_data(name) for name, dest in entries if dest}
    expect_added(sb, before, expected, game_rel(sb, game))
    for dest in expected:
        check("  " + dest + "\n" in out, "summary does not list %s\n%s" % (dest, out))
    for name in expect_skipped:
        check(name in out.split("Skipped")[-1], "summary does not list skipped %s" % name)
    check("Done. The map is installed." in out, out)


def case_flat(sb):
    layout_case(sb, "", FLAT, ["CTF-Orvane.unr.uz", "OrvaneTex.uxx", "screenshot.jpg",
                               "__MACOSX/._CTF-Orvane.unr (macOS metadata)", "._OrvaneTex.utx (macOS"])


def case_foldered(sb):
    entries = [(("Help/" if dest.startswith("Help") else dest.split("\\")[0] + "/") + name, dest)
               for name, dest in FLAT if dest]
    # Foldered archives use the game's own folder names; the file name decides, not the folder.
    entries.append(("Maps/Extra.utx", "Textures\\Extra.utx"))
    archive = [(name, game_data(name.split("/")[-1])) for name, _ in entries]
    sb.archive(zip_bytes(archive))
    game = sb.game("UT Foldered")
    before = sb.snapshot()
    rc, out = sb.run(game)
    check(rc == 0, "exit code %d\n%s" % (rc, out))
    expected = {dest: game_data(name.split("/")[-1]) for name, dest in entries}
    expect_added(sb, before, expected, game_rel(sb, game))


def case_wrapped_mixed_case(sb):
    entries = [("CTF-Wrapped.UNR", "Maps\\CTF-Wrapped.UNR"),
               ("Wrapped.UTX", "Textures\\Wrapped.UTX"),
               ("README", "Help\\README"),
               ("Notes.HTML", "Help\\Notes.HTML"),
               ("Wrapped.Int", "System\\Wrapped.Int")]
    layout_case(sb, "CTF-Wrapped v2/", entries, [])


def case_entry_names_with_metachars(sb):
    # File names the command processor would misread if they were ever parsed again.
    entries = [("CTF-A&B!c^d%e%(1).unr", "Maps\\CTF-A&B!c^d%e%(1).unr"),
               ("Tex ;,=[x]{y}'+~.utx", "Textures\\Tex ;,=[x]{y}'+~.utx"),
               ("ready & (set) go!.txt", "Help\\ready & (set) go!.txt"),
               ("skip & me!.jpg", None)]
    layout_case(sb, "Pack (v1) & more!/", entries, ["skip & me!.jpg"])


def path_case(sb, game_name, trailing=False, temp_name=None):
    entries = [("DM-Path.unr", game_data("DM-Path.unr")), ("PathTex.utx", game_data("PathTex.utx"))]
    sb.archive(zip_bytes(entries))
    game = sb.game(game_name)
    temp = None
    if temp_name:
        temp = sb.win + "\\" + temp_name.strip('"')
        os.makedirs(sb.unix_path(temp))
    before = sb.snapshot()
    quoted = temp_name and temp_name.startswith('"')
    rc, out = sb.run(game + {False: "", True: "\\"}.get(trailing, trailing),
                     temp_win='"%s"' % temp if quoted else temp)
    check(rc == 0, "exit code %d\n%s" % (rc, out))
    expect_added(sb, before, {"Maps\\DM-Path.unr": game_data("DM-Path.unr"),
                              "Textures\\PathTex.utx": game_data("PathTex.utx")},
                 game_rel(sb, game))
    check('Installed into "%s" - ' % game in out or 'into:\n  "%s"\n' % game in out,
          "summary names the wrong folder\n" + out)
    if temp:
        check(os.listdir(sb.unix_path(temp)) == [], "work folder left in TEMP")


PATH_CASES = [
    ("program_files", "Program Files (x86)\\Unreal Tournament", False, None),
    ("ampersand_bang_caret", "Games & Mods\\UT !Bang! ^Caret^", False, None),
    ("quote_comma_semicolon", "It's, a; b=c+d~[e]{f}`x", False, None),
    ("plain", "UT", False, None),
    ("plain_trailing_separator", "UT", True, None),
    ("quoted_trailing_separator", "Unreal Tournament (GOTY) & Co!", True, None),
    ("temp_with_metachars", "UT", False, "Users\\O'Brien & Co (x86)!\\Temp"),
    ("temp_in_quotes", "UT", False, '"Users\\Quoted\\Temp"'),
    ("trailing_space", "UT Space", "  ", None),
]


def case_existing_texture_kept(sb):
    mine = package_bytes(unique="the player's own, different texture")
    sb.archive(zip_bytes([("Maps/CTF-Keep.unr", game_data("CTF-Keep.unr")),
                          ("Textures/KeepTex.utx", game_data("KeepTex.utx"))]))
    game = sb.game("UT Keep & Co", {"Textures\\KeepTex.utx": mine})
    before = sb.snapshot()
    rc, out = sb.run(game)
    check(rc == 0, "exit code %d\n%s" % (rc, out))
    expect_added(sb, before, {"Maps\\CTF-Keep.unr": game_data("CTF-Keep.unr")},
                 game_rel(sb, game))
    kept = out.split("Kept, already in the game")[-1]
    check("Kept, already in the game" in out and "Textures\\KeepTex.utx" in kept,
          "the kept texture is not listed\n" + out)
    # Installing the same map again keeps everything and still counts as success.
    before = sb.snapshot()
    rc, out = sb.run(game)
    check(rc == 0, "second run: exit code %d\n%s" % (rc, out))
    expect_added(sb, before, {}, game_rel(sb, game))
    check("Nothing new was installed" in out and "Maps\\CTF-Keep.unr" in out, out)


def case_kept_told_apart(sb):
    # The player's own settings stay byte for byte; a same file is told apart from a differing one.
    mine = {"System\\UnrealTournament.ini": b"[Engine]\r\nmine=1\r\n", "System\\User.ini": b"[Keys]\r\nF=Fire\r\n",
            "Textures\\Same.utx": game_data("Same.utx"), "Help\\a (identical) b.txt": b"mine",
            "Help\\ lead.txt": b"the same"}
    sb.archive(zip_bytes([("System/UnrealTournament.ini", b"[Engine]\r\ntheirs=1\r\n"),
                          ("System/User.ini", b"[Keys]\r\n"), ("Textures/Same.utx", game_data("Same.utx")),
                          ("a (identical) b.txt", b"theirs"), (" lead.txt", b"the same"),
                          ("Maps/CTF-New.unr", game_data("CTF-New.unr")), ("System/NewMod.ini", b"[NewMod]\r\n"),
                          ("Help/readme.txt", b"first"), ("Docs/ReadMe.TXT", b"second")]))
    game = sb.game("UT", mine)
    before = sb.snapshot()
    rc, out = sb.run(game)
    check(rc == 0, "exit code %d\n%s" % (rc, out))
    expect_added(sb, before, {"Maps\\CTF-New.unr": game_data("CTF-New.unr"), "System\\NewMod.ini": b"[NewMod]\r\n",
                              "Help\\readme.txt": b"first"}, game_rel(sb, game))
    for phrase in ("version mismatch", "delete the game's copy", "never for a file that came with the game", "more than once", "Help\\ReadMe.TXT (an earlier entry"):
        check(phrase in out, "missing %r\n%s" % (phrase, out))
    # Each kept file once, under its own heading, with its name as it is.
    same = out[out.index("identical to the archive's"):out.index("different from the archive's")]
    differs = out[out.index("different from the archive's"):out.index("\n  The game keeps")] + "\n"
    check(same.count("\n  ") == 2 and "\n  Textures\\Same.utx\n" in same and "\n  Help\\ lead.txt\n" in same,
          "identical list\n" + out)
    check(differs.count("\n  ") == 3 and "\n  Help\\a (identical) b.txt\n" in differs and
          "\n  System\\User.ini\n" in differs, "differing list\n" + out)
    check("ReadMe.TXT" not in out[out.index("Kept"):out.index("more than once")],
          "a duplicate within the archive is listed as kept\n" + out)


def case_big_pack(sb):
    # A long report: the summary must still come (Wine's cmd crashed reading one with SET /P).
    names = ["Textures/BigPack-Texture-Number-%03d.utx" % i for i in range(600)]
    sb.archive(zip_bytes([(n, package_bytes(unique=n)) for n in names]))
    game = sb.game("UT")
    rc, out = sb.run(game)
    check(rc == 0 and " 600 file(s)" in out and "Done. The map is installed." in out, out[-2000:])
    check(out.count("  Textures\\BigPack-Texture-Number-") == 600, "not every file is listed")


def case_odd_entries_do_not_block(sb):
    # Entries that would never be installed (odd names, a link, a long stored path) are
    # reported apart and the rest goes in.
    link = zipfile.ZipInfo("shortcut.lnk", (2001, 5, 6, 7, 8, 10))
    link.create_system, link.external_attr = 3, 0o120777 << 16
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        for name in ("What?.jpg", "Shots /a.jpg", "A" * 120 + "/" + "B" * 120 + "/CTF-Long.unr"):
            z.writestr(zipfile.ZipInfo(name, (2001, 5, 6, 7, 8, 10)), game_data(name.split("/")[-1]))
        z.writestr(link, "/etc/passwd")
    sb.archive(buf.getvalue())
    game = sb.game("UT")
    before = sb.snapshot()
    rc, out = sb.run(game)
    check(rc == 0, "exit code %d\n%s" % (rc, out))
    expect_added(sb, before, {"Maps\\CTF-Long.unr": game_data("CTF-Long.unr")}, game_rel(sb, game))
    refused = out.split("Refused")[-1].split("Skipped")[0]
    check("Done." in out and "What?.jpg" in refused and "shortcut.lnk" in refused, out)
    check("Shots /a.jpg (not a game file)" in out.split("Skipped")[-1], out)


def damaged_case(sb, data, code=3, phrase="cannot be unpacked", game_name="UT", extra_env=None):
    sb.archive(data)
    game = sb.game(game_name)
    before = sb.snapshot()
    rc, out = sb.run(game, extra_env=extra_env)
    expect_failure(rc, out, code, phrase)
    expect_untouched(sb, before)
    return out


def good_archive():
    return zip_bytes([("Maps/CTF-Good.unr", game_data("CTF-Good.unr") * 50),
                      ("Textures/GoodTex.utx", game_data("GoodTex.utx") * 50)],
                     zipfile.ZIP_STORED)


def case_truncated_archive(sb):
    data = good_archive()
    damaged_case(sb, data[: len(data) // 2])


def case_corrupted_entry(sb):
    # The directory is intact but the texture's bytes are not: the map must not go in alone.
    # Its name holds the words of other failures, which never decide.
    name = "password other parts.utx"
    data = bytearray(zip_bytes([("Maps/CTF-Good.unr", game_data("CTF-Good.unr")), ("Textures/" + name, game_data(name) * 50)],
                               zipfile.ZIP_STORED))
    data[data.find(name.encode() + b"\n") + 100] ^= 0xFF
    out = damaged_case(sb, bytes(data))
    check("Error:" in out and "password" not in out.split("Nothing")[-1], "the reason is not shown, or wrong\n" + out)


def case_not_a_zip(sb):
    damaged_case(sb, b"<html>404 Not Found</html>\r\n" * 20)


def case_escaping_entries_stay_inside(sb):
    # Entries that try to leave the game folder land in it: a flattening install throws
    # their folders away.
    x, y, z, w = (game_data(n) for n in ("Escaped.unr", "CTF-Fine.unr", "Escaped.utx", "Escaped2.unr"))
    data = zip_bytes([("../../Escaped.unr", x), ("Maps/CTF-Fine.unr", y), ("C:/Escaped.utx", z), ("..\\Escaped2.unr", w)])
    sb.archive(data)
    game = sb.game("UT")
    before = sb.snapshot()
    rc, out = sb.run(game)
    check(rc == 0, "exit code %d\n%s" % (rc, out))
    expect_added(sb, before, {"Maps\\Escaped.unr": x, "Maps\\CTF-Fine.unr": y, "Textures\\Escaped.utx": z,
                              "Maps\\Escaped2.unr": w}, game_rel(sb, game))


def case_zip_bomb(sb):
    # Ten central-directory entries share one local header of 1 MB of zeros.
    packed = zlib.compress(bytes(1 << 20), 9)[2:-4]
    crc, name0 = zlib.crc32(bytes(1 << 20)), b"bomb0.unr"
    body = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, 0, 0x5A21, crc, len(packed), 1 << 20,
                       len(name0), 0) + name0 + packed
    central = b"".join(struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 8, 0, 0x5A21, crc, len(packed),
                                   1 << 20, 9, 0, 0, 0, 0, 0, 0) + b"bomb%d.unr" % i for i in range(10))
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 10, 10, len(central), len(body), 0)
    out = damaged_case(sb, body + central + end, phrase="is a zip bomb")
    check("damaged" not in out, out)


def case_hidden_builtins(sb):
    # Variables named ERRORLEVEL and RANDOM must not hide the built-in values: a damaged
    # archive is still damaged, and the work folder a fixed RANDOM would pick stays whose it is.
    os.makedirs(os.path.join(sb.unix, "temp", "Orvane-7-1"))
    data = bytearray(good_archive())
    data[data.find(b"GoodTex.utx\n") + 100] ^= 0xFF
    sb.archive(bytes(data))
    game = sb.game("UT")
    rc, out = sb.run(game, extra_env={"ERRORLEVEL": "0", "RANDOM": "7"})
    expect_failure(rc, out, 3, "cannot be unpacked")
    check(os.listdir(os.path.join(sb.unix, "temp")) == ["Orvane-7-1"], "TEMP: %s" % os.listdir(sb.unix + "/temp"))


def case_nothing_to_install(sb):
    out = damaged_case(sb, zip_bytes([("CTF-Old.unr.uz", b"c"), ("Tex.uxx", b"c"),
                                      ("photo.jpg", b"p"), ("__MACOSX/._CTF-Old.unr", b"m")]),
                       6, "nothing to install", "macOS metadata")
    check("photo.jpg" in out, "the archive's content is not shown\n" + out)
    damaged_case(sb, zip_bytes([]), 6, "nothing to install", "UT empty")


def case_missing_inputs(sb):
    sb.archive(good_archive())
    game = sb.game("UT")
    before = sb.snapshot()
    rc, out = sb.run(game, archive_win=sb.stage_win + "\\Gone.ZIP")
    expect_failure(rc, out, 1, "map archive was not found")
    rc, out = sb.run(sb.win + "\\games\\No Such & Game")
    expect_failure(rc, out, 1, "game folder was not found")
    with open(sb.unix_path(sb.win + "\\games") + "/A File (x86)", "wb") as f:
        f.write(b"not a folder")
    before = sb.snapshot()
    rc, out = sb.run(sb.win + "\\games\\A File (x86)")
    expect_failure(rc, out, 1, "game folder was not found")
    expect_untouched(sb, before)
    # No game folder, or no archive: the usage.
    for archive, game_given in ((None, ""), ("", game)):
        rc, out = sb.run(game_given, archive_win=archive)
        expect_failure(rc, out, 1, "Usage: Orvane.BAT ARCHIVE GAME-DIRECTORY")
    expect_untouched(sb, before)


def case_engine_missing(sb):
    # The launcher alone: it names the unzip program it looked for, and the code is its own.
    sb.archive(good_archive())
    game = sb.game("UT & Co")
    os.remove(os.path.join(sb.stage_unix, "Pkzip25.EXE"))
    before = sb.snapshot()
    rc, out = sb.run(game)
    expect_failure(rc, out, 2, "unzip program is missing", '"%s\\Pkzip25.EXE"' % sb.stage_win,
                   "Unpack the whole Orvane package again")
    expect_untouched(sb, before)


def case_file_in_place_of_folder(sb):
    # Maps would be made first; when Textures cannot be, the new empty Maps goes again.
    sb.archive(good_archive())
    game = sb.game("UT", {"Textures": b"a file, not a folder"})
    before = sb.snapshot()
    rc, out = sb.run(game)
    expect_failure(rc, out, 4, 'file named "Textures" where the Textures folder\nshould be:\n  "%s\\Textures"\n' % game)
    expect_untouched(sb, before)


def case_folder_in_the_way(sb):
    # A folder in the way of one texture: said as such, and nothing goes in.
    sb.archive(good_archive())
    game = sb.game("UT")
    os.makedirs(os.path.join(sb.unix_path(game), "Textures", "GoodTex.utx"))
    before = sb.snapshot()
    rc, out = sb.run(game)
    expect_failure(rc, out, 4, "a folder where a file of this map should go", "Textures\\GoodTex.utx")
    check("damaged" not in out, out)
    expect_untouched(sb, before)


def case_path_too_long(sb):
    # Paths Windows cannot hold: said as such, and nothing goes in.
    sb.archive(zip_bytes([("Maps/CTF-Short.unr", b"s"), ("Textures/" + "T" * 180 + ".utx", b"t")]))
    game = sb.game("UT " + "G" * 40)
    before = sb.snapshot()
    rc, out = sb.run(game)
    expect_failure(rc, out, 4, "too long for Windows", "T" * 180 + ".utx", "C:\\Games\\UnrealTournament")
    expect_untouched(sb, before)
    # A name no game folder can hold: moving the game would not help, so that is not advised.
    sb.archive(zip_bytes([("Maps/CTF-Short.unr", b"s"), ("Textures/" + "N" * 240 + ".utx", b"n")]))
    game = sb.game("UT")
    before = sb.snapshot()
    rc, out = sb.run(game)
    expect_failure(rc, out, 4, "names too long for Windows in any game", "N" * 240 + ".utx\n    (the path is too long")
    check("shorter path" not in out, out)
    expect_untouched(sb, before)


def case_name_windows_cannot_hold(sb):
    # A game file whose name Windows cannot hold is refused; the rest goes in, and the
    # ending says the map may lack it.
    long_name = "L" * 252 + ".utx"
    sb.archive(zip_bytes([("Maps/CTF-Rest.unr", game_data("CTF-Rest.unr")), ("Textures/" + long_name, b"l")]))
    game = sb.game("UT")
    before = sb.snapshot()
    rc, out = sb.run(game)
    expect_failure(rc, out, 9, "except the files listed above as refused", long_name + "\n    (name longer than 255")
    expect_added(sb, before, {"Maps\\CTF-Rest.unr": game_data("CTF-Rest.unr")}, game_rel(sb, game))


def case_protected_and_unsupported(sb):
    # Said in plain words, not as a damaged download.
    for flag_bits, method, phrase in ((1, 8, "protected by a password"), (0, 12, "uses a method Orvane cannot unpack")):
        data = bytearray(zip_bytes([("Maps/CTF-Secret.unr", b"x" * 100)], zipfile.ZIP_STORED))
        for at in (6, data.find(b"PK\x01\x02") + 8):  # the local and the central record's flags and method
            struct.pack_into("<HH", data, at, flag_bits, method)
        out = damaged_case(sb, bytes(data), 3, phrase, game_name="UT %d" % method)
        check("damaged" not in out, out)
    # A part of a split zip: its end record names another disk.
    data = bytearray(good_archive())
    struct.pack_into("<HH", data, data.rfind(b"PK\x05\x06") + 4, 1, 1)
    out = damaged_case(sb, bytes(data), 3, "The other parts are needed", game_name="UT split")
    check("damaged" not in out, out)


def case_sevenzip_protected_and_split(sb):
    # A password (on the files or on the names too) and one part of a split archive are
    # told as such: the download is fine, and nothing goes in.
    entries = [("Maps/CTF-Secret.unr", game_data("CTF-Secret.unr")), ("Textures/Big.utx", os.urandom(300000))]
    for options, phrase in ((["-pSecret"], "protected by a password"),
                            (["-pSecret", "-mhe=on"], "protected by a password"),
                            (["-v100k", "-mx0"], "The other parts are needed"),
                            (["-mf=ARM64"], "uses a method Orvane cannot unpack:\n  Maps/CTF-Secret.unr (it is packed with the ARM64")):
        out = damaged_case(sb, sevenzip_bytes(entries, *options), 3, phrase, game_name="UT " + options[-1])
        check("damaged" not in out, out)
    # An update archive: the changes that make one archive of another, a deleted file among them.
    with tempfile.TemporaryDirectory() as d:
        with open(os.path.join(d, "base.7z"), "wb") as f:
            f.write(sevenzip_bytes(entries))
        os.makedirs(os.path.join(d, "now", "Maps"))
        with open(os.path.join(d, "now", "Maps", "CTF-New.unr"), "wb") as f:
            f.write(game_data("CTF-New.unr"))
        subprocess.run(["7zz", "u", "-bso0", "-bsp0", "../base.7z", ".", "-up0q3r2x2y2z0w2!../update.7z"],
                       cwd=os.path.join(d, "now"), check=True)
        update = open(os.path.join(d, "update.7z"), "rb").read()
    out = damaged_case(sb, update, 3, "is an update archive", game_name="UT update")
    check("damaged" not in out, out)


def case_killed_run_leaves_nothing(sb):
    # However a run is killed, the next install puts the game right before its own files go
    # in: here the small files are complete and wait for a huge one, in folders the run made.
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as z:
        for i in range(8):
            z.writestr("Maps/CTF-Kill%d.unr" % i, b"m" * 1000)
        with z.open("Textures/Huge.utx", "w", force_zip64=True) as f:
            for _ in range(600):
                f.write(bytes(1 << 20))
    sb.archive(buf.getvalue())
    with open(os.path.join(sb.stage_unix, "Next.ZIP"), "wb") as f:
        f.write(zip_bytes([("ReadMe.txt", b"read me")]))
    game = sb.game("UT")
    before = sb.snapshot()
    cmd = sb.engine("-extract", "-all-or-nothing", "-progress", sb.stage_win + "\\Map.ZIP",
                    "*.unr", game + "\\Maps\\", "*.utx", game + "\\Textures\\")
    run = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    # Watched in the game's folders, not by the run's progress (natively the run may end
    # before its first progress line): the small files are there, the huge one under way.
    game_unix = sb.unix_path(game)
    count = lambda folder: len(os.listdir(os.path.join(game_unix, folder))) \
        if os.path.isdir(os.path.join(game_unix, folder)) else 0
    waiting = False
    try:
        deadline = time.monotonic() + 120
        while run.poll() is None and time.monotonic() < deadline:
            try:
                if count("Maps") >= 8 and count("Textures") >= 1:
                    waiting = True
                    break
            except OSError:  # a folder went as it was looked at
                pass
            time.sleep(0.002)
    finally:
        run.kill()  # the process itself, at once: no chance to tidy up
        run.wait(timeout=60)
    check(waiting, "the run ended before it could be killed")
    if not sb.env.engine:
        time.sleep(1)  # Wine's server closes a killed process's files a moment later
    rc, out = sb.run(game, archive_win=sb.stage_win + "\\Next.ZIP")
    check(rc == 0 and "was taken back" in " ".join(out.split()), "exit code %d\n%s" % (rc, out))
    after = expect_added(sb, before, {"Help\\ReadMe.txt": b"read me"}, game_rel(sb, game))
    made = sorted(k for k in added(before, after) if after[k] is None)
    check(made == [os.path.join(game_rel(sb, game), d) for d in ("Help", "Orvane")], "folders left: %s" % made)


def umod_case(sb, data, game_name="UT & Mods (x86)!"):
    sb.archive(data)
    game = sb.game(game_name)
    before = sb.snapshot()
    rc, out = sb.run(game)
    return game, before, rc, out


MOD_FILES = [("System\\OrvaneMod.u", game_data("OrvaneMod.u"), 0), ("Maps\\DM-OrvaneMod.unr", game_data("DM-OrvaneMod.unr"), 0),
             ("Help\\OrvaneMod.txt", game_data("OrvaneMod.txt"), 0), ("System\\OrvaneMod.int", b"[Public]\r\n", 0)]
MOD_INSTALLED = {name: data for name, data, _ in MOD_FILES}


def case_umod_in_zip(sb):
    # The umod's files land by their stored paths, its manifest is not copied, and what
    # the manifest asks beyond copying is listed; no Setup.exe, no administrator prompt.
    umod = umod_bytes(MOD_FILES, manifest_ini=True)
    game, before, rc, out = umod_case(sb, zip_bytes([("OrvaneMod.umod", umod), ("ReadMe.txt", b"read me")]))
    check(rc == 0, "exit code %d\n%s" % (rc, out))
    expect_added(sb, before, dict(MOD_INSTALLED, **{"Help\\ReadMe.txt": b"read me"}), game_rel(sb, game))
    for phrase in ("OrvaneMod.umod (4 files)", "System\\OrvaneMod.u", "never does",
                   "adds to UnrealTournament.ini: [Engine.GameEngine]\n    ServerPackages=OrvaneMod", "Done."):
        check(phrase in out, "missing %r\n%s" % (phrase, out))
    check("Setup" not in out.replace("without the game's Setup", ""), out)


def case_umod_alone(sb):
    # Picked directly, the umod is the archive: the same install.
    game, before, rc, out = umod_case(sb, umod_bytes(MOD_FILES, manifest_ini=True), "UT")
    check(rc == 0 and "Done." in out, "exit code %d\n%s" % (rc, out))
    expect_added(sb, before, MOD_INSTALLED, game_rel(sb, game))


def case_umod_names_that_escape(sb):
    # Names that leave the game folder are refused; nothing lands outside it.
    game, before, rc, out = umod_case(sb, zip_bytes([("Evil.umod", umod_bytes(MOD_FILES, evil_names=True))]))
    expect_failure(rc, out, 9, "..\\..\\Evil.u", "C:\\Evil.u")
    expect_added(sb, before, MOD_INSTALLED, game_rel(sb, game))


def case_batch(sb):
    # A damaged archive among sound ones: it alone installs nothing. A package one brings
    # counts for another's map, a file two bring goes in once (the first one's copy), and
    # the summary names each archive as the player picked it.
    city = package_bytes(needs={"BatchTex": "Texture"}, unique="CTF-Batch", shape="map")
    datas = [zip_bytes([("Maps/CTF-Batch.unr", city), ("Same.txt", b"same"), ("Other.txt", b"first")]),
             good_archive()[:200],
             zip_bytes([("Textures/BatchTex.utx", game_data("BatchTex.utx")), ("Same.txt", b"same"),
                        ("Other.txt", b"second")]),
             umod_bytes(MOD_FILES)]
    names = ["D:\\Maps\\CTF-Batch.zip", "D:\\Maps\\Broken & Gone!.zip", "D:\\Maps\\BatchTex.7z",
             "D:\\Maps\\OrvaneMod.umod"]
    more = sb.archives(datas, names)
    game = sb.game("UT & Co")
    before = sb.snapshot()
    # One archive not there: named, and nothing of any goes in.
    rc, out = sb.run(game, more=more + [sb.stage_win + "\\Gone & Lost.ZIP"])
    expect_failure(rc, out, 1, 'not found:\n  "%s\\Gone & Lost.ZIP"' % sb.stage_win)
    expect_untouched(sb, before)
    rc, out = sb.run(game, more=more)
    check(rc == 3, "exit code %d\n%s" % (rc, out))
    expect_added(sb, before, dict(MOD_INSTALLED, **{"Maps\\CTF-Batch.unr": city, "Help\\Same.txt": b"same",
                                                    "Help\\Other.txt": b"first",
                                                    "Textures\\BatchTex.utx": game_data("BatchTex.utx")}),
                 game_rel(sb, game))
    third = out[out.index("Archive 3 of 4"):out.index("Archive 4 of 4")]
    for phrase in ['Archive 2 of 4:\n  "D:\\Maps\\Broken & Gone!.zip"\n', "2 of 4: Broken & Gone!.zip",
                   "cannot be unpacked", "3 installed, 1 failed, 0 need attention",
                   'need you; their parts above say why:\n  "D:\\Maps\\Broken & Gone!.zip"\n']:
        check(phrase in out, "missing %r\n%s" % (phrase, out))
    check("MISSING" not in out and "Map2.ZIP" not in out and "Map3.ZIP" not in out, out)
    check("identical to the archive's" in third and "different from the archive's" in third, third)


def case_batch_thirty(sb):
    datas = [zip_bytes([("Maps/CTF-Thirty%02d.unr" % k, game_data("CTF-Thirty%02d.unr" % k))]) for k in range(30)]
    more = sb.archives(datas)
    game = sb.game("UT")
    before = sb.snapshot()
    rc, out = sb.run(game, more=more)
    check(rc == 0 and "30 installed, 0 failed" in out and "Done. Every map is installed." in out, out[-3000:])
    expect_added(sb, before, {"Maps\\CTF-Thirty%02d.unr" % k: game_data("CTF-Thirty%02d.unr" % k) for k in range(30)},
                 game_rel(sb, game))


def case_umod_truncated(sb):
    # A umod cut short: nothing of the archive goes in.
    data = zip_bytes([("OrvaneMod.umod", umod_bytes(MOD_FILES, truncate=9)), ("Maps/CTF-X.unr", game_data("CTF-X.unr"))])
    damaged_case(sb, data)


def umod_behind_zip(directory_after):
    """A ZIP of a map and a help file with a umod's trailer after the ZIP's end record: the
    umod's files in the help file's stored bytes, its directory there too or after the ZIP."""
    hidden = [("System\\Hidden.u", game_data("Hidden.u")), ("Maps\\DM-Hidden.unr", game_data("DM-Hidden.unr"))]
    payload = b"".join(d for _, d in hidden)

    def tail(data_at, dir_at, total):  # the umod's directory and trailer
        directory = bytearray(compact_index(len(hidden)))
        for name, d in hidden:
            directory += compact_index(len(name) + 1) + name.encode("cp1252") + b"\0"
            directory += struct.pack("<III", data_at, len(d), 0)
            data_at += len(d)
        return bytes(directory) + struct.pack("<IIIII", MAGIC, dir_at, total, 1, 0)

    size = len(tail(0, 0, 0))
    zip_of = lambda notes: zip_bytes([("Maps/CTF-Nice.unr", game_data("CTF-Nice.unr")), ("Help/notes.dat", notes)],
                                     zipfile.ZIP_STORED)
    data = zip_of(payload + (b"" if directory_after else b"d" * (size - 20)))
    at = data.find(payload)
    if directory_after:
        return data + tail(at, len(data), len(data) + size)
    t = tail(at, at + len(payload), len(data) + 20)
    return zip_of(payload + t[:-20]) + t[-20:]


def case_umod_behind_zip(sb):
    # Every ZIP tool lists only the ZIP's two files: refused as two archives in one, whether the
    # umod's directory is in the ZIP or after it; nothing goes in.
    for directory_after in (False, True):
        data = umod_behind_zip(directory_after)
        check(zipfile.ZipFile(io.BytesIO(data)).namelist() == ["Maps/CTF-Nice.unr", "Help/notes.dat"], "not the ZIP")
        damaged_case(sb, data, 3, "reads as two kinds of archive at once", game_name="UT %d" % directory_after)


def case_umod_bytes_before_trailer(sb):
    # A umod in the ZIP whose directory stops short of its trailer: those bytes belong to no
    # file, and nothing of the archive goes in.
    umod = umod_bytes(MOD_FILES)
    magic, dir_at, total, version, crc = struct.unpack("<IIIII", umod[-20:])
    gap = b"PK\5\6" + bytes(18)
    umod = umod[:-20] + gap + struct.pack("<IIIII", magic, dir_at, total + len(gap), version, crc)
    damaged_case(sb, zip_bytes([("OrvaneMod.umod", umod), ("Maps/CTF-X.unr", game_data("CTF-X.unr"))]))


def case_missing_packages(sb):
    # The map needs a texture package (in a group of it) and a sound package that nothing
    # holds: both named, with their kinds; the group is no package; the files go in.
    city = package_bytes(needs={"CityTex": "Texture", "CitySounds": "Sound"}, groups={"CityTex": ["Walls"]},
                         unique="CTF-City", shape="map")
    sb.archive(zip_bytes([("Maps/CTF-City.unr", city), ("CTF-City.txt", b"about")]))
    game = sb.game("UT")
    before = sb.snapshot()
    rc, out = sb.run(game)
    expect_failure(rc, out, 10, "MISSING packages", "will not load until",
                   "  CityTex (texture package (.utx), needed by Maps\\CTF-City.unr)",
                   "  CitySounds (sound package (.uax), needed by Maps\\CTF-City.unr)")
    check("Walls" not in out, "a group is reported as a package\n" + out)
    expect_added(sb, before, {"Maps\\CTF-City.unr": city, "Help\\CTF-City.txt": b"about"}, game_rel(sb, game))


def case_packages_found(sb):
    # Found in the archive, in the game under another case, and in a folder that the game's
    # ini adds to its Paths: the install ends as any other.
    ini = ("[Engine.Engine]\r\nGameRenderDevice=SoftDrv.SoftwareRenderDevice\r\n[Core.System]\r\n" +
           "".join("Paths=../%s/*.%s\r\n" % p for p in (("System", "u"), ("Maps", "unr"), ("Textures", "utx"),
                                                          ("Sounds", "uax"), ("Music", "umx"), ("ExtraTex", "utx"))))
    mine = {"System\\UnrealTournament.ini": ini.encode(), "Textures\\gametex.UTX": game_data("game.utx"),
            "ExtraTex\\ModTex.utx": game_data("mod.utx")}
    city = package_bytes(needs={"ArchTex": "Texture", "GameTex": "Texture", "ModTex": "Texture"}, unique="CTF-City",
                         shape="map")
    sb.archive(zip_bytes([("Maps/CTF-City.unr", city), ("Textures/ArchTex.utx", game_data("ArchTex.utx"))]))
    game = sb.game("UT", mine)
    rc, out = sb.run(game)
    check(rc == 0 and "Done. The map is installed." in out and "MISSING" not in out and "NOT FOUND" not in out,
          "exit code %d\n%s" % (rc, out))


def case_objects_unfound(sb):
    # Each object the map takes is looked for in the file the game finds first under its
    # package's name; each one not there is named with why, and the remedy that fits.
    def pkg(name, holds=(), **more):
        return package_bytes(unique=name, holds=holds, **more)
    texture1 = [("Texture", "Texture1")]
    rows = [  # needs, groups, the game's files, the archive's other files, phrases
        ({"Render": "Texture"}, {}, {"System\\Render.u": pkg("Render", [("Class", "Render")]),
                                     "Textures\\Render.utx": pkg("RenderTex", texture1)}, {},
         ["Texture Render.Texture1 (needed by Maps\\CTF-Y.unr; System\\Render.u is found first under the name "
          "Render, and it holds no such texture)", "move it out of the game's folders"]),
        ({"CityTex": "Texture"}, {}, {"Textures\\CityTex.utx": pkg("old")}, {"Textures/CityTex.utx": pkg("new", texture1)},
         ["Texture CityTex.Texture1 (needed by Maps\\CTF-Y.unr; the game's Textures\\CityTex.utx (kept: it differs "
          "from the archive's) lacks it)", "move the game's copy out of its folder and install the map again"]),
        ({"CityTex": "Texture"}, {"CityTex": ["Walls"]}, {"Textures\\CityTex.utx": pkg("top", texture1)}, {},
         ["Textures\\CityTex.utx holds Texture1, but not in the group Walls)", "Get the version of the package"]),
        ({"Rocks": "Texture"}, {}, {"Textures\\Rocks.utx": pkg("Rocks", [("Sound", "Texture1")])}, {},
         ["Textures\\Rocks.utx holds Texture1, but as a Sound, not a Texture)", "put it in place of the game's"]),
        ({"Botpack": "Class", "UWindow": "Texture"}, {}, {}, {},  # UWindow is a code package, whatever is taken
         ["These come with Unreal Tournament itself: Botpack (code package (.u), needed by Maps\\CTF-Y.unr) "
          "UWindow (code package (.u), needed by", "The game folder looks incomplete"]),
        ({"CityTex": "Texture"}, {}, {"Textures\\CityTex.utx": pkg("deep", texture1, needs={"DeepTex": "Texture"})}, {},
         ["DeepTex (texture package (.utx), needed by Textures\\CityTex.utx, which Maps\\CTF-Y.unr needs)",
          "Map sites carry each"]),
        # A class neither the game's program nor its Engine.u holds: the game's remedy, never
        # another copy of its file.
        ([("Core", "Class", "Hologram", "Engine")], {}, {}, {},
         ["Class Engine.Hologram (needed by Maps\\CTF-Y.unr; System\\Engine.u, one of the game's own files, holds "
          "no such class)", "must never be replaced", "Repair or update the game"]),
        # Code taken from a name that only a sound package has: one entry, the missing package's remedy.
        ([("Core", "Class", "HaloAnnouncer", "HaloAnnouncer"), ("Core", "Class", "HaloVoice", "HaloAnnouncer")], {},
         {"Sounds\\HaloAnnouncer.uax": pkg("Halo", [("Sound", "Announce1")])}, {},
         ["2 objects of HaloAnnouncer (Class HaloAnnouncer.HaloAnnouncer, Class HaloAnnouncer.HaloVoice; needed by",
          "a package of another kind", "the code package (.u) HaloAnnouncer that they come from is missing",
          "Map sites carry each under its name"]),
    ]
    for k, (needs, groups, mine, theirs, phrases) in enumerate(rows):
        if isinstance(needs, list):  # imports as the game writes them
            city = package_bytes(imports=needs, unique="CTF-Y", shape="map")
        else:
            city = package_bytes(needs=needs, groups=groups, unique="CTF-Y", shape="map")
        sb.archive(zip_bytes([("Maps/CTF-Y.unr", city)] + list(theirs.items())))
        rc, out = sb.run(sb.game("UT%d" % k, mine))
        flat = " ".join(out.split())
        expect_failure(rc, flat, 10, "The map is installed, but it will not load", *phrases)
        # All but the fifth and sixth lack an object; no map site is named for the game's own
        # Botpack; no other copy of a package is asked for where the game's own or another
        # kind's file is found.
        check(("NOT FOUND where the game looks" in out) == (k not in (4, 5)) and ("Map sites" in out) == (k in (5, 7)) and
              ("put it in place of" in out or "Otherwise get the version" in out) == (k < 4), out)


def case_file_that_is_no_package(sb):
    sb.archive(zip_bytes([("Maps/CTF-Junk.unr", b"<html>404</html>"), ("Maps/CTF-Fine.unr", game_data("CTF-Fine.unr"))]))
    game = sb.game("UT")
    before = sb.snapshot()
    rc, out = sb.run(game)
    expect_failure(rc, out, 10, "no package the game can load", "Maps\\CTF-Junk.unr (not an Unreal package")
    expect_added(sb, before, {"Maps\\CTF-Junk.unr": b"<html>404</html>", "Maps\\CTF-Fine.unr": game_data("CTF-Fine.unr")},
                 game_rel(sb, game))


def case_check_out_of_memory(sb):
    # The package check runs out of memory once the files are in place: told as installed with
    # the check unfinished, alone and in a batch, never as nothing installed.
    good = {"Maps\\CTF-Good.unr": game_data("CTF-Good.unr") * 50, "Textures\\GoodTex.utx": game_data("GoodTex.utx") * 50}
    other = {"Maps\\CTF-Other.unr": game_data("CTF-Other.unr")}
    oom = {"ORVANE_TEST_CHECK_OUT_OF_MEMORY": "1"}
    for batch in (False, True):
        game = sb.game("UT %d" % batch)
        more = sb.archives([good_archive(), zip_bytes([("CTF-Other.unr", other["Maps\\CTF-Other.unr"])])])
        before = sb.snapshot()
        rc, out = sb.run(game, extra_env=oom, more=more if batch else ())
        expect_failure(rc, out, 11, "out of memory", "could not finish checking that the game has\nevery package",
                       "Maps\\CTF-Good.unr\n")
        check("Nothing was installed" not in out and "MISSING" not in out, out)
        if batch:
            check("0 installed, 0 failed, 2 need attention" in out, out)
        expect_added(sb, before, dict(good, **other) if batch else good, game_rel(sb, game))


def case_fits_80_columns(sb):
    # Every outcome the other rows make, in an 80-column console: no line longer than 79
    # characters but a name alone on its line (indented, quoted or before a ':').
    global RUN_OUTPUTS
    RUN_OUTPUTS = []
    try:
        for name, case in [("flat", case_flat), ("kept_told_apart", case_kept_told_apart),
                           ("odd_entries_do_not_block", case_odd_entries_do_not_block),
                           ("umod_in_zip", case_umod_in_zip), ("missing_packages", case_missing_packages),
                           ("file_that_is_no_package", case_file_that_is_no_package),
                           ("objects_unfound", case_objects_unfound), ("batch", case_batch),
                           ("check_out_of_memory", case_check_out_of_memory)] + FAILURES:
            case(Sandbox(sb.env, "fits-" + name))
        # The archive as the player picked it, from the names Orvane.exe writes beside it.
        for picked in ("D:\\Maps & Mods 100%\\CTF-Face!.zip", "D:\\" + "Downloads\\" * 7 + "CTF-Face.zip"):
            with open(os.path.join(sb.stage_unix, "Names.txt"), "w", newline="") as f:
                f.write("Other.ZIP=D:\\other.zip\r\nMap.ZIP=%s\r\n" % picked)
            sb.archive(good_archive())
            rc, out = sb.run(sb.game("UT" + str(len(picked))))
            shown = 'Map archive: "%s"\n' % picked if len(picked) <= 64 else 'Map archive:\n  "%s"\n' % picked
            check(rc == 0 and shown in out, out)
        # A name given as nothing: the archive as staged, never an empty line.
        with open(os.path.join(sb.stage_unix, "Names.txt"), "w", newline="") as f:
            f.write("Map.ZIP=\r\n")
        rc, out = sb.run(sb.game("UT-unnamed"))
        check(rc == 0 and "ECHO is" not in out and re.search(r"Map archive:\s+\"[^\"]*Map\.ZIP\"", out), out)
    finally:
        outputs, RUN_OUTPUTS = RUN_OUTPUTS, None
    for root, out in outputs:
        for line in out.split("\n"):
            alone = line.strip().strip('"').rstrip(":").strip('"')
            check(len(line) <= 79 or " " not in alone or alone.startswith(root),
                  "a line longer than 79 characters:\n%s\n%s" % (line, out))


def case_pause(sb):
    # With no console input the closing wait must not hold the window (or a test) open.
    sb.archive(good_archive())
    game = sb.game("UT")
    start = time.monotonic()
    rc, out = sb.run(game, no_pause=False)
    check(rc == 0 and "Press any key" in out, "exit code %d\n%s" % (rc, out))
    check(time.monotonic() - start < 60, "the wait took too long")
    rc, out = sb.run(game)
    check(rc == 0 and "Press any key" not in out, "ORVANE_NO_PAUSE=1 still waits\n" + out)


def case_script_file(env):
    # cmd.exe mis-reads labels and GOTOs in a batch file with bare LF line ends.
    data = open(env.script, "rb").read()
    check(data.count(b"\n") == data.count(b"\r\n") and data.endswith(b"\r\n"),
          "Orvane.BAT must have CRLF line ends throughout")
    check(all(b < 0x80 for b in data), "Orvane.BAT must be plain ASCII")
    # One table of exit codes: the unzip program's enum and -help, the shared table in its
    # README, the script's notes and the player's README say the same.
    repo = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
    read = lambda *p: open(os.path.join(repo, *p), encoding="utf-8").read().replace("\r\n", "\n")
    words = lambda t: " ".join(t.split())
    enum = {int(v) for v in re.findall(r"kExit\w+ = (\d+),", read("unzip", "src", "cli", "cli.h"))}
    cli = read("unzip", "src", "cli", "cli.cpp")
    helped = {int(c) for c in re.findall(r'"\s*(\d+)  ', cli[cli.index("Exit codes"):])}
    rows = re.findall(r"^\| (\d+) \| (.*) \| (.*) \|$", read("unzip", "README.md"), re.M)
    table = {int(c): words(script) for c, unzip, script in rows}
    check(enum == helped == {int(c) for c, unzip, _ in rows if unzip != "-"}, "exit codes: %s, -help %s, README %s"
          % (sorted(enum), sorted(helped), rows))
    notes = data.decode().replace("\r\n", "\n").split("rem Exit codes")[1].split("rem\n")[0]
    player = read("release", "README.txt").split("Its exit code tells")[1].split("\n\n")[1]
    for name, text in (("the script's notes", "\n".join(notes.split("\n")[2:])), ("README.txt", player)):
        said = {int(c): words(t.replace("rem ", " ")) for c, t in re.findall(r"^(?:rem)?\s+(\d+) +(.*(?:\n(?:rem)?\s{5,}.*)*)",
                                                                          text, re.M)}
        check(said == table, "%s and unzip/README.md differ:\n%s\n%s" % (name, said, table))
    # The launcher reads nothing the unzip program prints: it passes the code on, whatever it is.
    for word in (b"Failed", b"Total", b"Extracted", b"for /f", b"find "):
        check(word not in data, "Orvane.BAT reads the unzip program's text (%s)" % word.decode())


def make_unwritable(path):
    """Makes a folder refuse new files even for root. Returns an undo function, or None."""
    if os.geteuid() != 0:
        os.chmod(path, stat.S_IRUSR | stat.S_IXUSR)
        return lambda: os.chmod(path, stat.S_IRWXU)
    if subprocess.run(["chattr", "+i", path], capture_output=True).returncode != 0:
        return None
    return lambda: subprocess.run(["chattr", "-i", path], check=True)


def case_not_writable(sb):
    if os.geteuid() == 0:
        # A run killed half way leaves immutable folders that nothing could delete.
        subprocess.run(["chattr", "-R", "-i", os.path.dirname(sb.env.run_unix)],
                       capture_output=True)
    sb.archive(good_archive())
    undo = []
    try:
        # One game lacks Textures (it must be made), the other has every folder.
        for name, folders in (("Program Files\\UT", ["Maps"]), ("Program Files\\UT2", ["Maps", "Textures"])):
            game = sb.game(name)
            unix = sb.unix_path(game)
            for f in folders:
                os.makedirs(os.path.join(unix, f))
            for f in folders + [""]:
                u = make_unwritable(os.path.join(unix, f) if f else unix)
                if u is None:
                    raise SkipCase("cannot make a read-only folder here (chattr +i refused)")
                undo.append(u)
            try:
                open(os.path.join(unix, "Maps", "probe"), "wb").close()
                raise SkipCase("read-only folders are writable here")
            except OSError:
                pass
            before = sb.snapshot()
            rc, out = sb.run(game)
            expect_failure(rc, out, 4, "may not write", "administrator")
            expect_untouched(sb, before)
    finally:
        for u in reversed(undo):
            u()


class SkipCase(Exception):
    pass


def on_small_disk(path, size="512k"):
    """Mounts a small tmpfs on path. Returns an undo function; skips the case where not root."""
    os.makedirs(path, exist_ok=True)
    if os.geteuid() != 0 or subprocess.run(["mount", "-t", "tmpfs", "-o", "size=" + size, "tmpfs", path],
                                           capture_output=True).returncode != 0:
        raise SkipCase("cannot mount a small disk here")
    return lambda: subprocess.run(["umount", "-l", path], check=True)


def case_full_disk(sb):
    # A map too big for the game's disk, then a .umod too big for TEMP: nothing goes in.
    big = os.urandom(2 << 20)
    for name, small in (("CTF-Big.unr", "games/UT"), ("Big.umod", "temp")):
        undo = on_small_disk(os.path.join(sb.unix, small))
        try:
            sb.archive(zip_bytes([(name, big), ("Maps/CTF-Small.unr", b"small")], zipfile.ZIP_STORED))
            game = sb.win + "\\games\\UT"
            if not os.path.exists(os.path.join(sb.unix, "games", "UT", "System")):
                game = sb.game("UT")
            before = sb.snapshot()
            rc, out = sb.run(game)
            expect_failure(rc, out, 8, "not enough free disk space", "not enough free space")
            expect_untouched(sb, before)
        finally:
            undo()


def case_temp_missing(sb):
    # TEMP names no folder: said so, with the folder and what to set; nothing goes in.
    sb.archive(good_archive())
    game = sb.game("UT")
    before = sb.snapshot()
    rc, out = sb.run(game, temp_win=sb.win + "\\No Temp & Co")
    expect_failure(rc, out, 8, 'The folder for temporary files was not found:\n  "%s\\No Temp & Co"\n' % sb.win,
                   "Set TEMP to an existing folder", "Nothing was\ninstalled.")
    expect_untouched(sb, before)


def case_temp_full(sb):
    # TEMP's disk is full. What the player reads is never written down, so a batch of maps goes
    # in and is told whole; only a .umod, unpacked in TEMP, cannot be: its archive alone says
    # so, and nothing of it goes in.
    maps = {"Maps\\CTF-Full%d.unr" % k: game_data("CTF-Full%d.unr" % k) for k in range(2)}
    datas = [zip_bytes([(name.replace("\\", "/"), data)]) for name, data in maps.items()]
    datas.insert(1, zip_bytes([("OrvaneMod.umod", umod_bytes(MOD_FILES))]))
    temp = os.path.join(sb.unix, "temp")
    undo = on_small_disk(temp, "64k")
    try:
        left = os.statvfs(temp)
        with open(os.path.join(temp, "filler"), "wb") as f:
            f.write(bytes(left.f_bavail * left.f_frsize))
        more = sb.archives(datas)
        game = sb.game("UT")
        before = sb.snapshot()
        rc, out = sb.run(game, more=more)
        check(rc == 8, "exit code %d\n%s" % (rc, out))
        for phrase in ("not enough free space in the folder for temporary files", "Archive 2 of 3:",
                       "ERROR: there is not enough free disk space for this map",
                       "All 3 archives: 2 installed, 1 failed, 0 need attention.\n",
                       'their parts above say why:\n  "%s\\Map2.ZIP"\n' % sb.stage_win):
            check(phrase in out, "missing %r\n%s" % (phrase, out))
        check(out.count("Done. The map is installed.") == 2 and out.count("Nothing was installed") == 1, out)
        # The two that went in, each with its record; none for the one that did not.
        rel = game_rel(sb, game)
        new = {k: v for k, v in added(before, sb.snapshot()).items() if v is not None}
        records = {os.path.join(rel, "Orvane", n) for n in ("Map.ZIP.txt", "Map3.ZIP.txt")}
        check(set(new) - records == {os.path.join(rel, *k.split("\\")) for k in maps}, "files added: %s" % sorted(new))
        check(sorted(os.listdir(os.path.join(sb.unix, rel, "Orvane"))) == ["Map.ZIP.txt", "Map3.ZIP.txt"],
              "records: %s" % os.listdir(os.path.join(sb.unix, rel, "Orvane")))
        check(os.listdir(temp) == ["filler"], "left in TEMP: %s" % os.listdir(temp))
    finally:
        undo()


# 7zz's other main codings beside its default (solid LZMA2); the password is in "failures".
SEVENZIP_CODINGS = [("lzma_not_solid", ["-m0=lzma", "-ms=off"]), ("ppmd", ["-m0=ppmd"]), ("bcj2", ["-mf=BCJ2"]),
                    ("deflate", ["-m0=deflate"]), ("bzip2", ["-m0=bzip2"]), ("stored", ["-mx0"])]

def paths_cases(wine):
    # Natively a quoted TEMP is only a folder with quotes in its name: the quotes are cmd's.
    return [(name, (lambda g, t, tmp: lambda sb: path_case(sb, g, t, tmp))(g, t, tmp))
            for name, g, t, tmp in PATH_CASES if wine or name != "temp_in_quotes"]


FAILURES = [("truncated_archive", case_truncated_archive),
            ("corrupted_entry", case_corrupted_entry), ("not_a_zip", case_not_a_zip),
            ("escaping_entries_stay_inside", case_escaping_entries_stay_inside), ("zip_bomb", case_zip_bomb),
            ("hidden_builtins", case_hidden_builtins),
            ("nothing_to_install", case_nothing_to_install),
            ("missing_inputs", case_missing_inputs),
            ("temp_missing", case_temp_missing),
            ("file_in_place_of_folder", case_file_in_place_of_folder),
            ("folder_in_the_way", case_folder_in_the_way),
            ("name_windows_cannot_hold", case_name_windows_cannot_hold),
            ("protected_and_unsupported", case_protected_and_unsupported),
            ("sevenzip_protected_and_split", case_sevenzip_protected_and_split)]

# Every case, run natively against the engine (the file's checks need neither).
GROUPS = {
    "file": [("script_file", case_script_file)],
    "layouts": [("flat", case_flat), ("foldered", case_foldered),
                ("wrapped_mixed_case", case_wrapped_mixed_case),
                ("entry_names_with_metachars", case_entry_names_with_metachars),
                ("tar_style_names", lambda sb: layout_case(sb, "./Docs /", FLAT[:3], [])),
                ("sevenzip_pack", lambda sb: layout_case(sb, "Pack/", FLAT, ["screenshot.jpg"], sevenzip_bytes)),
               ] + [("sevenzip_" + name, (lambda o: lambda sb: layout_case(
                   sb, "Pack/", FLAT, [], lambda entries: sevenzip_bytes(entries, *o)))(options))
                    for name, options in SEVENZIP_CODINGS] + [
                ("existing_texture_kept", case_existing_texture_kept),
                ("kept_told_apart", case_kept_told_apart),
                ("odd_entries_do_not_block", case_odd_entries_do_not_block),
                ("big_pack", case_big_pack)],
    "paths": paths_cases(wine=False),
    "failures": FAILURES + [("killed_run_leaves_nothing", case_killed_run_leaves_nothing),
                            ("fits_80_columns", case_fits_80_columns)],
    "umod": [("umod_in_zip", case_umod_in_zip), ("umod_alone", case_umod_alone),
             ("umod_names_that_escape", case_umod_names_that_escape), ("umod_truncated", case_umod_truncated),
             ("umod_behind_zip", case_umod_behind_zip), ("umod_bytes_before_trailer", case_umod_bytes_before_trailer),
             ("batch", case_batch), ("batch_thirty", case_batch_thirty)],
    "packages": [("missing_packages", case_missing_packages), ("packages_found", case_packages_found),
                 ("objects_unfound", case_objects_unfound),
                 ("file_that_is_no_package", case_file_that_is_no_package),
                 ("check_out_of_memory", case_check_out_of_memory)],
    # A small disk of its own (tmpfs): as root only.
    "full_disk": [("full_disk", case_full_disk), ("temp_full", case_temp_full)],
}

# Under Wine, only what needs Windows: the launcher's contract (the folder names cmd could
# misread arrive intact, the pause, the codes it passes on or gives itself), Windows' own
# read-only folder and disk space, and one row each of a layout, a umod, a batch and a failure
# from start to end.
WINE_GROUPS = {
    "launcher": paths_cases(wine=True) + [("pause", case_pause), ("engine_missing", case_engine_missing),
                                          ("missing_inputs", case_missing_inputs),
                                          ("hidden_builtins", case_hidden_builtins),
                                          ("temp_missing", case_temp_missing)],
    "end_to_end": [("flat", case_flat), ("umod_in_zip", case_umod_in_zip), ("batch", case_batch),
                   ("truncated_archive", case_truncated_archive),
                   # The classic limit of a path's length is Windows' own, and so is what a
                   # killed process leaves behind (open files, names pending deletion).
                   ("path_too_long", case_path_too_long),
                   ("killed_run_leaves_nothing", case_killed_run_leaves_nothing)],
    "not_writable": [("not_writable", case_not_writable)],
    "full_disk": GROUPS["full_disk"],
}


class Env:
    def __init__(self, args):
        run_name = "run-%d-%d" % (os.getpid(), int(time.time() * 1000))
        self.run_win = "C:\\OrvaneScriptTests\\" + run_name
        self.engine = os.path.abspath(args.engine) if args.engine else None
        if self.engine:
            self.script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "Orvane.BAT")
            self.run_unix = tempfile.mkdtemp(prefix="orvane-script-tests-")
            return
        self.script = os.path.abspath(args.script)
        self.pkzip = os.path.abspath(args.pkzip)
        self.launch = os.path.abspath(args.launch)
        drive_c = os.path.join(os.environ["WINEPREFIX"], "drive_c")
        self.run_unix = os.path.join(drive_c, "OrvaneScriptTests", run_name)
        os.makedirs(self.run_unix)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--engine", help="the native Pkzip25: run the cases without Wine")
    parser.add_argument("--script")
    parser.add_argument("--pkzip")
    parser.add_argument("--launch")
    parser.add_argument("--group", action="append", choices=sorted(set(GROUPS) | set(WINE_GROUPS)))
    parser.add_argument("--keep", action="store_true", help="keep the sandbox for a look")
    args = parser.parse_args()
    groups = GROUPS if args.engine else WINE_GROUPS
    if not args.engine:
        if not (args.script and args.pkzip and args.launch):
            parser.error("give --engine, or --script, --pkzip and --launch")
        if not os.environ.get("WINEPREFIX"):
            print("WINEPREFIX is not set; these tests never use ~/.wine", file=sys.stderr)
            return 1
    for group in args.group or ():
        if group not in groups:
            parser.error("no group %s %s" % (group, "natively" if args.engine else "under Wine"))
    env = Env(args)
    failed = skipped = 0
    for group in args.group or sorted(groups):
        for name, case in groups[group]:
            try:
                case(env) if group == "file" else case(Sandbox(env, name))
                print("PASS %s/%s" % (group, name))
            except SkipCase as e:
                skipped += 1
                print("SKIP %s/%s: %s" % (group, name, e))
            except Failure as e:
                failed += 1
                print("FAIL %s/%s: %s" % (group, name, e))
            sys.stdout.flush()
    if not failed and not args.keep:
        shutil.rmtree(env.run_unix, ignore_errors=True)
    if failed:
        print("%d failed; sandbox kept in %s" % (failed, env.run_unix))
        return 1
    return SKIP if skipped else 0


if __name__ == "__main__":
    sys.exit(main())
