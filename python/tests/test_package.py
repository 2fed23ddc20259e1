"""The package as a newcomer meets it: the kinds of file errors, progress=True, what dir() and
__all__ list, and the signatures inspect and the type stubs give."""
import ast
import errno
import inspect
import os
import sys
from pathlib import Path

import numpy as np
import pytest

import quillfen
from quillfen import metrics, toolbox

PACKAGE = Path(quillfen.__file__).parent


def test_file_errors_are_the_builtin_kinds_with_errno_and_filename(tmp_path, host):
    missing = tmp_path / "missing.png"
    with pytest.raises(FileNotFoundError) as raised:
        quillfen.read_picture(missing)
    error = raised.value
    assert isinstance(error, quillfen.FileError) and isinstance(error, OSError)
    assert (error.errno, error.filename) == (errno.ENOENT, str(missing))
    assert error.strerror == os.strerror(errno.ENOENT)
    # The message stays the library's line.
    assert str(error) == f"Cannot open file {missing} (No such file or directory)"
    assert type(error).__module__ == "quillfen" and type(error).__name__ == "FileNotFoundError"

    folder = tmp_path / "folder.png"
    folder.mkdir()
    with pytest.raises(IsADirectoryError) as raised:
        quillfen.read_picture(folder)
    assert raised.value.errno == errno.EISDIR and "it is a folder, not a regular file" in str(raised.value)
    (tmp_path / "file").write_bytes(b"x")
    with pytest.raises(NotADirectoryError):
        quillfen.write_picture(tmp_path / "file" / "x.png", host)
    with pytest.raises(FileNotFoundError):
        quillfen.Key.load(tmp_path / "no.key")
    # A refusal with no error of the system's is a plain FileError, errno None, its file named.
    fifo = tmp_path / "fifo.pgm"
    os.mkfifo(fifo)
    with pytest.raises(quillfen.FileError) as raised:
        quillfen.read_picture(fifo)
    assert not isinstance(raised.value, FileNotFoundError)
    assert (raised.value.errno, raised.value.filename) == (None, str(fifo))
    if os.geteuid() != 0:  # the superuser may write anywhere
        locked = tmp_path / "locked"
        locked.mkdir(mode=0o500)
        with pytest.raises(PermissionError) as raised:
            quillfen.write_picture(locked / "x.png", host)
        assert raised.value.errno == errno.EACCES


def _sweep(host, **arguments):
    return quillfen.robustness([("a", host)], seeds=[1], attacks="none,median:k=3", **arguments)


def test_progress_true_draws_a_bar_with_or_without_tqdm(host, monkeypatch, capsys):
    rows = _sweep(host)
    # Without tqdm: a plain bar of text; on a log (not a terminal) a line at each tenth.
    monkeypatch.setitem(sys.modules, "tqdm", None)
    monkeypatch.setitem(sys.modules, "tqdm.auto", None)
    assert _sweep(host, progress=True) == rows
    err = capsys.readouterr().err
    assert err == "quillfen: 1/2 rows\nquillfen: 2/2 rows\n"
    monkeypatch.undo()
    told = []
    assert _sweep(host, progress=lambda done, total: told.append((done, total))) == rows
    assert told[-1] == (2, 2)
    assert _sweep(host, progress=False) == rows and capsys.readouterr().err == ""
    with pytest.raises(quillfen.Error, match="progress: give True"):
        _sweep(host, progress="yes")


def test_progress_true_uses_tqdm_when_it_is_there(host, capsys):
    pytest.importorskip("tqdm")
    assert len(_sweep(host, progress=True)) == 2
    err = capsys.readouterr().err
    assert "0/2" in err and "rows" in err  # tqdm's bar, erased when done


def test_dir_and_all_hold_the_public_names():
    for module in (quillfen, toolbox, metrics):
        assert all(hasattr(module, name) for name in module.__all__), module.__name__
        listed = dir(module)
        for private in ("Any", "Dict", "Optional", "np", "os", "json", "dataclasses", "_quillfen", "annotations"):
            assert private not in listed, (module.__name__, private)
    assert {"embed", "extract", "attack", "robustness", "Verdict", "FileError", "METHOD"} <= set(dir(quillfen))
    assert {"threshold", "edge", "apply", "operations"} <= set(dir(toolbox))


