"""Quillfen from Python: mark pictures with the laboratory's watermarking methods, attack them,
read the verdict, and run the robustness sweep and the calibration of the detection
thresholds, on numpy arrays; methods written in Python join the sweep beside the built-in ones.

Pictures are ``uint8`` numpy arrays of shape (H, W), or (H, W, 3) / (H, W, 4) in RGB(A)
order, of any strides; they are read in place (no copy), and a colour picture gives its
blue channel, the byte the polarity method reads as gray. Results are new arrays.

    >>> import quillfen
    >>> host = quillfen.read_picture("samples/hosts/astronaut.pgm")
    >>> mark = quillfen.read_picture("samples/seal-128.pgm")
    >>> marked, key = quillfen.embed(host, mark, seed=42)
    >>> attacked = quillfen.attack(marked, "real-jpeg:q=75")
    >>> quillfen.extract(attacked, key).present
    True

The methods (:func:`methods` lists them): ``polarity``, the default, embeds a mark picture
and keeps the host's relations in its key; ``spread-spectrum`` and ``qim`` are blind and
carry a payload of up to 64 bits (``embed(host, payload, method="qim", bits=32)``), which
:func:`extract` reads back (``Verdict.bits``, ``Verdict.bit_accuracy``).

Every call that computes releases the interpreter's lock, so threads run at once. Bad input
raises :class:`Error` (a ``ValueError``), a file that cannot be opened, read or written
:class:`FileError` (an ``OSError``), each with the command line's one-line message. A
:class:`FileError` has the system's ``errno`` and the ``filename`` when there are, and is also
the built-in class of its kind (``FileNotFoundError``, ``PermissionError``,
``IsADirectoryError``, ``NotADirectoryError``, ``FileExistsError``), so that
``except FileNotFoundError`` catches a missing picture.
"""
from __future__ import annotations

import dataclasses
import json
import os
from typing import Any, Callable, Dict, Iterable, List, Mapping, Optional, Sequence, Tuple, Union

import numpy as np

from . import _quillfen
from ._quillfen import Calibration, Error, FileError, Key
from . import metrics, toolbox
from ._sweep import _target_psnr, calibrate, robustness, rows_to_dataframe

__all__ = [
    "METHOD", "Calibration", "Error", "FileError", "Key", "Verdict", "attack", "attacks", "calibrate", "embed",
    "experiment", "extract", "method_name", "methods", "metrics", "payload_from_seed", "read_picture", "robustness",
    "rows_to_dataframe", "toolbox", "write_picture",
]
__version__ = "0.1.0"
# Tracebacks name the errors where users catch them (the kinds of FileError too).
for _error in (Error, FileError, Calibration, Key, *_quillfen._file_error_kinds):
    _error.__module__ = __name__
del _error


def __dir__() -> List[str]:
    # The public names, not the modules and typing names the package itself imports.
    return sorted([*__all__, "__version__"])

#: The default method, the laboratory's own: what ``embed`` and ``robustness`` use unless told.
METHOD: str = _quillfen.METHOD


PathLike = Union[str, bytes, "os.PathLike[str]"]


def read_picture(path: PathLike, gray: bool = False, channel: Optional[str] = None) -> np.ndarray:
    """Reads a picture file (.pgm, .png, .jpg/.jpeg, .bmp, by extension, under the file rules of
    quillfen-cli): an (H, W) uint8 array for a gray picture (an 8-bit file, or one whose pixels
    are all gray), or with ``gray=True`` the luminance (299 R + 587 G + 114 B) / 1000 rounded
    (what image libraries give as a colour picture's gray, and what the blind methods mark);
    ``channel="blue"`` gives the blue channel instead, the gray the laboratory's experiment, the
    toolbox and the polarity method read. Else (H, W, 3) RGB. :class:`FileError` when it cannot
    be read, :class:`Error` when it is not a picture Quillfen reads."""
    return _quillfen.read_picture(path, gray, channel)


def write_picture(path: PathLike, picture: np.ndarray) -> None:
    """Writes an (H, W) array as an 8-bit gray file, or an (H, W, 3|4) RGB(A) array as a 24-bit
    one (alpha dropped), in the format of the extension; the file is replaced only by a
    complete new one."""
    _quillfen.write_picture(path, picture)


def methods() -> List[Dict[str, Any]]:
    """The method catalogue: a list of ``{name, summary, blind, payload_bits, strength,
    uses_mark, thresholds: {'1e-3', '1e-6'}, parameters: [{name, lowest, highest, whole,
    default, meaning}]}``."""
    return _quillfen.methods()


