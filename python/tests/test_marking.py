"""Embedding, keys and extraction: the bytes of quillfen-cli, from any strides, on threads."""
import concurrent.futures
import hashlib
import math
import pickle

import numpy as np
import pytest

import quillfen


def hex_of(bits):
    """Bits as the command line writes a payload: hexadecimal digits, the first bit highest."""
    bits = list(bits) + [0] * (-len(bits) % 4)
    return "".join(format(int("".join(map(str, bits[i:i + 4])), 2), "x") for i in range(0, len(bits), 4))


# Each method as quillfen-cli embed takes it, and as embed() does.
EMBEDDINGS = {
    "polarity": (["--calibration-trials", 100], dict(calibration_trials=100)),
    "qim": (["--method", "qim:bits=24", "--payload", "c0ffee"], dict(method="qim", bits=24, payload=0xC0FFEE)),
    "spread-spectrum": (["--method", "spread-spectrum:bits=16", "--target-psnr", 40],
                        dict(method="spread-spectrum:bits=16", target_psnr=40)),
    "spread-spectrum-sync": (["--method", "spread-spectrum-sync", "--payload", "5681fb21e676dc7c"],
                             dict(method="spread-spectrum-sync", payload=0x5681FB21E676DC7C)),
}


@pytest.mark.parametrize("method", EMBEDDINGS)
def test_embed_and_extract_give_the_cli_bytes(cli, samples, tmp_path, method):
    bmp = samples / "camera-512.bmp"
    arguments, keywords = EMBEDDINGS[method]
    mark = samples / "seal-128.pgm"
    cli.run("embed", bmp, *([mark] if method == "polarity" else []), "cli.png", "--key", "cli.key", "--seed", 7,
            *arguments)
    marked, key = quillfen.embed(quillfen.read_picture(bmp), quillfen.read_picture(mark) if method == "polarity"
                                 else None, seed=7, **keywords)
    quillfen.write_picture(tmp_path / "py.png", marked)
    assert (tmp_path / "py.png").read_bytes() == (tmp_path / "cli.png").read_bytes()
    assert bytes(key) == (tmp_path / "cli.key").read_bytes()

    attacked = quillfen.attack(marked, "real-jpeg:q=60", seed=3)
    quillfen.write_picture(tmp_path / "attacked.png", attacked)
    expected = cli.json("extract", "attacked.png", "--key", "cli.key", "--json")
    verdict = quillfen.extract(quillfen.read_picture(tmp_path / "attacked.png"), quillfen.Key.load(tmp_path / "cli.key"))
    expected["detected_1e3"] = expected.pop("detected_1e-3")
    assert expected.pop("detected_1e-6") == verdict.present
    assert key.method == verdict.method == method
    if method == "polarity":
        assert key.calibration["trials"] == 100 and verdict.calibration == "key"
        assert verdict.mark.shape == (128, 128)
        assert quillfen.metrics.nc(verdict.mark, key.mark) == verdict.nc
        assert verdict.bits is None and key.payload is None
    else:
        assert (hex_of(verdict.payload), hex_of(verdict.bits)) == (expected.pop("payload"), expected.pop("payload_read"))
        assert len(verdict.bits) == expected.pop("payload_bits") and verdict.payload == key.payload
        assert verdict.bit_accuracy > 0.9
    assert {field: getattr(verdict, field) for field in expected} == expected


def test_the_synchronising_method_reads_a_crop_and_says_where_it_found_it(samples):
    host = quillfen.read_picture(samples / "camera-512.bmp")
    marked, key = quillfen.embed(host, method="spread-spectrum-sync", payload=0x5681FB21E676DC7C, seed=4,
                                 target_psnr=38)
    # A window from (40, 24), smaller than the marked picture: read as it is, with the key alone.
    verdict = quillfen.extract(np.ascontiguousarray(marked[24:24 + 440, 40:40 + 460]), key)
    assert verdict.present and hex_of(verdict.bits) == "5681fb21e676dc7c"
    found = verdict.found
    assert abs(found["scale_x"] - 1) < 0.01 and abs(found["scale_y"] - 1) < 0.01
    assert abs(found["rotation_degrees"]) < 0.1
    period = 32 * 2 ** 0.5  # the tile of a picture under a megapixel
    for shift, origin in ((found["shift_x"], -40), (found["shift_y"], -24)):
        assert abs(math.remainder(shift - origin, period)) < 1.0
    assert found["false_alarm"] < 1e-6
    # Other methods find no geometry of their own.
    other, other_key = quillfen.embed(host, method="qim", seed=4)
    assert quillfen.extract(other, other_key).found is None


