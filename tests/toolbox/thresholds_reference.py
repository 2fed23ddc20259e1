#!/usr/bin/env python3
"""Expected results of two threshold methods, computed independently of the C++ code.

thresholds_test.cpp holds the numbers this prints; run it again after changing a rule:

    python3 tests/toolbox/thresholds_reference.py

Python floats are IEEE doubles evaluated in the order written and round() ties to even, so
the values are the ones the methods must give, bit for bit.
"""
import math


def fuzzy_level(h, measure, window=0.05):
    """Minimised fuzziness: the least fuzzy level, then the smallest three-level count sum
    in a window of `window` times the fuzziness spread around it (-1 when none)."""
    S, W, s, w = [0.0] * 256, [0.0] * 256, 0.0, 0.0
    for g in range(256):
        s += h[g]
        w += g * h[g]
        S[g], W[g] = s, w
    E = {}
    for t in range(1, 255):
        above = s - S[t]
        if h[t] == 0 or S[t] == 0 or above == 0:
            continue
        mu0 = round(W[t] / S[t] + 0.5)
        mu1 = round((w - W[t]) / above + 0.5)
        e = 0.0
        for g in range(256):
            m = 1.0 / (1.0 + abs(g - (mu0 if g <= t else mu1)) / 255.0)
            if measure == "shannon":
                e += h[g] * ((-m * math.log10(m) - (1 - m) * math.log10(1 - m)) if m < 1 else 0.0)
            else:
                e += (m * (1 - m)) ** 2
        E[t] = e if measure == "shannon" else math.sqrt(e)
    emax, tmin, emin = 0.0, -1, 0.0
    for t in sorted(E):
        emax = max(emax, E[t])
        if tmin < 0 or E[t] < emin:
            tmin, emin = t, E[t]
    delta = emin + (emax - emin) * window
    lo, hi = max(round(tmin - delta), 1), min(round(tmin + delta), 254)
    level, best = -1, None
    for k in range(lo, hi + 1):
        total = h[k - 1] + h[k] + h[k + 1]
        if best is None or total < best:
            level, best = k, total
    return level


def moving_average(width, height, pixel, percent=85):
    """Serpentine running average over Round(width / 8) pixels; '#' where percent per cent
    of the average exceeds the pixel. Returns the rows and the rounded last average."""
    n = float(round(width / 8))
    total, average = 127 * n, 127.0
    rows = [[" "] * width for _ in range(height)]
    for y in range(height):
        for x in range(width) if y % 2 == 0 else range(width - 1, -1, -1):
            v = pixel(x, y)
            total = total - total / n + v
            average = total / n
            rows[y][x] = "#" if average * percent / 100 > v else "."
    return ["".join(r) for r in rows], round(average)


def main():
    counts = [0] * 256
    counts[6], counts[13], counts[250] = 4, 6, 6
    print("fuzzy, levels 6 x4, 13 x6, 250 x6:")
    for measure in ("shannon", "yager"):
        print(f"  {measure}: {fuzzy_level(counts, measure)}"
              f" (a 0.10 window would give {fuzzy_level(counts, measure, 0.10)})")
    # The test picture: 100 with darker pixels 73..79 wherever (7x + 5y) mod 6 is 0.
    pixel = lambda x, y: 100 if (x * 7 + y * 5) % 6 != 0 else 73 + (x + y) % 7
    for width in (24, 20):
        rows, average = moving_average(width, 3, pixel)
        print(f"moving average, width {width} (window {round(width / 8)}): average {average}")
        for row in rows:
            print(f'  "{row}"')
        print(f"  the 80 per cent rule would give {moving_average(width, 3, pixel, 80)[0]}")


if __name__ == "__main__":
    main()