def attacks() -> List[Dict[str, Any]]:
    """The attack catalogue: a list of ``{name, summary, seeded, group, parameters: [{name, lowest,
    highest, whole, odd, default, accepted, meaning}]}``; the group is the one reports gather the
    attack in: ``photometric``, ``degradation``, ``geometric``, ``combined`` (``none`` alone: ``none``)."""
    return _quillfen.attacks()


def payload_from_seed(seed: int, bits: int) -> List[int]:
    """The payload bits a sweep and a calibration embed with that seed (and :func:`embed` when
    given none)."""
    return _quillfen.payload_from_seed(seed, bits)


def method_name() -> str:
    """The polarity method and its parameters as the rows of a sweep without named methods
    name it (``"dct-polarity:divisor=10000"``)."""
    return _quillfen._method_name()


def _seed(value: Any, what: str, bits: int = 32) -> Optional[int]:
    """A seed as a whole number of `bits` bits, or Error."""
    if value is None:
        return None
    if isinstance(value, bool) or not isinstance(value, (int, np.integer)) or not 0 <= int(value) < 2**bits:
        raise Error(f"{what}: {value!r} is not a seed (expected a whole number 0..{2**bits - 1})")
    return int(value)


def _method_text(method: Any, params: Mapping[str, Any]) -> str:
    """A method list's text, ``"qim:step=12,bits=32"``, from a name (or such a text) and
    keyword parameters."""
    if not isinstance(method, str):
        raise Error(f"method: a method's name is text, as 'qim' or 'qim:bits=32', not {type(method).__name__}")
    words = []
    for name, value in params.items():
        if isinstance(value, bool) or not isinstance(value, (int, float, np.integer, np.floating)):
            raise Error(f"method: the parameter {name}={value!r} is not a number")
        if isinstance(value, (float, np.floating)):
            value = np.format_float_positional(float(value), trim="-")
        words.append(f"{name}={value}")
    if not words:
        return method
    return method + ("," if ":" in method else ":") + ",".join(words)


def embed(host: np.ndarray, mark: Any = None, seed: Optional[int] = None, method: str = METHOD,
          calibration_trials: Optional[int] = None, jobs: int = 0, target_psnr: Optional[float] = None,
          payload: Any = None, **params: Any) -> Tuple[np.ndarray, Key]:
    """Marks ``host`` with a method and returns ``(marked, key)``: the host at its own size,
    marked, and the key extraction needs. The same pixels and arguments give the bytes and key
    of ``quillfen-cli embed`` (``--method``, ``--seed``, ``--payload``, ``--target-psnr``,
    ``--calibration-trials``).

    ``method``: ``"polarity"`` (the default), ``"spread-spectrum"`` or ``"qim"`` (:func:`methods`),
    its parameters as keywords (``embed(host, method="qim", step=12, bits=32)``) or in the text
    (``"qim:step=12,bits=32"``). ``seed`` (0..4294967295) starts the generator; ``None`` takes
    the clock's.

    The polarity method marks the top-left 256 x 256 region (host at least 256 x 256) with the
    mark picture ``mark`` (used at 128 x 128; its pixels below 128 are the mark); a colour host
    keeps its red and green channels. The key gets a calibration of its own from
    ``calibration_trials`` null trials of the unmarked host (None: 2000; 0: none; otherwise
    100..1000000; 2000 take about half a second on one core), run on ``jobs`` threads (0: every
    core). Error for a smaller host, or a mark too dark or too light to carry a verdict.

    A blind method marks the whole picture's luminance (a colour host gets it back in its three
    colours) with a payload: ``mark`` (or ``payload=``) is a whole number of at most its bits
    bits (the first bit the highest), a sequence of bits 0 and 1, their hexadecimal digits as
    text, or None: the bits drawn from the seed, as a sweep embeds them. ``target_psnr``: the
    strength set for that embedding PSNR in dB (within 0.1 dB); the key's ``method_params``
    say which."""
    if payload is not None:
        if mark is not None:
            raise Error("embed: give the payload once (as mark or as payload=)")
        mark = payload
    text = _method_text(method, params)
    if calibration_trials is not None and (isinstance(calibration_trials, bool) or
                                           not isinstance(calibration_trials, (int, np.integer))):
        raise Error(f"calibration_trials: {calibration_trials!r} is not a whole number")
    return _quillfen._embed(host, mark, _seed(seed, "seed"), None if calibration_trials is None else
                            int(calibration_trials), int(jobs), text, _target_psnr(target_psnr))


