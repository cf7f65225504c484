#!/usr/bin/env python3
"""Differential test: examples/regtree.vbs and examples/regtree.js, clients of
the component, against Wine's own `reg query /s` (the peer). Each listing must
equal the peer's line for line, data of every type included:

- a scratch tree below HKCU, imported from a .reg file: values of every type,
  empty data, data too short or too long for its type, multi-string lists,
  nested and empty keys;
- the whole of HKLM\\Software, in the host's own view;
- with --views (a win64 prefix): the 32-bit host with /reg:64 and the 64-bit
  host with /reg:32, each against the 64-bit reg.exe listing that view.

Where Wine's reg.exe cannot show something the test allows for it: REG_QWORD
data, which it prints as "(null)" while regtree prints it as Windows'
reg.exe does (0x and lower-case hex), is checked against the data the test
wrote; and a key that reg.exe cannot query is left out of regtree's listing.

    run_differential.py WINE_RUN SOURCE_DIR WORK_DIR [--views PREFIX MODULE32]

WINE_RUN runs programs of the build's bitness in its prefix. --views names
the build's win64 prefix and the 32-bit module, which the test registers
there for the 32-bit host and unregisters at the end. Listings are compared
as bytes (both programs write the console code page). The last line is
"differential: N compared, M failed": N listed lines compared, M failures.
"""
import difflib
import itertools
import os
import random
import re
import subprocess
import sys
import time


