#!/usr/bin/env python3
"""Detection against JPEG quality, method by method, at equal distortion: the polarity method,
spread-spectrum and qim, and a method written in Python (chip-masked, run in this process),
each marking the bundled hosts with a few seeds; every method with a strength is set to the
same embedding PSNR (the polarity method's strength is fixed). Draws, with matplotlib, the
share of marked pictures in which each method still finds its mark (false-alarm rates 1e-6
and 1e-3) and the payload methods' bit accuracy, into a PNG file.

    PYTHONPATH=build/python python3 examples/python/compare_methods.py [OUT.png] [--seeds 1..3] [--psnr 38]
"""
import argparse
import collections
import importlib.util
import pathlib
import statistics
import sys

import matplotlib
import numpy as np

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

import quillfen  # noqa: E402

HERE = pathlib.Path(__file__).resolve().parent
SAMPLES = HERE.parents[1] / "samples"

# The numpy functions of the external method of examples/methods, used here in process.
_spec = importlib.util.spec_from_file_location("chip_spread", HERE.parent / "methods" / "chip_spread.py")
chip_spread = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(chip_spread)


class ChipMasked:
    """chip-spread (examples/methods) as a Python method object, its mark shaped by the host:
    each payload bit a key-seeded +-1 pattern of 2 x 2 chips, their sum scaled in each chip by
    the host's local detail there (more in texture, less in flat parts, where it would show)
    and by the strength given; detection correlates the picture's detail with the patterns, as
    chip-spread's does."""

    name = "chip-masked"
    payload_bits = 32
    strength = {"lowest": 0.25, "highest": 40, "default": 3}
    # From quillfen.calibrate("samples/hosts", method=ChipMasked(), seeds="1..3",
    # attacks="none,real-jpeg:q=50,gauss-noise:sigma=5") (1296 null trials), rounded up.
    thresholds = {"1e-3": 0.043, "1e-6": 0.064}

    def embed(self, host, payload, seed, strength):
        signs = 1.0 - 2.0 * payload
        p = chip_spread.patterns(seed, len(payload), *host.shape)
        detail = np.abs(chip_spread.chips(host.astype(np.float64)))
        weight = np.clip(detail / max(detail.mean(), 1e-9), 0.25, 4.0)
        chips = np.tensordot(signs, p, axes=1) * weight * (strength / np.sqrt(len(payload)))
        mark = np.kron(chips, np.ones((chip_spread.CHIP, chip_spread.CHIP)))
        marked = host.astype(np.float64)
        marked[:mark.shape[0], :mark.shape[1]] += mark
        return np.clip(np.rint(marked), 0, 255).astype(np.uint8), int(seed).to_bytes(4, "little") + payload.tobytes()

    def detect(self, suspect, key):
        seed, payload = int.from_bytes(key[:4], "little"), np.frombuffer(key[4:], np.uint8)
        p = chip_spread.patterns(seed, len(payload), *suspect.shape)
        c = chip_spread.chips(suspect.astype(np.float64))
        c -= c.mean()
        expected = np.tensordot(1.0 - 2.0 * payload, p, axes=1)
        norms = np.linalg.norm(c) * np.linalg.norm(expected)
        score = float(np.sum(c * expected) / norms) if norms > 0 else 0.0
        return {"score": score, "bits": (np.tensordot(p, c, axes=2) < 0).astype(int)}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out", nargs="?", default="compare-methods.png", help="the PNG file to write")
    parser.add_argument("--hosts", default=str(SAMPLES / "hosts"), help="host pictures, a folder or a file")
    parser.add_argument("--seeds", default="1..3", help="embedding seeds, as 1..3")
    parser.add_argument("--psnr", type=float, default=38, help="the embedding PSNR of the methods with a strength")
    arguments = parser.parse_args()

    shown = sys.stderr.isatty()
    rows = quillfen.robustness(arguments.hosts, seeds=arguments.seeds, attacks="real-jpeg:q=10..100:10",
                               methods=["polarity", "spread-spectrum", "qim", ChipMasked()],
                               target_psnr=arguments.psnr,
                               progress=lambda done, total: shown and print(f"\r{done}/{total} rows", end="",
                                                                             file=sys.stderr, flush=True))
    if shown:
        print(file=sys.stderr)
    failed = [row for row in rows if "error" in row]
    if failed:
        sys.exit(f"{len(failed)} rows failed, as {failed[0]['method']}: {failed[0]['error']}")
    # method -> quality -> the rows of that cell
    cells = collections.defaultdict(lambda: collections.defaultdict(list))
    for row in rows:
        cells[row["method"]][int(row["attack"].split("=")[1])].append(row)

    figure, (rates, accuracy) = plt.subplots(1, 2, figsize=(11.5, 4.4), constrained_layout=True)
    for method, by_quality in cells.items():
        q = sorted(by_quality)
        share = lambda field: [sum(bool(r[field]) for r in by_quality[x]) / len(by_quality[x]) for x in q]
        psnr = statistics.median(r["psnr_embed"] for x in q for r in by_quality[x])
        label = f"{method} ({psnr:.1f} dB)"
        line, = rates.plot(q, share("detected_1e-6"), marker="o", label=label)
        rates.plot(q, share("detected_1e-3"), marker="o", markerfacecolor="none", linestyle="--", alpha=0.6,
                   color=line.get_color())
        if by_quality[q[0]][0].get("bit_accuracy") is not None:
            accuracy.plot(q, [statistics.median(r["bit_accuracy"] for r in by_quality[x]) for x in q], marker="o",
                          color=line.get_color(), label=label)
    hosts = len({r["host"] for r in rows})
    rates.set(title=f"Marks found after JPEG ({hosts} hosts, seeds {arguments.seeds})", xlabel="JPEG quality",
              ylabel="share detected (solid 1e-6, dashed 1e-3)", ylim=(-0.02, 1.02))
    accuracy.set(title="Payload bits read right (median)", xlabel="JPEG quality", ylabel="bit accuracy",
                 ylim=(-0.02, 1.02))
    accuracy.axhline(0.5, color="gray", linestyle=":", label="chance")
    for axes in (rates, accuracy):
        axes.grid(alpha=0.3)
        axes.legend(fontsize=8, loc="lower right")
    figure.suptitle(f"Methods with a strength marked at {arguments.psnr:g} dB; the polarity method at its own",
                    fontsize=10)
    figure.savefig(arguments.out, dpi=100)
    print(f"written: {arguments.out}")


if __name__ == "__main__":
    main()
