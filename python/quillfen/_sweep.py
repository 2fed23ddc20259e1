"""The robustness sweep and the calibration, on this machine's cores or cut into shards for
any executor (a ``concurrent.futures`` pool, a ``dask.distributed.Client``)."""
from __future__ import annotations

import json
import os
import sys
import time
import threading
from typing import Any, Callable, Dict, Iterable, List, Optional, Sequence, Tuple, Union

import numpy as np

from . import _quillfen

Row = Dict[str, Any]
PathLike = Union[str, "os.PathLike[str]"]


def _is_path(value: Any) -> bool:
    return isinstance(value, (str, bytes, os.PathLike))


def _hosts(hosts: Any) -> Tuple[List[str], List[Tuple[str, np.ndarray]]]:
    """Host files and folders, and named pictures, from what the caller gave."""
    if _is_path(hosts):
        return [os.fsdecode(hosts)], []
    if isinstance(hosts, dict):
        hosts = list(hosts.items())
    paths, pictures = [], []
    for item in hosts:
        if _is_path(item):
            paths.append(os.fsdecode(item))
        elif isinstance(item, tuple) and len(item) == 2 and isinstance(item[0], str):
            pictures.append((item[0], item[1]))
        else:
            raise _quillfen.Error("hosts: give picture files and folders, or named pictures as {'name': array} "
                                  f"or ('name', array) pairs (the rows name each host), not {type(item).__name__}")
    return paths, pictures


def _target_psnr(value: Any) -> Optional[float]:
    if value is None:
        return None
    if isinstance(value, bool) or not isinstance(value, (int, float, np.integer, np.floating)) or not (
            10 <= float(value) <= 100):
        raise _quillfen.Error(f"target_psnr: {value!r} is not a PSNR in decibels (10..100, as 38 or 40.5)")
    return float(value)


def _mark(mark: Any) -> Any:
    if mark is None:
        return ""  # the bundled seal
    if _is_path(mark):
        return os.fsdecode(mark)
    if isinstance(mark, tuple) and len(mark) == 2 and isinstance(mark[0], str):
        return mark
    return ("mark", mark)


def _seeds(seeds: Any) -> str:
    if isinstance(seeds, str):
        return seeds
    if isinstance(seeds, (int, np.integer)) and not isinstance(seeds, bool):
        return str(int(seeds))
    words = []
    for seed in seeds:
        if isinstance(seed, bool) or not isinstance(seed, (int, np.integer)):
            raise _quillfen.Error(f"seeds: {seed!r} is not a whole number 0..4294967295")
        words.append(str(int(seed)))
    return ",".join(words)


def _attacks(attacks: Any) -> List[str]:
    if attacks is None:
        return []
    if isinstance(attacks, str):
        return [attacks]
    return [str(a) for a in attacks]


def _methods(methods: Any) -> Tuple[List[str], List[Any]]:
    """The methods named (method lists' texts) and the method objects, each in its order."""
    if methods is None:
        return [], []
    named, objects = [], []
    for method in [methods] if isinstance(methods, str) or not isinstance(methods, (list, tuple)) else methods:
        if isinstance(method, str):
            named.append(method)
        else:
            objects.append(method)
    return named, objects


def _calibration(calibration: Any) -> Any:
    return os.fsdecode(calibration) if _is_path(calibration) else calibration


class _TextBar:
    """A progress bar of plain text on stderr, for progress=True without tqdm: redrawn in place
    on a terminal (ten times a second at most), a line at each tenth elsewhere (a log)."""

    def __init__(self, unit: str) -> None:
        self.unit = unit
        self.terminal = sys.stderr.isatty()
        self.start = time.monotonic()
        self.drawn = 0.0
        self.tenth = -1
        self.open = False

    def __call__(self, done: int, total: int) -> None:
        share = done / total if total else 1.0
        if self.terminal:
            now = time.monotonic()
            if done < total and now - self.drawn < 0.1:
                return
            self.drawn = now
            filled = int(share * 24)
            rate = done / (now - self.start) if now > self.start else 0.0
            line = f"[{'#' * filled}{'.' * (24 - filled)}] {done}/{total} {self.unit}"
            if done and rate:
                left = int((total - done) / rate + 0.999)
                line += f"  {rate:.1f} {self.unit}/s  {left // 60}:{left % 60:02d} left"
            sys.stderr.write("\r" + line + "\x1b[K")
            self.open = True
        elif int(share * 10) > self.tenth:
            self.tenth = int(share * 10)
            sys.stderr.write(f"quillfen: {done}/{total} {self.unit}\n")
        sys.stderr.flush()

    def close(self) -> None:
        if self.open:
            sys.stderr.write("\r\x1b[K")
            sys.stderr.flush()
            self.open = False


