#!/usr/bin/env python3
"""The layout's rules, read from the library's own includes: every include
between folders points down the order below (none sideways, none up, so no
circle), every file opens with a comment line saying what it holds, and no
folder holds more than about a quarter of the library's lines."""
import pathlib
import re
import sys

# Bottom first; folders on one line may not include each other.
ORDER = [
    ["contract"],
    ["support"],
    ["automation"],
    ["registry", "regfile"],
    ["security", "trees"],
    ["values"],
    ["keys"],
    ["server"],
    ["packaging"],
]
RANK = {folder: rank for rank, folders in enumerate(ORDER) for folder in folders}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/[^"]+"', re.M)

root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
faults, lines = [], {}
for folder in RANK:
    for path in sorted((root / folder).glob("*.[ch]*")) if (root / folder).is_dir() else []:
        if path.suffix not in (".h", ".cpp"):
            continue
        text = path.read_text(encoding="utf-8")
        name = path.relative_to(root).as_posix()
        lines[folder] = lines.get(folder, 0) + text.count("\n")
        if not text.startswith("//"):
            faults.append(f"{name}: does not open with a line saying what it holds")
        for target in INCLUDE.findall(text):
            if target == folder or target not in RANK:
                continue
            if RANK[target] >= RANK[folder]:
                way = "sideways" if RANK[target] == RANK[folder] else "up"
                faults.append(f"{name}: includes {target}/, which points {way}")

total = sum(lines.values())
for folder, count in sorted(lines.items(), key=lambda item: -item[1]):
    print(f"{folder:12} {count:6} lines  {100 * count / total:4.1f} %")
    if count > 0.3 * total:
        faults.append(f"{folder}/ holds {100 * count / total:.0f} % of the library's lines")
for fault in faults:
    print("FAULT", fault)
print(f"{len(faults)} faults")
sys.exit(1 if faults else 0)
