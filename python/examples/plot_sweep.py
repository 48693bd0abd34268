"""Plots a sweep's final distance from home against the auto-return altitude, one dot per gust seed.

    /usr/bin/python3 python/examples/plot_sweep.py results.csv docs/sweep-final-distance.png
"""

import csv
import sys
from collections import defaultdict

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def main(results, out):
    by_altitude = defaultdict(list)
    failed = 0
    with open(results, newline="", encoding="utf-8") as f:
        for row in csv.DictReader(f):
            if row["error"]:
                failed += 1
                continue
            by_altitude[float(row["settings.returnAltitude"])].append(float(row["final_distance_m"]))
    altitudes = sorted(by_altitude)
    fig, ax = plt.subplots(figsize=(7, 4.2), dpi=100)
    for k, alt in enumerate(altitudes):
        d = by_altitude[alt]  # in seed order: spread sideways by seed, so the dots do not hide each other
        xs = [k + ((i * 7) % len(d) - (len(d) - 1) / 2) * 0.015 for i in range(len(d))]
        ax.scatter(xs, d, s=14, color="tab:blue", alpha=0.7, label="one gust seed" if k == 0 else None)
        ax.hlines(sorted(d)[len(d) // 2], k - 0.3, k + 0.3, color="tab:red", label="median" if k == 0 else None)
    ax.set_xticks(range(len(altitudes)), [f"{a:g} m" for a in altitudes])
    ax.set_xlabel("auto-return altitude (returnAltitude)")
    ax.set_ylabel("distance from home after 120 s, m")
    ax.set_title(f"Return home from 1500 m in gusts up to 6 m/s: {sum(map(len, by_altitude.values()))} flights"
                 + (f", {failed} failed" if failed else ""), fontsize=10)
    ax.grid(axis="y", alpha=0.3)
    ax.legend(loc="upper right", fontsize=8)
    fig.tight_layout()
    fig.savefig(out)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