class _TqdmBar:
    """progress=True with tqdm (Debian's python3-tqdm): its bar, on a terminal or in a notebook."""

    def __init__(self, tqdm: Any, unit: str) -> None:
        self.tqdm = tqdm
        self.unit = unit
        self.bar = None

    def __call__(self, done: int, total: int) -> None:
        if self.bar is None:
            self.bar = self.tqdm(total=total, unit=self.unit, leave=False)
        self.bar.update(done - self.bar.n)

    def close(self) -> None:
        if self.bar is not None:
            self.bar.close()


def _progress(progress: Any, unit: str) -> Any:
    """The callable a sweep tells of its progress: the caller's, a bar for True (tqdm's when it
    can be imported, else one of plain text), or None."""
    if progress is None or progress is False:
        return None
    if progress is True:
        try:
            from tqdm.auto import tqdm
        except ImportError:
            return _TextBar(unit)
        return _TqdmBar(tqdm, unit)
    if not callable(progress):
        raise _quillfen.Error(f"progress: give True (a bar), a function progress(done, total) or None, "
                              f"not {type(progress).__name__}")
    return progress


def _closing(bar: Any) -> None:
    if isinstance(bar, (_TextBar, _TqdmBar)):
        bar.close()
def _start_method_call(call: Any, function: Callable[..., Any], arguments: tuple, keywords: Dict[str, Any]) -> int:
    """Starts a call of a method object on a thread of its own and returns the thread's
    ident. The engine's thread that asked for it waits for ``call`` to be told the result, and
    leaves a call that overruns the method's time limit or is stopped, raising an exception in
    its thread; the thread, a daemon, never holds up the interpreter's exit."""
    thread = threading.Thread(target=_run_method_call, args=(call, function, arguments, keywords),
                              name="quillfen method call", daemon=True)
    thread.start()
    return thread.ident


def _run_method_call(call: Any, function: Callable[..., Any], arguments: tuple, keywords: Dict[str, Any]) -> None:
    try:
        result = function(*arguments, **keywords)
    except BaseException as error:  # handed over whole: the engine names the method and the error
        call.fail(error)
    else:
        call.done(result)


def _run_shard(arguments: Dict[str, Any], index: int, count: int) -> List[str]:
    """One shard of a sweep, as an executor's worker runs it: its rows as JSON text."""
    return _quillfen._robustness(arguments["paths"], arguments["pictures"], arguments["mark"],
                                 arguments["seeds"], arguments["attacks"], arguments["methods"],
                                 arguments["objects"], arguments["target_psnr"], arguments["calibration"],
                                 arguments["jobs"], arguments["register"], index, count, None)