@dataclasses.dataclass(frozen=True)
class Verdict:
    """What :func:`extract` found: the fields of ``quillfen-cli extract --json``.

    Every method: ``present``: the detection score reaches the threshold at
    ``false_alarm_rate`` (1e-6), ``detected_1e3`` the one at 1e-3; ``score``: 1 for the
    picture as marked (about 0 without the mark); ``threshold`` (at 1e-6) and ``thresholds``
    ({"1e-3": t, "1e-6": t}); ``calibration``: whose thresholds judged; ``ber``: the bits read
    wrongly; ``transform``: with a host, the registration found (rotation_degrees, scale,
    shift_x, shift_y, fit, identity); ``method`` and ``method_params``: the key's.

    The polarity method: the thresholds are at each rate the larger of the key's own
    calibration's and the global one's, ``threshold_sources`` saying whose ("key" or
    "global"); ``calibration``: "key" when the key's own calibration took part, else "global";
    ``global_calibration``: where the global thresholds come from; ``nc`` (None when the mark
    has nothing to compare) and ``ber`` of the extracted 128 x 128 ``mark``; ``identical``: the
    suspect's region is the marked one byte for byte; ``relations``: the counts behind the
    score; ``read_as_is`` when the registration was set aside.

    A blind method: ``present`` attests the key's carrier (its seed's sequences), whatever
    payload it carries; ``payload``, the bits the key embedded; ``bits``, the bits read (of a
    mark read inverted, flipped back); ``bit_accuracy``, the share of them read right;
    ``payload_match``, whether ``bits`` are the key's payload bit for bit (no false-alarm rate
    is claimed for the payload); ``z``, the score in units of the suspect's chance spread,
    judged two-sided against ``thresholds_z``; ``thresholds``, the same in score units for this
    suspect (a larger picture's are lower); ``inverted``, the mark was read below 0 (the other
    fields above None).

    A payload under an error-correcting code (``ecc`` above 0): ``payload`` is the key's message;
    ``bits`` the 64 carried bits read and ``bit_accuracy`` their share read right; ``message``
    the message decoded from them; ``corrected`` how many carried bits the code corrected (None:
    more than it corrects, detected); ``message_ok`` and ``payload_match``, whether the message
    decoded is the key's. None for a payload without a code.

    A method that finds the geometry by itself (``spread-spectrum-sync``): ``found``, where it
    found the marked picture in the suspect (rotation_degrees, scale_x, scale_y, shear, shift_x,
    shift_y) and how sure the synchronisation was (``peak``, the strength of the lattice it
    locked on to; ``false_alarm``, a bound on the chance of a picture without the mark doing as
    well); None when it found nothing to lock on to, and for other methods.
    """

    present: bool
    score: float
    thresholds: Dict[str, float]
    detected_1e3: bool
    threshold: float
    false_alarm_rate: float
    calibration: str
    ber: float
    transform: Optional[Dict[str, Any]]
    method: str
    method_params: str
    threshold_sources: Optional[Dict[str, str]] = None
    global_calibration: Optional[str] = None
    nc: Optional[float] = None
    identical: Optional[bool] = None
    relations: Optional[Dict[str, int]] = None
    read_as_is: bool = False
    payload: Optional[List[int]] = None
    bits: Optional[List[int]] = None
    bit_accuracy: Optional[float] = None
    payload_match: Optional[bool] = None
    message: Optional[List[int]] = None
    corrected: Optional[int] = None
    message_ok: Optional[bool] = None
    z: Optional[float] = None
    thresholds_z: Optional[Dict[str, float]] = None
    inverted: Optional[bool] = None
    found: Optional[Dict[str, float]] = None
    mark: Optional[np.ndarray] = dataclasses.field(default=None, repr=False, compare=False)

    def __bool__(self) -> bool:
        return self.present


def extract(suspect: np.ndarray, key: Key, host: Optional[np.ndarray] = None,
            calibration: Union[None, str, os.PathLike, Calibration] = None) -> Verdict:
    """Reads the mark from ``suspect`` with ``key`` (of any method) and judges it, as
    ``quillfen-cli extract --json``: the polarity method reads the top-left 256 x 256, a blind
    method the whole picture and its payload bits. With ``host`` (the original or the marked
    picture) the suspect is first registered to it (rotation, scale and shift estimated and
    undone), as ``--host``. ``calibration``: a :class:`Calibration` or a calibration file of the
    key's method (None: the built-in thresholds); a polarity key's own calibration is never
    judged below."""
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
