#!/usr/bin/env python3
"""Compares two registry listings in the layout of `reg query`.

    compare_listings.py [--one-level KEY] [--min-keys N] [--min-values N]
                        --label NAME PEER WALKER

PEER is what Wine's reg.exe printed, WALKER what a client of the component
printed for the same key. Both are read as bytes (each program converted its
text to the console code page the same way), so no character set is assumed.

Compared: the set of key paths; under each key the set of value names, each
value's type, and the data of REG_SZ and REG_DWORD values (the only types
whose data the component decodes). With --one-level KEY, the listings are
of `reg query KEY` without /s: KEY with its values, then its sub-keys as
bare key lines.

Exit status 0 when the listings agree and hold at least the given numbers of
keys and values, 1 otherwise.
"""
import argparse
import re
import sys

VALUE_LINE = re.compile(r"^    (.*?)    (REG_[A-Z_]+|\(null\))(?:    (.*))?$")
DECODED_TYPES = {"REG_SZ", "REG_DWORD"}


class Listing:
    def __init__(self, path):
        self.keys = []          # key paths, in the order printed
        self.values = {}        # key path -> {value name: (type, data)}
        self.problems = []
        with open(path, "rb") as f:
            text = f.read().decode("latin-1")
        current = None
        for number, line in enumerate(text.replace("\r", "").split("\n"), 1):
            if not line.strip():
                continue
            if line.startswith("ERROR:") or line.startswith("cscript runner:"):
                self.problems.append(f"{path}:{number}: {line}")
            elif line.startswith("    "):
                match = VALUE_LINE.match(line)
                if not match or current is None:
                    self.problems.append(f"{path}:{number}: cannot read value line {line[:80]!r}")
                    continue
                name, kind, data = match.group(1), match.group(2), match.group(3) or ""
                if name in self.values[current]:
                    self.problems.append(f"{path}:{number}: value {name!r} listed twice under {current}")
                self.values[current][name] = (kind, data)
            else:
                current = line
                if current in self.values:
                    self.problems.append(f"{path}:{number}: key {current} listed twice")
                else:
                    self.keys.append(current)
                    self.values[current] = {}

    def value_count(self):
        return sum(len(v) for v in self.values.values())


def short(text, limit=70):
    return repr(text) if len(text) <= limit else repr(text[:limit]) + f"...({len(text)} chars)"


def compare(peer, walker, label, one_level):
    differences = []
    if one_level:
        # The listed key holds the values; every other key line is a sub-key.
        # (Wine's reg.exe leaves out the line of the listed key itself when
        # that key has no values.)
        peer_keys, walker_keys = set(peer.keys) - {one_level}, set(walker.keys) - {one_level}
        peer_values = {one_level: peer.values.get(one_level, {})}
        walker_values = {one_level: walker.values.get(one_level, {})}
        if walker.keys[:1] != [one_level]:
            differences.append(f"{label} does not begin with the key {one_level}")
    else:
        peer_keys, walker_keys = set(peer.keys), set(walker.keys)
        peer_values, walker_values = peer.values, walker.values
    for key in sorted(peer_keys - walker_keys):
        differences.append(f"key missing from {label}: {key}")
    for key in sorted(walker_keys - peer_keys):
        differences.append(f"key only in {label}: {key}")
    for key in sorted(set(peer_values) & set(walker_values)):
        mine, theirs = walker_values[key], peer_values[key]
        for name in sorted(set(theirs) - set(mine)):
            differences.append(f"{key}: value {short(name)} missing from {label}")
        for name in sorted(set(mine) - set(theirs)):
            differences.append(f"{key}: value {short(name)} only in {label}")
        for name in sorted(set(mine) & set(theirs)):
            (their_type, their_data), (my_type, my_data) = theirs[name], mine[name]
            if their_type != my_type:
                differences.append(f"{key}: value {short(name)}: type {my_type} in {label}, {their_type} in peer")
            elif my_type in DECODED_TYPES and my_data != their_data:
                differences.append(f"{key}: value {short(name)}: data {short(my_data)} in {label}, "
                                   f"{short(their_data)} in peer")
    return differences


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("peer")
    parser.add_argument("walker")
    parser.add_argument("--label", default="walker")
    parser.add_argument("--one-level", metavar="KEY", default="",
                        help="compare one-level listings of KEY (its full path as printed)")
    parser.add_argument("--min-keys", type=int, default=1)
    parser.add_argument("--min-values", type=int, default=0)
    args = parser.parse_args()

    peer, walker = Listing(args.peer), Listing(args.walker)
    problems = peer.problems + walker.problems
    if len(peer.keys) < args.min_keys or peer.value_count() < args.min_values:
        problems.append(f"peer listing holds {len(peer.keys)} keys and {peer.value_count()} values, "
                        f"expected at least {args.min_keys} and {args.min_values}")
    problems += compare(peer, walker, args.label, args.one_level)
    for p in problems:
        print(f"DIFF [{args.label}] {p}")
    print(f"{args.label}: {len(walker.keys)} keys, {walker.value_count()} values compared with the peer, "
          f"{len(problems)} differences")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
