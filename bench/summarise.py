#!/usr/bin/env python3
"""Collects the benchmark's lines into one table.

Input lines (any order, other lines ignored):
  sample GROUP LABEL MICROSECONDS   one measurement; the first label seen in a
                                    group is its subject, the others anchors.
                                    The nth sample of a label belongs to round
                                    n (the rounds interleave subject and anchors)
  target GROUP ANCHOR RATIO         the median of the per-round ratios of
                                    subject to anchor should be at most RATIO
  figure NAME VALUE                 a quantity printed as it is
"""
import statistics
import sys


def shown(micros, per_call):
    return f"{micros:.3f} µs" if per_call else f"{micros / 1000:.1f} ms"


def main():
    groups, targets, figures = {}, {}, []
    for line in sys.stdin:
        parts = line.split()
        if len(parts) == 4 and parts[0] == "sample":
            groups.setdefault(parts[1], {}).setdefault(parts[2], []).append(float(parts[3]))
        elif len(parts) == 4 and parts[0] == "target":
            targets[(parts[1], parts[2])] = float(parts[3])
        elif len(parts) == 3 and parts[0] == "figure":
            figures.append((parts[1], parts[2]))

    print("| measure | rounds | subject: min / median | anchor: min / median "
          "| per-round ratio: median (min–max) | ratio of minima | target |")
    print("|---|---|---|---|---|---|---|")
    for group, labels in groups.items():
        names = list(labels)
        subject = labels[names[0]]
        per_call = group.startswith(("invoke", "watch", "security"))  # short enough for microseconds
        for anchor_name in names[1:]:
            anchor = labels[anchor_name]
            # A walk shorter than the script's clock step reads as 0 (the
            # quick run's smaller sizes come near it): no ratio for that round.
            ratios = [s / a for s, a in zip(subject, anchor) if a > 0] or [float("nan")]
            ratio = statistics.median(ratios)
            target = targets.get((group, anchor_name))
            verdict = "" if target is None else f"≤ {target:g}: {'met' if ratio <= target else 'MISSED'}"
            print(f"| {group} | {len(ratios)} | {names[0]}: {shown(min(subject), per_call)} / "
                  f"{shown(statistics.median(subject), per_call)} | {anchor_name}: {shown(min(anchor), per_call)} / "
                  f"{shown(statistics.median(anchor), per_call)} | {ratio:.2f} ({min(ratios):.2f}–{max(ratios):.2f}) "
                  f"| {min(subject) / min(anchor) if min(anchor) > 0 else float('nan'):.2f} | {verdict} |")

    # How the values load scales between its two largest sizes (10,000 and
    # 100,000 values in the full run), against how the raw calls themselves
    # scale.
    sizes = sorted(int(g.rsplit("-", 1)[1]) for g in groups if g.startswith("values-load-"))
    if len(sizes) >= 2:
        small, large = groups[f"values-load-{sizes[-2]}"], groups[f"values-load-{sizes[-1]}"]
        names = list(small)
        lib = min(large[names[0]]) / min(small[names[0]])
        raw = min(large[names[1]]) / min(small[names[1]])
        relative = lib / raw
        print(f"| values-load {sizes[-1]:,} / {sizes[-2]:,} | | {names[0]}: ×{lib:.2f} | {names[1]}: ×{raw:.2f} | "
              f"{relative:.2f} | | ≤ 1.05: {'met' if relative <= 1.05 else 'MISSED'} |")
    for name, value in figures:
        print(f"| {name} | | {value} | | | | |")


if __name__ == "__main__":
    main()