def test_a_registered_suspect_reads_as_extract_with_host(cli, samples, tmp_path, host, mark):
    marked, key = quillfen.embed(host, mark, seed=5, calibration_trials=0)
    moved = quillfen.attack(marked, "rotate:deg=3")
    quillfen.write_picture(tmp_path / "moved.png", moved)
    quillfen.write_picture(tmp_path / "marked.png", marked)
    key.save(tmp_path / "m.key")
    expected = cli.json("extract", "moved.png", "--key", "m.key", "--host", "marked.png", "--json")
    verdict = quillfen.extract(moved, key, host=marked)
    assert verdict.score == expected["score"] and verdict.present == expected["present"]
    assert verdict.transform == expected["transform"]
    assert verdict.read_as_is == expected.get("read_as_is", False)
    assert verdict.present and not quillfen.extract(moved, key).present


def test_any_strides_read_the_same_pixels(host, mark):
    expected, key = quillfen.embed(host, mark, seed=11, calibration_trials=0)
    big = np.zeros((300, 700, 3), np.uint8)
    big[10:266, 20:532:2, 2] = host                       # the blue channel, every other column
    views = {
        "channel of RGB, stepped": big[10:266, 20:532:2],
        "upside down twice": np.ascontiguousarray(host[::-1])[::-1],
        "Fortran order": np.asfortranarray(host),
        "transposed twice": np.ascontiguousarray(host.T).T,
        "read-only": np.frombuffer(host.tobytes(), np.uint8).reshape(host.shape),
    }
    for name, view in views.items():
        marked, same_key = quillfen.embed(view, mark, seed=11, calibration_trials=0)
        assert same_key == key, name
        assert np.array_equal(marked if marked.ndim == 2 else marked[..., 2], expected), name
    # A colour host keeps its red and green channels; the mark goes into blue.
    marked, _ = quillfen.embed(big[10:266, 20:532:2], mark, seed=11, calibration_trials=0)
    assert np.array_equal(marked[..., :2], big[10:266, 20:532:2, :2])


def test_keys_round_trip_through_files_bytes_and_pickle(host, mark, tmp_path):
    _, key = quillfen.embed(host, mark, seed=3, calibration_trials=100)
    key.save(tmp_path / "k.key")
    assert quillfen.Key.load(tmp_path / "k.key") == key
    assert quillfen.Key.from_bytes(bytes(key)) == key
    assert pickle.loads(pickle.dumps(key)) == key
    assert key.seed == 3 and key.host_size == (256, 256) and key.region == (0, 0, 256, 256)
    damaged = bytearray(bytes(key))
    damaged[100] ^= 1
    with pytest.raises(quillfen.Error, match="damaged"):
        quillfen.Key.from_bytes(bytes(damaged))
    # A blind method's key: its record alone.
    _, blind = quillfen.embed(host, [1, 0] * 16, seed=3, method="spread-spectrum", bits=32)
    blind.save(tmp_path / "b.key")
    assert quillfen.Key.load(tmp_path / "b.key") == blind == pickle.loads(pickle.dumps(blind)) != key
    assert (blind.method, blind.seed, blind.payload, blind.region) == ("spread-spectrum", 3, [1, 0] * 16,
                                                                       (0, 0, 256, 256))
    assert blind.calibration is None and "bits=32" in blind.method_params


def test_threads_extract_at_once_as_one_after_another(host, mark):
    marked, key = quillfen.embed(host, mark, seed=9, calibration_trials=0)
    suspects = [quillfen.attack(marked, f"real-jpeg:q={q}") for q in range(30, 100, 5)]
    sequential = [quillfen.extract(s, key) for s in suspects]
    with concurrent.futures.ThreadPoolExecutor(8) as pool:
        parallel = list(pool.map(lambda s: quillfen.extract(s, key), suspects))
    assert parallel == sequential
    assert [np.array_equal(a.mark, b.mark) for a, b in zip(parallel, sequential)] == [True] * len(suspects)


def test_a_blind_embedding_gives_back_the_callers_layout(host):
    gray3 = np.stack([host] * 3, axis=-1)
    rgba = np.dstack([gray3, (np.arange(host.size) % 251).astype(np.uint8).reshape(host.shape)])
    plain, _ = quillfen.embed(host, method="qim", seed=3)
    three, _ = quillfen.embed(gray3, method="qim", seed=3)
    four, _ = quillfen.embed(rgba, method="qim", seed=3)
    assert plain.shape == host.shape and three.shape == gray3.shape and four.shape == rgba.shape
    # Gray pixels stay gray, marked as the (H, W) array is; the alpha is the caller's.
    assert all((three[..., c] == plain).all() for c in range(3))
    assert (four[..., :3] == three).all() and (four[..., 3] == rgba[..., 3]).all()
    colour = np.dstack([host, host[::-1], host[:, ::-1], np.full(host.shape, 7, np.uint8)])
    marked, key = quillfen.embed(colour[..., :3], method="spread-spectrum", seed=1)
    assert marked.shape == host.shape + (3,)
    marked, key = quillfen.embed(colour, method="spread-spectrum", seed=1)
    assert marked.shape == colour.shape and (marked[..., 3] == 7).all()
    assert quillfen.extract(marked, key).bit_accuracy == 1