def _stub_functions(stub):
    tree = ast.parse((PACKAGE / stub).read_text())
    return {node.name: node for node in tree.body if isinstance(node, ast.FunctionDef)}


def _stub_parameters(function):
    a = function.args
    positional = a.posonlyargs + a.args
    defaults = [None] * (len(positional) - len(a.defaults)) + list(a.defaults)
    parameters = [(p.arg, inspect.Parameter.POSITIONAL_OR_KEYWORD, d is not None) for p, d in zip(positional, defaults)]
    if a.vararg:
        parameters.append((a.vararg.arg, inspect.Parameter.VAR_POSITIONAL, False))
    parameters += [(p.arg, inspect.Parameter.KEYWORD_ONLY, d is not None) for p, d in zip(a.kwonlyargs, a.kw_defaults)]
    if a.kwarg:
        parameters.append((a.kwarg.arg, inspect.Parameter.VAR_KEYWORD, False))
    return parameters


def test_functions_have_real_signatures_that_the_stubs_match():
    for module, stub in ((quillfen, "__init__.pyi"), (metrics, "__init__.pyi"), (toolbox, "toolbox.pyi")):
        stubs = _stub_functions(stub) if module is not metrics else {}
        for name in module.__all__:
            function = getattr(module, name)
            if inspect.isclass(function) or inspect.ismodule(function) or not callable(function):
                continue
            signature = inspect.signature(function)  # a ValueError for a bare extension function
            if name in stubs:
                actual = [(p.name, p.kind, p.default is not p.empty) for p in signature.parameters.values()]
                assert actual == _stub_parameters(stubs[name]), name
    # The stubs name every public function of the package.
    stubbed = _stub_functions("__init__.pyi")
    for name in quillfen.__all__:
        if inspect.isfunction(getattr(quillfen, name)):
            assert name in stubbed, name


def test_gray_of_a_colour_picture_is_its_luminance(tmp_path):
    """gray=True gives what image libraries give as a colour picture's gray (the luminance the
    blind methods mark); channel="blue" the laboratory's gray."""
    rng = np.random.default_rng(7)
    rgb = rng.integers(0, 256, size=(37, 53, 3), dtype=np.uint8)
    rgb[0, 0] = (0, 0, 250)  # 114 * 250 / 1000 = 28.5: a half, to the even 28
    path = tmp_path / "colour.png"
    quillfen.write_picture(path, rgb)
    luma = quillfen.read_picture(path, gray=True)
    wide = rgb.astype(np.int64)
    exact = (299 * wide[..., 0] + 587 * wide[..., 1] + 114 * wide[..., 2]) / 1000
    assert luma.shape == (37, 53) and luma.dtype == np.uint8
    assert np.array_equal(luma, np.round(exact).astype(np.uint8))
    assert luma[0, 0] == 28
    assert np.array_equal(quillfen.read_picture(path, gray=True, channel="luminance"), luma)
    assert np.array_equal(quillfen.read_picture(path, channel="blue"), rgb[..., 2])
    assert quillfen.read_picture(path).shape == (37, 53, 3)
    with pytest.raises(quillfen.Error, match="channel"):
        quillfen.read_picture(path, gray=True, channel="green")
    try:
        from PIL import Image
    except ImportError:
        return
    pil = np.asarray(Image.open(path).convert("L"), dtype=np.int64)
    assert np.max(np.abs(pil - luma.astype(np.int64))) <= 1


def test_the_catalogue_says_each_attacks_group():
    groups = {a["name"]: a["group"] for a in quillfen.attacks()}
    assert groups["none"] == "none"
    assert groups["gamma"] == "photometric"
    assert groups["real-jpeg"] == "degradation"
    assert groups["random-bending"] == "geometric"
    assert groups["print-scan"] == "combined"
    assert set(groups.values()) == {"none", "photometric", "degradation", "geometric", "combined"}
