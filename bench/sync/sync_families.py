#!/usr/bin/python3
"""The two other families of self-synchronising marks, measured on the attacks the periodic
mark (methods/src/sync) is measured on, to choose between them (docs/methods.md).

  sync_families.py template PHOTO...    keyed template of peaks in the DFT magnitude: how
                                        many of its peaks still stand out after each attack,
                                        read at the place the true transform puts them (the
                                        best any search can do)
  sync_families.py features PHOTO...    feature points (SIFT) as anchors: how many of the
                                        strongest points are found again at the place the
                                        true transform puts them, and so how many triangles
                                        of them survive

Both work on the luminance reduced to about a megapixel, as the periodic mark's detector
does, attack it, and JPEG 75 it (OpenCV's libjpeg, gray). Debian's python3-numpy and
python3-opencv.
"""
import sys

import cv2
import numpy as np

WORK = 1024


def luma(path):
    im = cv2.imread(path).astype(float)
    y = (299 * im[:, :, 2] + 587 * im[:, :, 1] + 114 * im[:, :, 0]) / 1000
    h, w = y.shape
    d = max(1.0, np.sqrt(w * h) / WORK)
    return cv2.resize(y, (round(w / d), round(h / d)), interpolation=cv2.INTER_AREA)


def jpeg(y, q=75):
    ok, b = cv2.imencode('.jpg', np.clip(np.round(y), 0, 255).astype(np.uint8), [cv2.IMWRITE_JPEG_QUALITY, q])
    return cv2.imdecode(b, 0).astype(float)


def attacks(h, w):
    """name -> (2 x 3 affine map from the original's pixels to the attacked's, output size)."""
    out = {'none': (np.array([[1, 0, 0], [0, 1, 0.]]), (w, h))}
    k = np.sqrt(0.9)
    cw, ch = w * k, h * k
    out['crop10-resize'] = (np.array([[w / cw, 0, -(w - cw) / 2 * w / cw], [0, h / ch, -(h - ch) / 2 * h / ch]]), (w, h))
    k = np.sqrt(0.8)
    out['crop20-offcentre'] = (np.array([[1, 0, -0.17 * w], [0, 1, -0.03 * h]]), (round(w * k), round(h * k)))
    out['scale0.5'] = (np.array([[0.5, 0, -0.25], [0, 0.5, -0.25]]), (round(w / 2), round(h / 2)))
    m = cv2.getRotationMatrix2D((w / 2, h / 2), 5, 1.0)
    c = 1 / (np.cos(np.radians(5)) + max(w, h) / min(w, h) * np.sin(np.radians(5)))
    m[:, 2] -= [(1 - c) * w / 2, (1 - c) * h / 2]
    out['rotate5-crop'] = (m, (round(w * c), round(h * c)))
    out['aspect0.9'] = (np.array([[0.9, 0, -0.05], [0, 1, 0]]), (round(w * 0.9), h))
    return out


def whiten(x):
    r = x - cv2.blur(x, (5, 5))
    return np.clip(r / (np.sqrt(np.maximum(cv2.blur(r * r, (11, 11)), 0)) + 1), -3, 3)


def template(paths, peaks=12, share=0.25, rng=np.random.default_rng(1)):
    """Peaks at radius 0.1..0.22 cycles/pixel of the working picture (below a quarter, so that
    halving the picture keeps them), at random angles in the
    upper half-plane, as cosines over the whole picture carrying `share` of the energy of a
    40 dB mark (the rest left to the payload)."""
    rms = 255 * 10 ** (-40 / 20) * np.sqrt(share)
    rows = {}
    for p in paths:
        y = luma(p)
        h, w = y.shape
        f = rng.uniform(0.1, 0.22, peaks)
        a = rng.uniform(0, np.pi, peaks)
        fx, fy = f * np.cos(a), f * np.sin(a)
        yy, xx = np.mgrid[0:h, 0:w]
        mark = sum(np.cos(2 * np.pi * (fx[i] * xx + fy[i] * yy) + rng.uniform(0, 2 * np.pi)) for i in range(peaks))
        marked = y + mark * rms / np.sqrt(np.mean(mark ** 2))
        for name, (m, size) in attacks(h, w).items():
            z = jpeg(cv2.warpAffine(marked, m, size, flags=cv2.INTER_LINEAR))
            mag = np.abs(np.fft.fft2(whiten(z)))
            H, W = mag.shape
            # The template's frequencies move by the inverse transpose of the linear part.
            lin_inv_t = np.linalg.inv(m[:, :2]).T
            zs = []
            for i in range(peaks):
                g = lin_inv_t @ np.array([fx[i], fy[i]])
                u, v = g[0] * W, g[1] * H
                iu, iv = int(round(u)), int(round(v))
                near = mag[(iv + np.arange(-1, 2))[:, None] % H, (iu + np.arange(-1, 2))[None, :] % W].max()
                ring = mag[(iv + np.arange(-12, 13))[:, None] % H, (iu + np.arange(-12, 13))[None, :] % W]
                zs.append((near - np.median(ring)) / (1.4826 * np.median(np.abs(ring - np.median(ring)))))
            rows.setdefault(name, []).append(zs)
    print(f'template of {peaks} peaks with {share:.0%} of a 40 dB mark: peak height over its neighbourhood, '
          'in robust standard deviations (median over peaks and photos; share of peaks above 5)')
    for name, zs in rows.items():
        zs = np.array(zs)
        print(f'  {name:17s} median {np.median(zs):5.1f}   above 5: {np.mean(zs > 5):.2f}   '
              f'all {peaks} above 5: {np.mean((zs > 5).all(axis=1)):.2f}')


def features(paths, count=40, tolerance=2.0):
    sift = cv2.SIFT_create()
    rows = {}
    for p in paths:
        y = luma(p)
        h, w = y.shape
        def strongest(img):
            kps = sift.detect(np.clip(np.round(img), 0, 255).astype(np.uint8), None)
            kps = sorted(kps, key=lambda k: -k.response)[:count]
            return np.array([k.pt for k in kps]).reshape(-1, 2)
        ref = strongest(jpeg(y, 95))
        for name, (m, size) in attacks(h, w).items():
            got = strongest(jpeg(cv2.warpAffine(y, m, size, flags=cv2.INTER_LINEAR)))
            mapped = ref @ m[:, :2].T + m[:, 2]
            inside = (mapped[:, 0] >= 0) & (mapped[:, 1] >= 0) & (mapped[:, 0] < size[0]) & (mapped[:, 1] < size[1])
            if len(got) == 0:
                rows.setdefault(name, []).append(0.0)
                continue
            dist = np.sqrt(((mapped[:, None, :] - got[None, :, :]) ** 2).sum(2)).min(1)
            rows.setdefault(name, []).append(float(np.mean(dist[inside] <= tolerance * max(1, np.sqrt(abs(np.linalg.det(m[:, :2])))))))
    print(f'feature points: share of the {count} strongest SIFT points found again within {tolerance} px '
          '(mean over photos), and the share of triangles of them that survive (its cube)')
    for name, r in rows.items():
        r = np.array(r)
        print(f'  {name:17s} repeated {r.mean():.2f} (lowest {r.min():.2f})   triangles {np.mean(r ** 3):.2f}')


if __name__ == '__main__':
    if len(sys.argv) < 3 or sys.argv[1] not in ('template', 'features'):
        sys.stderr.write('usage: sync_families.py template|features PHOTO...\n')
        sys.exit(2)
    (template if sys.argv[1] == 'template' else features)(sys.argv[2:])
