"""Quillfen from Python: mark gray pictures, attack them, read the verdict, and run the
robustness sweep and the calibration of the detection thresholds, on numpy arrays.

Pictures are ``uint8`` numpy arrays of shape (H, W), or (H, W, 3) / (H, W, 4) in RGB(A)
order, of any strides; they are read in place (no copy), and a colour picture gives its
blue channel, the byte the method reads as gray. Results are new arrays.

    >>> import quillfen
    >>> host = quillfen.read_picture("samples/hosts/astronaut.pgm")
    >>> mark = quillfen.read_picture("samples/seal-128.pgm")
    >>> marked, key = quillfen.embed(host, mark, seed=42)
    >>> attacked = quillfen.attack(marked, "real-jpeg:q=75")
    >>> quillfen.extract(attacked, key).present
    True

Every call that computes releases the interpreter's lock, so threads run at once. Bad input
raises :class:`Error` (a ``ValueError``), a file that cannot be opened, read or written
:class:`FileError` (an ``OSError``), each with the command line's one-line message.
"""
from __future__ import annotations

import dataclasses
import json
import os
from typing import Any, Callable, Dict, Iterable, List, Mapping, Optional, Sequence, Tuple, Union

import numpy as np

from . import _quillfen
from ._quillfen import Calibration, Error, FileError, Key, attacks, read_picture, write_picture
from . import metrics, toolbox
from ._sweep import calibrate, robustness, rows_to_dataframe

__all__ = [
    "Calibration", "Error", "FileError", "Key", "Verdict", "attack", "attacks", "calibrate", "embed",
    "experiment", "extract", "method_name", "metrics", "read_picture", "robustness", "rows_to_dataframe",
    "toolbox", "write_picture",
]
__version__ = "0.1.0"
# Tracebacks name the errors where users catch them.
Error.__module__ = FileError.__module__ = __name__

#: The method this build has: what ``embed(method=...)`` and ``robustness(methods=...)`` take.
METHOD: str = _quillfen.METHOD


def method_name() -> str:
    """The method and its parameters as the robustness rows name them
    (``"dct-polarity:divisor=10000"``)."""
    return _quillfen._method_name()


def _seed(value: Any, what: str, bits: int = 32) -> Optional[int]:
    """A seed as a whole number of `bits` bits, or Error."""
    if value is None:
        return None
    if isinstance(value, bool) or not isinstance(value, (int, np.integer)) or not 0 <= int(value) < 2**bits:
        raise Error(f"{what}: {value!r} is not a seed (expected a whole number 0..{2**bits - 1})")
    return int(value)


def embed(host: np.ndarray, mark: np.ndarray, seed: Optional[int] = None, method: str = METHOD,
          calibration_trials: int = 2000, jobs: int = 0, **params: Any) -> Tuple[np.ndarray, Key]:
    """Marks the top-left 256 x 256 region of ``host`` (at least 256 x 256) with ``mark`` (used at
    128 x 128; its pixels below 128 are the mark) and returns ``(marked, key)``: the host at its
    own size with the marked region in place (a colour host keeps its red and green channels),
    and the key extraction needs. ``seed`` (0..4294967295) starts the generator; ``None`` takes
    the clock's. The key gets a calibration of its own from ``calibration_trials`` null trials
    of the unmarked host (0: none; otherwise 100..1000000; the default takes about half a
    second on one core), run on ``jobs`` threads (0: every core). The same pixels, seed and
    trials give the bytes and key of ``quillfen-cli embed`` (``--calibration-trials``).
    Error for a smaller host, or a mark too dark or too light to carry a verdict."""
    if isinstance(calibration_trials, bool) or not isinstance(calibration_trials, (int, np.integer)) or not (
            calibration_trials == 0 or 100 <= calibration_trials <= 1000000):
        raise Error(f"calibration_trials: {calibration_trials!r} is not 0 (no calibration of the key's own) "
                    "or 100..1000000")
    return _quillfen._embed(host, mark, _seed(seed, "seed"), int(calibration_trials), int(jobs), method, **params)


