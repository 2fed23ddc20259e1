"""The measures of the robustness rows, on numpy pictures of one size."""
from __future__ import annotations

from typing import Optional

import numpy as np

from . import _quillfen

__all__ = ["psnr", "ssim", "nc", "ber"]


def psnr(picture: np.ndarray, reference: np.ndarray) -> float:
    """PSNR in decibels (peak 255) of ``picture`` against ``reference``; ``inf`` when equal."""
    return _quillfen._psnr(picture, reference)


def ssim(a: np.ndarray, b: np.ndarray) -> float:
    """Mean SSIM (Wang et al. 2004: 11 x 11 Gaussian window of sigma 1.5, K1 0.01, K2 0.03,
    data range 255), over the window positions inside the picture (each side at least 11)."""
    return _quillfen._ssim(a, b)


def nc(extracted: np.ndarray, watermark: np.ndarray) -> Optional[float]:
    """NC of an extracted 128 x 128 mark against the watermark (both read as black below 128):
    the share of the watermark's black pixels in rows and columns 4..127 found black; None
    when it has none there."""
    return _quillfen._nc(extracted, watermark)


def ber(extracted: np.ndarray, watermark: np.ndarray) -> float:
    """Bit error rate of two marks: the share of the 128 x 128 pixels whose black (< 128) or white
    differs. (A verdict's and a row's ``ber`` counts with the key instead, over every pixel of
    the mark as the embedding scattered it, so that unrelated pictures read about 0.5.)"""
    return _quillfen._ber(extracted, watermark)


def __dir__() -> "list[str]":
    # The measures, not the modules the file imports.
    return sorted(__all__)
