#!/usr/bin/env python3
"""Detection against JPEG quality, for each watermarking method: over the bundled hosts and a
few seeds, the share of marked pictures in which the mark is still found (at a false-alarm
rate of 1e-6 and 1e-3) and the median detection score, for JPEG qualities 10 to 100, drawn
with matplotlib into a PNG file.

    PYTHONPATH=build/python python3 examples/python/compare_methods.py [OUT.png] [--seeds 1..3]

Each method of the rows (their "method" field) is one line; the sweep compares the methods
it is given.
"""
import argparse
import collections
import pathlib
import statistics
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

import quillfen  # noqa: E402

SAMPLES = pathlib.Path(__file__).resolve().parents[2] / "samples"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out", nargs="?", default="compare-methods.png", help="the PNG file to write")
    parser.add_argument("--hosts", default=str(SAMPLES / "hosts"), help="host pictures, a folder or a file")
    parser.add_argument("--mark", default=str(SAMPLES / "seal-128.pgm"), help="the watermark")
    parser.add_argument("--seeds", default="1..3", help="embedding seeds, as 1..3")
    arguments = parser.parse_args()

    qualities = "real-jpeg:q=10..100:5"
    shown = sys.stderr.isatty()
    rows = quillfen.robustness(arguments.hosts, arguments.mark, seeds=arguments.seeds, attacks=qualities,
                               progress=lambda done, total: shown and print(f"\r{done}/{total} rows", end="",
                                                                             file=sys.stderr, flush=True))
    if shown:
        print(file=sys.stderr)
    # The verdicts need the mark's calibration (<name>.calibration.json beside it).
    judged = rows[0]["detected_1e-6"] is not None
    if not judged:
        print("note: no calibration beside the mark (quillfen.calibrate makes one): only the scores are drawn",
              file=sys.stderr)
    # method -> quality -> the rows of that cell
    cells = collections.defaultdict(lambda: collections.defaultdict(list))
    for row in rows:
        cells[row["method"]][int(row["attack"].split("=")[1])].append(row)

    figure, (rates, scores) = plt.subplots(1, 2, figsize=(11, 4.2), constrained_layout=True)
    for method, by_quality in cells.items():
        q = sorted(by_quality)
        share = lambda field: [sum(bool(r[field]) for r in by_quality[x]) / len(by_quality[x]) for x in q]
        line, = scores.plot(q, [statistics.median(r["score"] for r in by_quality[x]) for x in q], marker="o",
                            label=method)
        if judged:
            rates.plot(q, share("detected_1e-6"), marker="o", color=line.get_color(),
                       label=f"{method}, false alarms 1e-6")
            rates.plot(q, share("detected_1e-3"), marker="o", markerfacecolor="none", linestyle="--",
                       color=line.get_color(), label=f"{method}, false alarms 1e-3")
        lows = [sorted(r["score"] for r in by_quality[x])[len(by_quality[x]) // 4] for x in q]
        highs = [sorted(r["score"] for r in by_quality[x])[(3 * len(by_quality[x])) // 4] for x in q]
        scores.fill_between(q, lows, highs, color=line.get_color(), alpha=0.2, linewidth=0)
    beside = pathlib.Path(arguments.mark).with_suffix(".calibration.json")
    if judged and beside.exists():
        threshold = quillfen.Calibration.load(beside).threshold(1e-6)
        scores.axhline(threshold, color="gray", linestyle=":", label=f"threshold at 1e-6 ({threshold:.3f})")
    hosts = len({r["host"] for r in rows})
    rates.set(title=f"Marks found after JPEG ({hosts} hosts, seeds {arguments.seeds})", xlabel="JPEG quality",
              ylabel="share of marked pictures detected", ylim=(-0.02, 1.02))
    scores.set(title="Detection score (median, quartiles)", xlabel="JPEG quality", ylabel="score")
    for axes in (rates, scores):
        axes.grid(alpha=0.3)
        if axes.get_legend_handles_labels()[0]:
            axes.legend(fontsize=8, loc="lower right")
    figure.savefig(arguments.out, dpi=110)
    print(f"written: {arguments.out}")


if __name__ == "__main__":
    main()
