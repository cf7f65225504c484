#!/usr/bin/env python3
"""Differential test: builds a tree of keys and values with Wine's `reg add`,
lists it with Wine's `reg query /s` (the peer) and with examples/regtree.vbs,
which reads it through the component, and compares the listings: key paths,
value names and types, and the data of REG_SZ and REG_DWORD values (the only
types whose data the component decodes).

    run_differential.py WINE_RUN SOURCE_DIR WORK_DIR

Both listings are read as bytes (each program wrote its text in the console
code page the same way). The last line is "differential: N compared, M failed".
"""
import os
import random
import re
import subprocess
import sys

VALUE_LINE = re.compile(r"^    (.*?)    (REG_[A-Z_]+)(?:    (.*))?$")
DECODED = {"REG_SZ", "REG_DWORD"}


def text(n):
    return ("0123456789abcdef" * (n // 16 + 1))[:n]


# (key below the top, value name or None for the key's default, type, data)
TREE = [
    ("", None, "REG_SZ", "root default"),
    ("", "empty", "REG_SZ", ""),
    ("", "punctuation", "REG_SZ", '100% %PATH% "quoted" back\\slash ; , = [x]'),
    ("", "name with spaces", "REG_SZ", "  padded  "),
    ("", "caf\u00e9", "REG_SZ", "\u00fcber"),
    ("", "len1999", "REG_SZ", text(1999)),
    ("", "len2001", "REG_SZ", text(2001)),
    ("", "len5000", "REG_SZ", text(5000)),
    ("", "dw0", "REG_DWORD", "0"),
    ("", "dwmax", "REG_DWORD", "0xFFFFFFFF"),
    ("", "dwmin", "REG_DWORD", "0x80000000"),
    ("", "dwdec", "REG_DWORD", "123456789"),
    ("", "expand", "REG_EXPAND_SZ", "%SystemRoot%\\system32"),
    ("", "binary", "REG_BINARY", "00FF10AB"),
    ("", "multi", "REG_MULTI_SZ", "one\\0two"),
    ("level1", None, "REG_SZ", ""),
    ("level1\\level2", "dw", "REG_DWORD", "2"),
    ("level1\\level2\\level3", "s", "REG_SZ", "three"),
    ("level1\\level2\\level3\\level4", None, "REG_SZ", "deepest"),
    ("level1\\level2\\level3\\level4", "bin", "REG_BINARY", "01"),
    ("Mixed Case Key", "Value", "REG_EXPAND_SZ", "%TEMP%"),
] + [(f"wide\\k{i:02}", "n", "REG_DWORD", str(i)) for i in range(1, 9)]
EMPTY_KEYS = ["empty key", "level1\\empty leaf"]


def main(wine_run, source_dir, work):
    os.makedirs(work, exist_ok=True)
    base = f"Software\\VornRegistryTests\\diff-{os.getpid()}-{random.randrange(10**6)}"
    top = "HKEY_CURRENT_USER\\" + base

    def wine(out, *args):
        """Runs a Windows program; its output goes to a file, never a pipe."""
        path = os.path.join(work, out)
        with open(path, "wb") as f:
            status = subprocess.run(["timeout", "-k", "10", "300", wine_run, *args],
                                    stdin=subprocess.DEVNULL, stdout=f, stderr=subprocess.STDOUT).returncode
        with open(path, "rb") as f:
            return status, f.read().decode("latin-1").replace("\r", "")

    problems, keys = [], {top}
    try:
        for key, name, kind, data in TREE:
            where = top + ("\\" + key if key else "")
            which = ["/ve"] if name is None else ["/v", name]
            status, out = wine("setup.log", "reg", "add", where, *which, "/t", kind, "/d", data, "/f")
            if status:
                problems.append(f"setup: reg add {where} {name} failed: {out.strip()}")
            while where != top:
                keys.add(where)
                where = where.rsplit("\\", 1)[0]
        for key in EMPTY_KEYS:
            keys.add(top + "\\" + key)
            if wine("setup.log", "reg", "add", top + "\\" + key, "/f")[0] or \
                    wine("setup.log", "reg", "delete", top + "\\" + key, "/va", "/f")[0]:
                problems.append(f"setup: empty key {key} failed")

        regtree = "Z:" + os.path.join(source_dir, "examples", "regtree.vbs").replace("/", "\\")
        listings = {}
        for label, args in (("peer", ("reg", "query", top, "/s")),
                            ("regtree.vbs", ("cscript", "//nologo", regtree, "HKCU", base))):
            status, out = wine(label + ".txt", *args)
            if status:
                problems.append(f"{label} ended with status {status}: {out[:500]}")
            listings[label] = parse(out, label, problems)
        peer, mine = listings["peer"], listings["regtree.vbs"]
        compared = compare(peer, mine, problems)
        if len(mine) < len(keys) or sum(map(len, mine.values())) < len(TREE):
            problems.append(f"regtree.vbs lists {len(mine)} keys and {sum(map(len, mine.values()))} values, "
                            f"fewer than the {len(keys)} keys and {len(TREE)} values built")
    finally:
        wine("cleanup.log", "reg", "delete", top, "/f")
    for p in problems:
        print("DIFF", p)
    print(f"differential: {compared} compared, {len(problems)} failed")
    return 1 if problems else 0


def parse(listing, label, problems):
    """{key path: {value name: (type, data)}} from a listing laid out like `reg query /s`."""
    keys, current = {}, None
    for line in filter(str.strip, listing.split("\n")):
        match = VALUE_LINE.match(line)
        if line.startswith("    ") and match and current is not None:
            name, kind, data = match.group(1), match.group(2), match.group(3) or ""
            if name in keys[current]:
                problems.append(f"{label}: value {name!r} listed twice under {current}")
            keys[current][name] = (kind, data)
        elif line.startswith(("    ", "ERROR")):
            problems.append(f"{label}: cannot read {line[:80]!r}")
        elif line in keys:
            problems.append(f"{label}: key {line} listed twice")
        else:
            current = line
            keys[current] = {}
    return keys


def compare(peer, mine, problems):
    """Adds every difference to problems and returns how many items were compared."""
    short = lambda s: repr(s) if len(s) <= 60 else repr(s[:60]) + f"...({len(s)} chars)"
    for key in sorted(set(peer) ^ set(mine)):
        problems.append(f"key {key} only in {'peer' if key in peer else 'regtree.vbs'}")
    compared = 0
    for key in sorted(set(peer) & set(mine)):
        theirs, ours = peer[key], mine[key]
        for name in sorted(set(theirs) ^ set(ours)):
            problems.append(f"{key}: value {short(name)} only in {'peer' if name in theirs else 'regtree.vbs'}")
        for name in sorted(set(theirs) & set(ours)):
            compared += 1
            (their_type, their_data), (our_type, our_data) = theirs[name], ours[name]
            if their_type != our_type or (our_type in DECODED and our_data != their_data):
                problems.append(f"{key}: value {short(name)}: {our_type} {short(our_data)} in regtree.vbs, "
                                f"{their_type} {short(their_data)} in peer")
    return compared + len(set(peer) & set(mine))


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
