#!/usr/bin/env python3
"""chip-spread: a small blind watermarking method, run by Quillfen as an external method.

Each payload bit has a key-seeded pattern of +1 and -1 "chips", one per 2 x 2 block of pixels;
the mark adds strength * (the sum of the patterns, each signed by its bit) / sqrt(bits) to the
picture. Detection removes the picture's smooth part (the difference from a 5 x 5 box mean),
averages what is left over each chip, and correlates: the normalised correlation with the
pattern the key's payload gives is the score (about 0 without the mark, in -1..1), the sign of
the correlation with each bit's pattern is that bit.

    chip_spread.py embed HOST OUT KEY SEED PAYLOAD STRENGTH
    chip_spread.py detect SUSPECT KEY

Pictures are binary PGM files (Quillfen writes and reads them for this method); the key is a
small JSON file. Detection prints one JSON line: {"score": ..., "bits": "0110..."}.
"""
import json
import sys

import numpy as np

CHIP = 2


def read_pgm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = []
    at = 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":
            at = data.index(b"\n", at) + 1
            continue
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    if fields[0] != b"P5" or int(fields[3]) != 255:
        raise ValueError(f"{path} is not an 8-bit binary PGM")
    width, height = int(fields[1]), int(fields[2])
    pixels = np.frombuffer(data, dtype=np.uint8, count=width * height, offset=at + 1)
    return pixels.reshape(height, width).astype(np.float64)


def write_pgm(path, picture):
    height, width = picture.shape
    with open(path, "wb") as f:
        f.write(b"P5\n%d %d\n255\n" % (width, height))
        f.write(np.clip(np.rint(picture), 0, 255).astype(np.uint8).tobytes())


def patterns(seed, bits, height, width):
    """bits x chips of +1/-1, drawn from the seed; the chips cover whole 2 x 2 blocks."""
    rng = np.random.default_rng(seed)
    return rng.choice(np.array([-1.0, 1.0]), size=(bits, height // CHIP, width // CHIP))


def signs(payload_hex, bits):
    value = int(payload_hex, 16) if payload_hex else 0
    shift = 4 * len(payload_hex) - bits
    return np.array([1.0 - 2.0 * ((value >> (shift + bits - 1 - b)) & 1) for b in range(bits)])


def chips(picture):
    """The detail left after a 5 x 5 box mean, averaged over each chip."""
    padded = np.pad(picture, 2, mode="edge")
    total = np.zeros_like(picture)
    for dy in range(5):
        for dx in range(5):
            total += padded[dy:dy + picture.shape[0], dx:dx + picture.shape[1]]
    detail = picture - total / 25.0
    h, w = (picture.shape[0] // CHIP) * CHIP, (picture.shape[1] // CHIP) * CHIP
    return detail[:h, :w].reshape(h // CHIP, CHIP, w // CHIP, CHIP).mean(axis=(1, 3))


def embed(host, out, key, seed, payload_hex, strength):
    picture = read_pgm(host)
    bits = 4 * len(payload_hex)
    p = patterns(int(seed), bits, *picture.shape)
    mark = np.tensordot(signs(payload_hex, bits), p, axes=1) * (float(strength) / np.sqrt(bits))
    spread = np.kron(mark, np.ones((CHIP, CHIP)))
    marked = picture.copy()
    marked[:spread.shape[0], :spread.shape[1]] += spread
    write_pgm(out, marked)
    with open(key, "w") as f:
        json.dump({"seed": int(seed), "payload": payload_hex, "shape": list(picture.shape)}, f)


def detect(suspect, key):
    with open(key) as f:
        k = json.load(f)
    picture = read_pgm(suspect)
    bits = 4 * len(k["payload"])
    p = patterns(k["seed"], bits, *picture.shape)
    c = chips(picture)
    c = c - c.mean()
    expected = np.tensordot(signs(k["payload"], bits), p, axes=1)
    norms = np.linalg.norm(c) * np.linalg.norm(expected)
    score = float(np.sum(c * expected) / norms) if norms > 0 else 0.0
    read = "".join("1" if np.sum(c * p[b]) < 0 else "0" for b in range(bits))
    print(json.dumps({"score": score, "bits": read}))


if __name__ == "__main__":
    if len(sys.argv) == 8 and sys.argv[1] == "embed":
        embed(*sys.argv[2:8])
    elif len(sys.argv) == 4 and sys.argv[1] == "detect":
        detect(*sys.argv[2:4])
    else:
        sys.exit(__doc__)