@dataclasses.dataclass(frozen=True)
class Verdict:
    """What :func:`extract` found: the fields of ``quillfen-cli extract --json``.

    ``present``: the detection score reaches the threshold at ``false_alarm_rate`` (1e-6),
    ``detected_1e3`` the one at 1e-3; ``score``: 1 for the picture as marked, about 0 without
    the mark; ``threshold`` (at 1e-6) and ``thresholds`` ({"1e-3": t, "1e-6": t}): at each rate
    the larger of the key's own calibration's and the global one's, ``threshold_sources``
    saying whose ("key" or "global"); ``calibration``: "key" when the key's own calibration
    took part, else "global"; ``global_calibration``: where the global thresholds come from;
    ``nc`` (None when the mark has nothing to compare) and ``ber`` of the extracted mark;
    ``mark``: the extracted 128 x 128 mark; ``identical``: the suspect's region is the marked
    one byte for byte; ``relations``: the counts behind the score; ``transform``: with a host,
    the registration found (rotation_degrees, scale, shift_x, shift_y, fit, identity), and
    ``read_as_is`` when it was set aside.
    """

    present: bool
    score: float
    thresholds: Dict[str, float]
    threshold_sources: Dict[str, str]
    detected_1e3: bool
    threshold: float
    false_alarm_rate: float
    calibration: str
    global_calibration: str
    nc: Optional[float]
    ber: float
    identical: bool
    relations: Dict[str, int]
    transform: Optional[Dict[str, Any]]
    read_as_is: bool
    mark: np.ndarray = dataclasses.field(repr=False, compare=False)

    def __bool__(self) -> bool:
        return self.present


def extract(suspect: np.ndarray, key: Key, host: Optional[np.ndarray] = None,
            calibration: Union[None, str, os.PathLike, Calibration] = None) -> Verdict:
    """Reads the mark from the top-left 256 x 256 of ``suspect`` with ``key`` and judges it.
    With ``host`` (the original or the marked picture) the suspect is first registered to it
    (rotation, scale and shift estimated and undone), as ``quillfen-cli extract --host``.
    ``calibration``: the global thresholds, a :class:`Calibration` or a calibration file (None:
    the built-in ones); a key's own calibration is never judged below."""
    return Verdict(**_quillfen._extract(suspect, key, host, calibration))


def experiment(host: np.ndarray, mark: np.ndarray, seed: Optional[int] = None,
               attacks: Optional[Sequence[str]] = None) -> Dict[str, Any]:
    """The whole watermarking experiment: embeds ``mark`` into ``host`` (used at 256 x 256),
    applies each of the experiment's attacks (none, jpeg, blur, crop-zero-quarter,
    crop-image-quarter, crop-zero-half, crop-image-half; all seven by default) to the marked
    picture and extracts after each. Returns the object ``quillfen-cli experiment --json``
    prints: ``{"seed", "wr_count", "wa_count", "psnr", "sum_sq", "attacks": {...}}``."""
    names = [attacks] if isinstance(attacks, str) else list(attacks or [])
    return json.loads(_quillfen._experiment(host, mark, _seed(seed, "seed"), names))


def attack(picture: np.ndarray, cell: str, seed: int = 0, host: Optional[np.ndarray] = None) -> np.ndarray:
    """Applies one attack cell (``"real-jpeg:q=75"``, ``"rotate:deg=2+real-jpeg:q=75"``; the
    grammar of ``--attacks``, :func:`attacks` lists them) to ``picture`` and returns the
    attacked picture, as the robustness sweep applies it with that seed (the seeded attacks
    draw from it). A 256 x 256 picture is taken as the marked region (every attack; ``host``,
    256 x 256, for the two crops with the host); a picture of another size takes the attacks
    on 8-bit pictures."""
    if not isinstance(cell, str):
        raise Error(f"cell: an attack cell is text, as 'real-jpeg:q=75', not {type(cell).__name__}")
    return _quillfen.attack(picture, cell, _seed(seed, "seed", 64), host)