def robustness(hosts: Any, mark: Any = None, seeds: Any = "1..20", attacks: Any = None, methods: Any = None,
               target_psnr: Optional[float] = None, jobs: int = 0, register: bool = False, calibration: Any = None,
               shard: Optional[Tuple[int, int]] = None,
               progress: Union[None, bool, Callable[[int, int], Any]] = None, executor: Any = None,
               shards: Optional[int] = None) -> List[Row]:
    """The robustness sweep: every attack cell applied to every host marked with every seed,
    one row per (host, seed, cell), the rows of ``quillfen-cli robustness`` (the same fields
    and values as its JSON Lines, as dicts, in its order).

    ``hosts``: picture files and folders (sorted by file name, as the command line sorts
    them), and/or named pictures, ``{"name": array}`` or ``("name", array)`` pairs (after the
    files, in the order given). ``mark``: a file or an array. ``seeds``: ``"1..5,7"`` or
    whole numbers. ``attacks``: attack lists (``"real-jpeg:q=10..90:10"``); None for the
    default grid. ``methods``: the methods to compare, as ``--method`` names them
    (``"qim:bits=32"``), and method objects written in Python (see below), which come after
    the named ones, as ``--method-cmd`` methods do; None: the polarity method alone, rows
    without method fields. ``target_psnr``: each method with a strength marks each host at
    this embedding PSNR in dB (within 0.1 dB; rows record the strength). ``jobs``: threads (0:
    every core). ``register``: read geometric cells again after registration.
    ``calibration``: a :class:`Calibration` or a file (None: the mark file's
    ``<name>.calibration.json`` beside it, if any; a blind method's calibration judges that
    method's rows). ``mark`` None: the bundled seal. ``shard``: ``(i, n)``, the i-th of n slices
    of the rows. ``progress(done, total)`` is called as rows finish; an exception it raises
    stops the sweep and is raised here, as Ctrl-C's ``KeyboardInterrupt`` is. ``progress=True``
    draws a bar on stderr (tqdm's, Debian's python3-tqdm, when it is installed; else one of plain
    text).

    ``executor``: anything with ``submit(function, *arguments)`` returning a future with
    ``result()`` (a ``concurrent.futures.ProcessPoolExecutor``, a ``dask.distributed.Client``):
    the rows are cut into ``shards`` slices (default: 16, at most one a row), each run by a
    worker (with ``jobs`` threads, default 1 there), and put back in order; the rows are those
    of one run (method objects travel pickled). ``progress`` is then told as shards finish.
    Each shard's rows are checked against the plan: an executor that gives another shard's
    result, or loses or reorders rows, raises :class:`Error`.

    A method written in Python is an object with ``name`` (a word, not a method of the
    catalogue), ``embed(host, payload, seed, **params) -> (marked, key_bytes)`` and
    ``detect(suspect, key_bytes) -> score`` or ``{"score": s, "bits": [...]}``, and optionally
    ``payload_bits`` (0..64), ``thresholds`` (``{"1e-3": t, "1e-6": t}``: its rows get
    verdicts), ``strength`` (``{"lowest", "highest", "default"}``: embed gets ``strength=``,
    which ``target_psnr`` sets), ``params`` (further keyword arguments of embed) and
    ``time_limit_seconds`` (1..3600, default 60). Pictures are (H, W) uint8 arrays of gray
    bytes (the host's 256 x 256 region), the payload a uint8 array of bits drawn from the seed,
    the score in -1..1 (about 0 without the mark). Each call runs on a thread of its own; an
    exception, a wrong return or a call past its time limit gives error rows naming the method,
    and the sweep goes on. Ctrl-C leaves the calls in progress (an exception is raised in them)
    and raises ``KeyboardInterrupt`` at once.
    """
    bar = _progress(progress, "rows")
    try:
        return _robustness(hosts, mark, seeds, attacks, methods, target_psnr, jobs, register, calibration, shard,
                           bar, executor, shards)
    finally:
        _closing(bar)


def _robustness(hosts: Any, mark: Any, seeds: Any, attacks: Any, methods: Any, target_psnr: Optional[float],
                jobs: int, register: bool, calibration: Any, shard: Optional[Tuple[int, int]], progress: Any,
                executor: Any, shards: Optional[int]) -> List[Row]:
    named, objects = _methods(methods)
    paths, pictures = _hosts(hosts)
    arguments = {"paths": paths, "pictures": pictures, "mark": _mark(mark), "seeds": _seeds(seeds),
                 "attacks": _attacks(attacks), "methods": named, "objects": objects,
                 "target_psnr": _target_psnr(target_psnr), "calibration": _calibration(calibration),
                 "jobs": int(jobs), "register": bool(register)}
    if executor is None:
        index, count = shard if shard is not None else (1, 1)
        rows = _quillfen._robustness(paths, pictures, arguments["mark"], arguments["seeds"], arguments["attacks"],
                                     named, objects, arguments["target_psnr"], arguments["calibration"],
                                     arguments["jobs"], arguments["register"], int(index), int(count), progress)
        return [json.loads(row) for row in rows]
    if shard is not None:
        raise _quillfen.Error("robustness: give shard or executor, not both (the executor cuts the shards)")
    names = _quillfen._plan_names(paths, pictures, arguments["seeds"], arguments["attacks"], named, objects,
                                  arguments["target_psnr"] is not None)
    host_names, seed_list, method_labels, cells = names
    total = len(host_names) * len(seed_list) * max(1, len(method_labels)) * len(cells)
    count = max(1, min(int(shards) if shards is not None else 16, total))
    if jobs == 0:
        arguments["jobs"] = 1
    # Every argument is checked here, by the first shard, before the others are sent.
    futures = [executor.submit(_run_shard, arguments, i, count) for i in range(1, count + 1)]
    rows: List[Row] = []
    for index, future in enumerate(futures, 1):
        shard_rows = [json.loads(row) for row in future.result()]
        _check_shard(shard_rows, index, count, total, names)
        rows.extend(shard_rows)
        if progress is not None:
            progress(len(rows), total)
    return rows