def test_no_verdict_without_the_pixels_the_key_marked(host, mark):
    marked, key = quillfen.embed(host, mark, seed=1, calibration_trials=0)
    blind, blind_key = quillfen.embed(host, method="qim", seed=1)
    refused = {
        "an empty suspect": (lambda: quillfen.extract(np.zeros((0, 0), np.uint8), key),
                             "suspect: an array of shape (0, 0) holds no pixels"),
        "ten by ten": (lambda: quillfen.extract(marked[:10, :10], key),
                       "suspect: 10 x 10 pixels, smaller than the 256 x 256 region the key marked"),
        "a row short of a blind key's picture": (
            lambda: quillfen.extract(blind[:-1], blind_key),
            f"suspect: {host.shape[1]} x {host.shape[0] - 1} pixels, smaller than the {host.shape[1]} x "
            f"{host.shape[0]} picture the key marked"),
    }
    for name, (call, message) in refused.items():
        with pytest.raises(quillfen.Error) as raised:
            call()
        assert str(raised.value).startswith(message), name
    # With the host the smaller suspect is registered first, and read.
    assert isinstance(quillfen.extract(marked[:250, :250], key, host=host), quillfen.Verdict)


def test_a_blind_key_that_contradicts_itself_is_damaged(host):
    _, key = quillfen.embed(host, method="qim", bits=8, seed=1)
    data = bytes(key)
    assert b"step=40,bits=8,alpha=0.4" in data
    body = data[:-32].replace(b"step=40,bits=8", b"step=40,bits=9")
    with pytest.raises(quillfen.Error, match=r"^'the key's bytes' is damaged \(it holds 8 payload bits, and its "
                                             r"parameters, step=40,bits=9,alpha=0.4, say 9\)$"):
        quillfen.Key.from_bytes(body + hashlib.sha256(body).digest())


def test_a_blind_verdict_attests_the_carrier_and_says_whether_the_payload_matched(host):
    marked, key = quillfen.embed(host, method="spread-spectrum", payload="0123456789abcdef", seed=4)
    upright = quillfen.extract(marked, key)
    assert upright.present and upright.payload_match and upright.inverted is False
    assert upright.z > upright.thresholds_z["1e-6"]
    # The pattern subtracted twice: the mark turned over, its payload read back flipped.
    turned = np.clip(2 * host.astype(int) - marked.astype(int), 0, 255).astype(np.uint8)
    inverted = quillfen.extract(turned, key)
    # (Clipped at black and white on this host, a few bits may go.)
    assert inverted.present and inverted.inverted and inverted.bit_accuracy > 0.9
    assert inverted.z < -inverted.thresholds_z["1e-6"]
    assert inverted.payload_match == (inverted.bits == inverted.payload)
    # Another payload under the key's seed: the carrier, not the key's payload.
    other, _ = quillfen.embed(host, method="spread-spectrum", payload="0123456789abc000", seed=4)
    read = quillfen.extract(other, key)
    assert read.present and read.payload_match is False
    # The unmarked host: no carrier, no match.
    unmarked = quillfen.extract(host, quillfen.embed(host, method="qim", seed=1)[1])
    assert not unmarked.present and unmarked.payload_match is False and unmarked.inverted is False


def test_a_coded_payload_is_its_message_decoded_from_the_carried_bits(host):
    marked, key = quillfen.embed(host, method="spread-spectrum", ecc=3, payload="0123456789a8", seed=4)
    assert key.method_params.endswith(",ecc=3")
    assert len(key.payload) == 45
    read = quillfen.extract(marked, key)
    assert read.present and read.message_ok and read.payload_match
    assert read.message == read.payload == list(key.payload)
    assert len(read.bits) == 64 and read.corrected == 0 and read.bit_accuracy == 1.0
    # Without a code the verdict has no message fields.
    plain = quillfen.extract(*quillfen.embed(host, method="spread-spectrum", seed=4))
    assert plain.message is None and plain.corrected is None and plain.message_ok is None


def test_the_polarity_method_marks_at_a_target_psnr(host, mark):
    # Its own PSNR on this host is 33.45 dB; its divisor reaches lower ones, in whole steps.
    marked, key = quillfen.embed(host, mark, seed=1, target_psnr=31, calibration_trials=0)
    assert key.method_params.startswith("divisor=")
    assert quillfen.extract(marked, key).present
