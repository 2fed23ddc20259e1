#!/usr/bin/env python3
"""What the Python package costs over the engine it wraps:

1. extract() of a 256 x 256 picture from Python against the same calls in C++
   (bench_watermark's BM_ReadMarkAndJudge: ReadMark, ThresholdsOf and Judge), best of several
   runs each;
2. the robustness sweep's rows per second from Python against quillfen-cli robustness, the
   same hosts, seed and default grid on one thread: the polarity method alone, and the three
   methods of the catalogue at a target PSNR.

    PYTHONPATH=BUILD/python python3 bench/python/bench_python.py BUILD

Both are compared in CPU time (the whole command's, for quillfen-cli), the best of several
runs each, so that other work on the machine counts little.
"""
import json
import pathlib
import resource
import subprocess
import sys
import time
import timeit

import quillfen

SAMPLES = pathlib.Path(__file__).resolve().parents[2] / "samples"


def cpp_extract_seconds(build):
    printed = subprocess.run([str(build / "bench" / "bench_watermark"), "--benchmark_filter=ReadMarkAndJudge",
                              "--benchmark_format=json", "--benchmark_repetitions=5",
                              "--benchmark_min_time=0.5"], capture_output=True, text=True, check=True).stdout
    report = json.loads(printed[printed.index("{"):])
    return min(b["cpu_time"] for b in report["benchmarks"] if b.get("run_type") == "iteration") * 1e-6


def python_extract_seconds():
    host = quillfen.read_picture(SAMPLES / "hosts" / "astronaut.pgm")
    marked, key = quillfen.embed(host, quillfen.read_picture(SAMPLES / "seal-128.pgm"), seed=1, calibration_trials=0)
    # CPU time, as the C++ side reports it: other work on the machine does not count.
    timer = timeit.Timer(lambda: quillfen.extract(marked, key), timer=time.process_time)
    runs, _ = timer.autorange()
    return min(timer.repeat(repeat=5, number=max(runs, 50))) / max(runs, 50)


METHODS = ["polarity", "qim", "spread-spectrum"]


def sweep_rows_per_second(build, methods=None, rounds=5):
    arguments = [str(SAMPLES / "hosts" / name) for name in ("astronaut.pgm", "brick.pgm", "cell.pgm")]
    mark = str(SAMPLES / "seal-128.pgm")
    options = [word for m in methods or [] for word in ("--method", m)] + (["--target-psnr", "38"] if methods else [])
    best_cli = best_python = float("inf")
    rows = 0
    def children_cpu():
        usage = resource.getrusage(resource.RUSAGE_CHILDREN)
        return usage.ru_utime + usage.ru_stime

    for _ in range(rounds):
        start = children_cpu()
        printed = subprocess.run([str(build / "cli" / "quillfen-cli"), "robustness", *arguments, "--mark", mark,
                                  "--seeds", "1", "--jobs", "1", *options], capture_output=True, check=True).stdout
        best_cli = min(best_cli, children_cpu() - start)
        start = time.process_time()
        result = quillfen.robustness(arguments, mark, seeds="1", jobs=1, methods=methods,
                                     target_psnr=38 if methods else None)
        best_python = min(best_python, time.process_time() - start)
        rows = len(result)
        assert result == [json.loads(line) for line in printed.splitlines()]
    return rows / best_cli, rows / best_python, rows


def main():
    build = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build").resolve()
    cpp = min(cpp_extract_seconds(build), cpp_extract_seconds(build))
    python = min(python_extract_seconds(), python_extract_seconds())
    print(f"extract, 256 x 256: C++ {cpp * 1e6:.1f} us, Python {python * 1e6:.1f} us "
          f"(overhead {100 * (python / cpp - 1):+.1f} %)")
    for methods in (None, METHODS):
        cli, py, rows = sweep_rows_per_second(build, methods)
        what = f"{', '.join(methods)} at 38 dB" if methods else "the polarity method"
        print(f"robustness, {what}, {rows} rows on one thread: quillfen-cli {cli:.0f} rows/s, "
              f"Python {py:.0f} rows/s ({100 * (py / cli - 1):+.1f} %)")


if __name__ == "__main__":
    main()
