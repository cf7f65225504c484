#!/usr/bin/env python3
"""Before and after, from the files DIR/before-N.out and DIR/after-N.out
(N = 1..RUNS) that scripts/bench-compare.sh writes: per measure, the median
over the runs of each run's median per-round ratio of subject to anchor (or
its figure), for both trees, with the spread over the runs, and the median of
the paired after/before quotients."""
import statistics
import sys


def measures(path):
    groups, found = {}, {}
    for line in open(path, encoding="utf-8", errors="replace"):
        parts = line.split()
        if len(parts) == 4 and parts[0] == "sample":
            groups.setdefault(parts[1], {}).setdefault(parts[2], []).append(float(parts[3]))
        elif len(parts) == 3 and parts[0] == "figure":
            found[parts[1]] = float(parts[2])
    for group, labels in groups.items():
        names = list(labels)
        for anchor in names[1:]:
            ratios = [s / a for s, a in zip(labels[names[0]], labels[anchor]) if a > 0]
            if ratios:
                found[f"{group} {names[0]}/{anchor}"] = statistics.median(ratios)
    return found


def main():
    where, runs = sys.argv[1], int(sys.argv[2])
    sides = {side: [measures(f"{where}/{side}-{n}.out") for n in range(1, runs + 1)] for side in ("before", "after")}
    print("| measure | before: median (min–max) | after: median (min–max) | after/before, paired: median |")
    print("|---|---|---|---|")
    for name in sides["before"][0]:
        b = [m[name] for m in sides["before"] if name in m]
        a = [m[name] for m in sides["after"] if name in m]
        if not a or not b:
            continue
        paired = [y / x for x, y in zip(b, a) if x]
        fmt = (lambda v: f"{v:.0f}") if max(b) > 20 else (lambda v: f"{v:.2f}")
        print(f"| {name} | {fmt(statistics.median(b))} ({fmt(min(b))}–{fmt(max(b))}) | "
              f"{fmt(statistics.median(a))} ({fmt(min(a))}–{fmt(max(a))}) | "
              f"{statistics.median(paired):.2f} |")


if __name__ == "__main__":
    main()