def _check_shard(rows: List[Row], index: int, count: int, total: int, names: Tuple[list, list, list, list]) -> None:
    """Error unless ``rows`` are the rows of shard ``index`` of ``count``, each in its place: an
    executor whose futures give another shard's result, lose rows or reorder them would
    otherwise pass wrong rows as the run's (the shards, each checked, cover the plan)."""
    hosts, seeds, methods, cells = names
    begin, end = (index - 1) * total // count, index * total // count
    what = f"robustness: the executor's result for shard {index} of {count}"
    if len(rows) != end - begin:
        raise _quillfen.Error(f"{what} holds {len(rows)} rows, not the {end - begin} of that shard: the executor "
                              "returned another shard's result or lost rows; no rows are returned")
    per_method, per_seed = len(cells), max(1, len(methods)) * len(cells)
    for offset, row in enumerate(rows):
        r = begin + offset
        expected = (hosts[r // (len(seeds) * per_seed)], seeds[(r // per_seed) % len(seeds)],
                    methods[(r // per_method) % len(methods)] if methods else None, cells[r % len(cells)])
        given = (row.get("host"), row.get("seed"), row.get("method") if methods else None, row.get("attack"))
        if given != expected:
            raise _quillfen.Error(f"{what} holds at row {r + 1} of the run the row of {_row_text(given)}, where the "
                                  f"plan has {_row_text(expected)}: the executor returned another shard's result; "
                                  "no rows are returned")


def _row_text(key: Tuple[Any, Any, Any, Any]) -> str:
    host, seed, method, attack = key
    return f"{host!r}, seed {seed}, " + (f"{method}, " if method is not None else "") + str(attack)


def calibrate(hosts: Any, mark: Any = None, seeds: Any = "1..10", attacks: Any = None, jobs: int = 0,
              progress: Union[None, bool, Callable[[int, int], Any]] = None,
              method: Any = None) -> "_quillfen.Calibration":
    """The detection thresholds of a method, as ``quillfen-cli calibrate``: for every host and
    seed the host is marked, and the key reads every other host marked and unmarked and its
    own host unmarked after every attack cell (None: the default grid); the null scores' model
    gives the thresholds at false-alarm rates 1e-3 and 1e-6. ``hosts`` as for
    :func:`robustness`. ``method``: None or ``"polarity"``, with its ``mark`` (a file or an
    array); a blind method by name (``"qim:bits=32"``, as ``--method``), or a method object
    written in Python (as :func:`robustness` takes them), with no mark: each key embeds the
    payload its seed draws. ``progress(done, total)`` is told of the keys done (True: a bar, as
    :func:`robustness` draws)."""
    paths, pictures = _hosts(hosts)
    text, method_object = "", None
    if isinstance(method, str):
        text = method
    elif method is not None:
        method_object = method
    bar = _progress(progress, "keys")
    try:
        return _quillfen._calibrate(paths, pictures, None if mark is None else _mark(mark), _seeds(seeds),
                                    _attacks(attacks), text, method_object, int(jobs), bar)
    finally:
        _closing(bar)


def rows_to_dataframe(rows: Iterable[Row]) -> Any:
    """The rows as a pandas DataFrame, one column per field in the rows' order (pandas needed:
    Debian's python3-pandas)."""
    try:
        import pandas
    except ImportError as error:  # pragma: no cover - depends on the machine
        raise ImportError("rows_to_dataframe needs pandas (Debian: python3-pandas)") from error
    return pandas.DataFrame(list(rows))