def text(n):
    return ("0123456789abcdef" * (n // 16 + 1))[:n]


def utf16(s):
    return s.encode("utf-16-le")


# (key below the top, value name or None for the default, type code, data
# as bytes, or as str for REG_SZ, or as int for REG_DWORD)
REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_MULTI_SZ, REG_QWORD = 1, 2, 4, 7, 11
TREE = [
    ("", None, REG_SZ, "root default"),
    ("", "empty", REG_SZ, ""),
    ("", "punctuation", REG_SZ, '100% %PATH% "quoted" back\\slash ; , = [x]'),
    ("", "name with spaces", REG_SZ, "  padded  "),
    ("", "caf\u00e9", REG_SZ, "\u00fcber"),
    ("", "len1999", REG_SZ, text(1999)),
    ("", "len2001", REG_SZ, text(2001)),
    ("", "len5000", REG_SZ, text(5000)),
    ("", "zero inside", REG_SZ, utf16("before\0after\0")),
    ("", "dw0", REG_DWORD, 0),
    ("", "dwmax", REG_DWORD, 0xFFFFFFFF),
    ("", "dwmin", REG_DWORD, 0x80000000),
    ("", "dwdec", REG_DWORD, 123456789),
    ("", "expand", REG_EXPAND_SZ, utf16("%SystemRoot%\\system32\0")),
    ("", "expand empty", REG_EXPAND_SZ, utf16("\0")),
    ("", "binary", 3, bytes.fromhex("00FF10AB")),
    ("", "binary empty", 3, b""),
    ("", "binary long", 3, bytes(range(256)) * 12),
    ("", "none", 0, bytes.fromhex("0102abcd")),
    ("", "none empty", 0, b""),
    ("", "big-endian", 5, bytes.fromhex("01020304")),
    ("", "multi", REG_MULTI_SZ, utf16("one\0two\0\0")),
    ("", "multi one", REG_MULTI_SZ, utf16("only\0\0")),
    ("", "multi empty list", REG_MULTI_SZ, utf16("\0")),
    ("", "multi empty strings", REG_MULTI_SZ, utf16("\0a\0\0b\0\0")),
    ("", "multi long", REG_MULTI_SZ, utf16("".join(f"item{i:04}\0" for i in range(300)) + "\0")),
    # Types reg.exe has no name for: it prints "(null)" for type and data.
    ("", "link", 6, utf16("\\Registry\\Machine\\Software")),
    ("", "resource list", 8, bytes.fromhex("0100000000")),
    ("", "type 9", 9, bytes.fromhex("0909")),
    ("", "type 10", 10, b""),
    ("", "type 12", 12, bytes.fromhex("12")),
    ("", "type 0x12345", 0x12345, bytes.fromhex("ff")),
    # reg.exe reads DWORDs and strings from a buffer that it reuses for each
    # value of a key, so data shorter than four bytes (or than one character)
    # shows the previous value's bytes beyond it. Each such value follows one
    # of zeros, so that what it shows is its own data read as far as it goes.
    ("short data", "a zeros", 3, bytes(8)),
    ("short data", "b dword of 3 bytes", REG_DWORD, bytes.fromhex("010203")),
    ("short data", "c zeros", 3, bytes(8)),
    ("short data", "d dword of no bytes", REG_DWORD, b""),
    ("short data", "e zeros", 3, bytes(8)),
    ("short data", "f big-endian of 2 bytes", 5, bytes.fromhex("0102")),
    ("short data", "g zeros", 3, bytes(8)),
    ("short data", "h string of no bytes", REG_SZ, b""),
    ("short data", "i zeros", 3, bytes(8)),
    ("short data", "j expand of no bytes", REG_EXPAND_SZ, b""),
    ("short data", "k dword of 5 bytes", REG_DWORD, bytes.fromhex("0102030405")),
    ("short data", "l big-endian of 8 bytes", 5, bytes.fromhex("0102030405060708")),
    ("level1", None, REG_SZ, ""),
    ("level1\\level2", "dw", REG_DWORD, 2),
    ("level1\\level2\\level3", "s", REG_SZ, "three"),
    ("level1\\level2\\level3\\level4", None, REG_SZ, "deepest"),
    ("level1\\level2\\level3\\level4", "bin", 3, bytes.fromhex("01")),
    ("Mixed Case Key", "Value", REG_EXPAND_SZ, utf16("%TEMP%\0")),
] + [(f"wide\\k{i:02}", "n", REG_DWORD, i) for i in range(1, 9)]
EMPTY_KEYS = ["empty key", "level1\\empty leaf"]
# REG_QWORD values and the data regtree prints for them.
QWORDS = [
    ("qword", "big", bytes.fromhex("efcdab8967452301"), "0x123456789abcdef"),
    ("qword", "max", bytes(b"\xff" * 8), "0xffffffffffffffff"),
    ("qword", "sign bit", bytes(7) + b"\x80", "0x8000000000000000"),
    ("qword", "zero", bytes(8), "0x0"),
    ("qword", "short", bytes.fromhex("010203"), "0x30201"),
]


def reg_file(top):
    """The scratch tree as the text of a .reg file."""
    quote = lambda s: '"' + s.replace("\\", "\\\\").replace('"', '\\"') + '"'
    keys = {}
    for key in [""] + EMPTY_KEYS:
        keys.setdefault(key, [])
    for key, name, kind, data in TREE + [(k, n, REG_QWORD, d) for k, n, d, _ in QWORDS]:
        if kind == REG_SZ and isinstance(data, str):
            shown = quote(data)
        elif kind == REG_DWORD and isinstance(data, int):
            shown = f"dword:{data:08x}"
        else:
            shown = (f"hex({kind:x}):" if kind != 3 else "hex:") + ",".join(f"{b:02x}" for b in data)
        keys.setdefault(key, []).append(("@" if name is None else quote(name)) + "=" + shown)
        while "\\" in key:  # parents too, so that every key is listed
            key = key.rsplit("\\", 1)[0]
            keys.setdefault(key, [])
    lines = ["Windows Registry Editor Version 5.00", ""]
    for key in sorted(keys):
        lines += [f"[{top}{chr(92) + key if key else ''}]"] + keys[key] + [""]
    return "\r\n".join(lines) + "\r\n"


class Wine:
    """Runs Windows programs; their output goes to files, never pipes."""

    def __init__(self, work, run64, views):
        self.work, self.loaders = work, {"host": [run64]}
        if views:
            env = dict(os.environ, WINEPREFIX=views[0], WINEARCH="win64", WINEDEBUG="-all",
                       WINEDLLOVERRIDES="mscoree,mshtml=")
            self.loaders = {"host": [run64], "32": ["wine"], "64": [run64]}
            self.env32 = env
        self.times = {}

    def run(self, out, *args, bits="host", limit=300):
        path = os.path.join(self.work, out)
        start = time.monotonic()
        with open(path, "wb") as f:
            status = subprocess.run(["timeout", "-k", "10", str(limit), *self.loaders[bits], *args],
                                    stdin=subprocess.DEVNULL, stdout=f, stderr=subprocess.STDOUT,
                                    env=self.env32 if bits == "32" else None).returncode
        self.times[out] = time.monotonic() - start
        with open(path, "rb") as f:
            return status, f.read().decode("latin-1").replace("\r", "")


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def first_differences(expected, got, label, first="reg query"):
    """The first lines of a unified diff of two listings, long lines cut."""
    diff = difflib.unified_diff(expected, got, first, label, n=2, lineterm="")
    return "\n".join(line if len(line) <= 160 else f"{line[:160]}...({len(line)} chars)"
                     for line in itertools.islice(diff, 40))


# Wine opens Perflib\009 as the performance-text pseudo key, on which
# RegQueryInfoKey fails (6); reg.exe leaves such a key out without a word,
# while regtree lists it with neither values nor sub-keys.
UNQUERYABLE = re.compile(r"^HKEY_LOCAL_MACHINE\\Software(\\Wow6432Node)?\\Microsoft\\Windows NT\\CurrentVersion\\Perflib\\009$")


def without_unqueryable(lines):
    """A listing without the empty keys that reg.exe cannot query."""
    kept = []
    for i, line in enumerate(lines):
        if UNQUERYABLE.match(line) and kept and kept[-1] == "" and lines[i + 1:i + 2] in ([""], []):
            kept.pop()
        else:
            kept.append(line)
    return kept


def expected_qwords(peer, top):
    """The peer's listing with the REG_QWORD lines the test wrote as regtree
    prints them; any other stays "(null)", and so differs."""
    known = {(top + ("\\" + k if k else ""), n): shown for k, n, _, shown in QWORDS}
    lines, key = [], None
    for line in peer:
        match = re.match(r"^    (.*)    REG_QWORD    \(null\)$", line)
        if match and (key, match.group(1)) in known:
            line = f"    {match.group(1)}    REG_QWORD    {known[key, match.group(1)]}"
        elif line and not line.startswith(" "):
            key = line
        lines.append(line)
    return lines


def main(wine_run, source_dir, work, *options):
    views = options[1:3] if options[:1] == ("--views",) else None
    if options and not views or views and len(views) != 2:
        sys.exit("usage: run_differential.py WINE_RUN SOURCE_DIR WORK_DIR [--views PREFIX MODULE32]")
    os.makedirs(work, exist_ok=True)
    wine = Wine(work, wine_run, views)
    base = f"Software\\VornRegistryTests\\diff-{os.getpid()}-{random.randrange(10**6)}"
    top = "HKEY_CURRENT_USER\\" + base
    scripts = {name: windows_path(os.path.join(source_dir, "examples", name))
               for name in ("regtree.vbs", "regtree.js")}
    problems, compared = [], 0

    peers = {}

    def compare(label, peer_label, peer_args, script, args, bits="host", peer_bits="host", fix=None):
        """Lists with a script and compares with the peer's listing, line for
        line. The peer lists a tree once for every script that lists it, and
        again after a mismatch: when the tree changed meanwhile (other
        programs in the prefix may write it), both list it once more."""
        nonlocal compared
        for attempt in (1, 2):
            if peer_label not in peers:
                status, peers[peer_label] = wine.run(peer_label + ".txt", "reg", "query", *peer_args, bits=peer_bits)
                if status:
                    problems.append(f"{peer_label}: reg query ended with status {status}: {peers[peer_label][:300]}")
                    return
            peer = peers[peer_label]
            status, mine = wine.run(label + ".txt", "cscript", "//nologo", scripts[script], *args, bits=bits)
            expected, mine_lines = peer.split("\n"), without_unqueryable(mine.split("\n"))
            if fix:
                expected = fix(expected)
            if status == 0 and mine_lines == expected:
                compared += len(expected)
                return
            if attempt == 1:
                del peers[peer_label]
                status, again = wine.run(peer_label + ".txt", "reg", "query", *peer_args, bits=peer_bits)
                if status == 0 and again != peer:
                    print(f"note: the tree of {peer_label} changed while {label} listed it; listing both again:\n"
                          + first_differences(peer.split("\n"), again.split("\n"), "reg query again"))
                    peers[peer_label] = again
                    continue
            problems.append(f"{label} (status {status}, {len(mine_lines)} lines) differs from {peer_label} "
                            f"({len(expected)} lines):\n" + first_differences(expected, mine_lines, label))
            return

    def regsvr32(*args):
        """The 32-bit regsvr32, once more when it fails (seen now and then under load)."""
        for attempt in (1, 2):
            status = wine.run("regsvr32.log", "regsvr32", *args, bits="32")[0]
            if status == 0:
                return True
        problems.append(f"regsvr32 {' '.join(args)} ended with status {status}")
        return False

    registered32 = False
    try:
        # The scratch tree, in one import.
        reg = os.path.join(work, "tree.reg")
        with open(reg, "w", encoding="utf-16", newline="") as f:
            f.write(reg_file(top))
        status, out = wine.run("import.log", "reg", "import", windows_path(reg))
        if status:
            problems.append(f"setup: reg import ended with status {status}: {out.strip()[:300]}")
        for script in scripts:
            compare(f"scratch-{script}", "scratch-peer", (top, "/s"), script, ("HKCU", base),
                    fix=lambda lines: expected_qwords(lines, top))
        built = len(TREE) + len(QWORDS)
        listed = sum(1 for line in open(os.path.join(work, "scratch-regtree.vbs.txt"), encoding="latin-1")
                     if line.startswith("    "))
        if listed < built:
            problems.append(f"regtree.vbs lists {listed} values of the {built} built")

        # HKLM\Software, about 35,000 lines in a win32 prefix and 88,000 in
        # the 64-bit view of a win64 one (where Wow6432Node is part of it).
        # Where no view is chosen each script lists it in the host's own.
        if not views:
            for script in scripts:
                compare(f"hklm-{script}", "hklm-peer", ("HKLM\\Software", "/s"), script, ("HKLM", "Software"))
        else:
            module32 = windows_path(os.path.abspath(views[1]))
            if not os.path.isfile(views[1]):
                problems.append(f"the 32-bit module {views[1]} is not built")
            else:
                registered32 = True
                regsvr32("/s", module32)
            # The 64-bit view: the 64-bit host in its own view (JScript) and
            # the 32-bit host choosing it (VBScript).
            compare("hklm64-regtree.js", "hklm64-peer", ("HKLM\\Software", "/s", "/reg:64"), "regtree.js",
                    ("HKLM", "Software"), bits="64", peer_bits="64")
            compare("hklm64-regtree.vbs-32bit-host", "hklm64-peer", ("HKLM\\Software", "/s", "/reg:64"),
                    "regtree.vbs", ("HKLM", "Software", "/reg:64"), bits="32", peer_bits="64")
            # The 32-bit view, chosen by the 64-bit host, against the 64-bit
            # reg.exe. Wine shows a 64-bit program asking for the 32-bit view
            # (KEY_WOW64_32KEY) only the view's own keys below
            # Software\Classes, not the ones both views share, which 32-bit
            # programs see there: the module and reg.exe alike.
            compare("hklm32-regtree.vbs-64bit-host", "hklm32-peer", ("HKLM\\Software", "/s", "/reg:32"),
                    "regtree.vbs", ("HKLM", "Software", "/reg:32"), bits="64", peer_bits="64")
    finally:
        wine.run("cleanup.log", "reg", "delete", top, "/f")
        if registered32:
            regsvr32("/u", "/s", module32)
    for label, seconds in wine.times.items():
        print(f"time: {label} {seconds:.1f} s")
    for p in problems:
        print("DIFF", p)
    print(f"differential: {compared} compared, {len(problems)} failed")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
