"""The toolbox from its catalogue against quillfen-cli, and hostile input."""
import numpy as np
import pytest

import quillfen
from quillfen import toolbox


@pytest.mark.parametrize("group, command, arguments, options", [
    ("threshold", "kapur", {}, []),
    ("threshold", "ptile", {"percent": 30}, ["--percent", "30"]),
    ("histogram", "ends-in", {"low": 2, "high": 3}, ["--low", "2", "--high", "3"]),
    ("edge", "hough", {"line_based": True, "votes": 50}, ["--line-based", "--votes", "50"]),
    ("noise", "median", {}, []),
    (None, "thin", {}, []),
    (None, "label", {}, []),
])
def test_operations_give_the_cli_pictures_and_reports(cli, samples, tmp_path, group, command, arguments, options):
    picture = quillfen.read_picture(samples / "camera-256.pgm")
    if command == "label":
        picture, _ = toolbox.threshold(quillfen.read_picture(samples / "seal-128.pgm"), "mean")
    quillfen.write_picture(tmp_path / "in.pgm", picture)
    printed = cli.run(*([group] if group else []), command, *options, "in.pgm", "out.pgm").stdout.strip()
    function = getattr(toolbox, group or command)
    result = function(picture, command, **arguments) if group else function(picture, **arguments)
    produced, numbers = (result[0], result[1:]) if isinstance(result, tuple) else (result, ())
    assert np.array_equal(produced, quillfen.read_picture(tmp_path / "out.pgm"))
    _, reported, line = toolbox.apply(picture, group, command, **arguments)
    assert (line or "") == printed and list(numbers) == reported
    if command == "label":
        assert numbers == (4,)


def test_bad_input_raises_the_library_errors(host, mark, tmp_path):
    _, key = quillfen.embed(host, mark, seed=1, calibration_trials=0)
    refused = {
        "empty": lambda: quillfen.embed(np.zeros((0, 0), np.uint8), mark),
        "float pixels": lambda: quillfen.extract(host.astype(np.float64), key),
        "one pixel host": lambda: quillfen.embed(np.zeros((1, 1), np.uint8), mark),
        "a list": lambda: quillfen.metrics.psnr([[1, 2]], host),
        "none": lambda: quillfen.attack(None, "none"),
        "four axes": lambda: quillfen.metrics.ssim(host[None, ..., None], host[None, ..., None]),
        "two channels": lambda: quillfen.attack(np.zeros((8, 8, 2), np.uint8), "median:k=3"),
        "beyond the size limits": lambda: quillfen.attack(np.broadcast_to(np.uint8(0), (40000, 2)), "median:k=3"),
        "other sizes": lambda: quillfen.metrics.psnr(host, mark),
        "NaN parameter": lambda: quillfen.attack(host, "rotate:deg=nan"),
        "out of range": lambda: quillfen.attack(host, "real-jpeg:q=101"),
        "several cells": lambda: quillfen.attack(host, "median:k=3,5"),
        "negative seed": lambda: quillfen.embed(host, mark, seed=-1),
        "seed too large": lambda: quillfen.attack(host, "none", seed=2**64),
        "unknown method": lambda: quillfen.embed(host, mark, method="lsb"),
        "too few key trials": lambda: quillfen.embed(host, mark, calibration_trials=5),
        "toolbox argument": lambda: toolbox.threshold(host, "ptile", percent=101),
        "toolbox NaN": lambda: toolbox.threshold(host, "ptile", percent=float("nan")),
        "toolbox operation": lambda: toolbox.edge(host, "canny"),
        "flat picture": lambda: toolbox.histogram(np.full((9, 9), 7, np.uint8), "auto-stretch"),
        "bad seeds": lambda: quillfen.robustness([("a", host)], mark, seeds="3..1", attacks="none"),
        "unnamed host": lambda: quillfen.robustness([host], mark, seeds=[1], attacks="none"),
        "white mark": lambda: quillfen.robustness([("a", host)], np.full((128, 128), 255, np.uint8), attacks="none"),
        "experiment attack": lambda: quillfen.experiment(host, mark, seed=1, attacks=["median"]),
        "payload too long": lambda: quillfen.embed(host, 2**16, method="qim", bits=16),
        "payload not bits": lambda: quillfen.embed(host, [0, 2] * 32, method="qim"),
        "payload not hex": lambda: quillfen.embed(host, "xyz", method="spread-spectrum"),
        "mark for a blind method": lambda: quillfen.embed(host, mark, method="qim"),
        "NaN method parameter": lambda: quillfen.embed(host, method="qim", step=float("nan")),
        "NaN target PSNR": lambda: quillfen.robustness([("a", host)], methods="qim", target_psnr=float("nan")),
        "method object without detect": lambda: quillfen.robustness([("a", host)], methods=[type(
            "NoDetect", (), {"name": "x", "embed": lambda *a: None})()]),
        "blind calibration for a polarity key": lambda: quillfen.extract(host, key, calibration=quillfen.calibrate(
            [("a", host), ("b", host.T)], method="qim", seeds=[1, 2], attacks="none")),
    }
    for name, call in refused.items():
        with pytest.raises(quillfen.Error):
            call()
            pytest.fail(name)
    with pytest.raises(quillfen.FileError, match="no-such"):
        quillfen.read_picture(tmp_path / "no-such.png")
    with pytest.raises(quillfen.FileError):
        quillfen.Key.load(tmp_path / "no-such.key")
    with pytest.raises(quillfen.FileError):
        quillfen.write_picture(tmp_path / "no-folder" / "x.png", host)
    (tmp_path / "not.png").write_bytes(b"not a picture")
    with pytest.raises(quillfen.Error):
        quillfen.read_picture(tmp_path / "not.png")
    assert issubclass(quillfen.Error, ValueError) and issubclass(quillfen.FileError, OSError)


def test_tiny_and_odd_pictures_compute_or_refuse_cleanly():
    one = np.full((1, 1), 9, np.uint8)
    assert quillfen.attack(one, "brightness:d=10")[0, 0] == 19
    assert quillfen.metrics.psnr(one, one) == float("inf")
    with pytest.raises(quillfen.Error):
        quillfen.metrics.ssim(one, one)
    for operation in toolbox.operations():
        try:
            toolbox.apply(one, operation["group"], operation["command"])
        except quillfen.Error:
            pass


def test_slips_are_answered_with_what_was_meant(host):
    """Unknown attacks, parameters, toolbox operations and methods name the near ones, and the
    workspace's JPEG-style quantisation points to the codec, which has a quality."""
    expected = {
        "jpeg has no parameter 'q' (it takes scale); did you mean 'real-jpeg:q=50'? jpeg is the workspace's "
        "JPEG-style quantisation": lambda: quillfen.attack(host, "jpeg:q=50"),
        "unknown attack 'gaussian-noise', did you mean 'gauss-noise'?": lambda: quillfen.attack(
            host, "gaussian-noise:sigma=2"),
        "threshold: no operation 'otsu', did you mean 'gray-level' (largest between-class variance)?":
            lambda: toolbox.threshold(host, "otsu"),
        "ptile: no argument 'percnt', did you mean 'percent'?": lambda: toolbox.threshold(host, "ptile", percnt=3),
        "unknown method 'spred-spectrum' (known: polarity, spread-spectrum, qim, stdm, rdm, spread-spectrum-sync); did you mean 'spread-spectrum'?":
            lambda: quillfen.embed(host, method="spred-spectrum"),
        "unknown method 'qmi' (known: polarity, spread-spectrum, qim, stdm, rdm, spread-spectrum-sync); did you mean 'qim'?":
            lambda: quillfen.robustness([("a", host)], methods=["qmi"], seeds=[1], attacks="none"),
        "method: 'qmi': unknown method 'qmi' (known: polarity, spread-spectrum, qim, stdm, rdm, spread-spectrum-sync); did you mean 'qim'?":
            lambda: quillfen.calibrate([("a", host)], method="qmi", seeds=[1], attacks="none"),
    }
    for message, call in expected.items():
        with pytest.raises(quillfen.Error) as raised:
            call()
        assert message in str(raised.value)
