"""The experiment, the robustness sweep (alone, in shards, through executors) and the
calibration against quillfen-cli."""
import concurrent.futures
import json

import numpy as np
import pytest

import quillfen

CELLS = "none,real-jpeg:q=50,gauss-noise:sigma=5,rotate:deg=2"


def test_experiment_is_the_cli_json(cli, samples):
    expected = cli.json("experiment", samples / "camera-256.pgm", samples / "seal-128.pgm", "--seed", 20261208,
                        "--json")
    host = quillfen.read_picture(samples / "camera-256.pgm")
    assert quillfen.experiment(host, quillfen.read_picture(samples / "seal-128.pgm"), seed=20261208) == expected


@pytest.fixture(scope="module")
def hosts(samples):
    return [samples / "hosts" / "brick.pgm", samples / "hosts" / "astronaut.pgm"]


@pytest.fixture(scope="module")
def rows(hosts, samples):
    return quillfen.robustness(hosts, samples / "seal-128.pgm", seeds="1..2", attacks=CELLS, jobs=2)


def test_rows_are_the_cli_rows(cli, hosts, samples, rows):
    printed = cli.run("robustness", *hosts, "--mark", samples / "seal-128.pgm", "--seeds", "1..2", "--attacks",
                      CELLS).stdout
    assert rows == [json.loads(line) for line in printed.splitlines()]
    assert [r["host"] for r in rows[:1]] == ["astronaut.pgm"] and len(rows) == 16


def test_a_row_is_attack_measures_and_verdict_of_its_cell(samples, host, mark):
    row = quillfen.robustness([("astronaut", host)], ("seal", mark), seeds=[4], attacks="gauss-noise:sigma=5",
                              calibration=samples / "seal-128.calibration.json")[0]
    marked, key = quillfen.embed(host, mark, seed=4, calibration_trials=0)
    attacked = quillfen.attack(marked, "gauss-noise:sigma=5", seed=4)
    assert row["psnr"] == quillfen.metrics.psnr(attacked, marked)
    assert row["ssim"] == quillfen.metrics.ssim(attacked, marked)
    assert (row["psnr_embed"], row["ssim_embed"]) == (quillfen.metrics.psnr(marked, host),
                                                      quillfen.metrics.ssim(marked, host))
    verdict = quillfen.extract(attacked, key, calibration=samples / "seal-128.calibration.json")
    assert (row["score"], row["nc"], row["ber"], row["detected_1e-6"]) == (verdict.score, verdict.nc, verdict.ber,
                                                                           verdict.present)


def test_progress_is_told_and_can_stop_the_sweep(hosts, samples):
    told = []
    quillfen.robustness(hosts[:1], samples / "seal-128.pgm", seeds=[1], attacks="none,median:k=3", jobs=1,
                        progress=lambda done, total: told.append((done, total)))
    assert told == [(1, 2), (2, 2)]

    def stop(done, total):
        raise KeyboardInterrupt

    with pytest.raises(KeyboardInterrupt):
        quillfen.robustness(hosts, samples / "seal-128.pgm", seeds="1..3", attacks=CELLS, jobs=1, progress=stop)


def test_shards_through_a_process_pool_are_one_run(hosts, samples):
    # Arrays travel to the workers pickled, files by name.
    given = [hosts[0], ("gravel", quillfen.read_picture(samples / "hosts" / "gravel.pgm"))]
    single = quillfen.robustness(given, samples / "seal-128.pgm", seeds="1..2", attacks=CELLS)
    told = []
    with concurrent.futures.ProcessPoolExecutor(2) as pool:
        sharded = quillfen.robustness(given, samples / "seal-128.pgm", seeds="1..2", attacks=CELLS, executor=pool,
                                      shards=3, progress=lambda done, total: told.append(done))
    assert sharded == single
    assert told[-1] == len(single) and len(told) == 3


class Now:
    """An executor that runs each shard when it is submitted, and hands back the results as
    `results` arranges them (as a faulty executor would)."""

    def __init__(self, results=lambda given: given):
        self.given, self.results = [], results

    def submit(self, function, *arguments):
        self.given.append(function(*arguments))
        executor = self

        class Future:
            index = len(self.given) - 1

            def result(self):
                return executor.results(executor.given)[self.index]

        return Future()


def test_an_executor_that_returns_wrong_rows_is_refused(hosts, samples):
    arguments = dict(seeds="1..2", attacks="none,median:k=3", methods=["polarity", "qim"])
    given = [("a", quillfen.read_picture(samples / "hosts" / "gravel.pgm")), ("b", quillfen.read_picture(hosts[1]))]
    single = quillfen.robustness(given, **arguments)
    assert quillfen.robustness(given, executor=Now(), shards=4, **arguments) == single
    first = "robustness: the executor's result for shard 2 of 4"
    faults = {
        "every future the first shard's result": (lambda r: [r[0]] * len(r),
                                                 f"{first} holds at row 5 of the run the row of 'a', seed 1, "
                                                 "polarity, none, where the plan has 'a', seed 2, polarity, none"),
        "a row lost": (lambda r: [r[0], r[1][1:]] + r[2:], f"{first} holds 3 rows, not the 4 of that shard"),
        "two rows swapped": (lambda r: [r[0], [r[1][1], r[1][0]] + r[1][2:]] + r[2:],
                             f"{first} holds at row 5 of the run the row of 'a', seed 2, polarity, median:k=3, where "
                             "the plan has 'a', seed 2, polarity, none"),
    }
    for name, (results, message) in faults.items():
        with pytest.raises(quillfen.Error) as raised:
            quillfen.robustness(given, executor=Now(results), shards=4, **arguments)
        assert str(raised.value).startswith(message), (name, str(raised.value))


class Sleepy:
    """A method whose detection takes long: in a sleep, or busy in Python."""

    name = "sleepy"
    time_limit_seconds = 1

    def __init__(self, busy):
        self.busy = busy

    def embed(self, host, payload, seed):
        return host.copy(), b"key"

    def detect(self, suspect, key):
        import time
        end = time.monotonic() + 20
        while time.monotonic() < end:
            if not self.busy:
                time.sleep(end - time.monotonic())
        return 0.5


def test_python_methods_have_a_time_limit_and_stop_with_ctrl_c(host):
    import _thread
    import threading
    import time

    for busy in (True, False):
        start = time.monotonic()
        rows = quillfen.robustness([("a", host)], seeds=[1], attacks="none", methods=[Sleepy(busy)], jobs=1)
        assert rows[1]["error"] == "method sleepy: detect ran past its time limit of 1 s and was stopped"
        assert "error" not in rows[0] and time.monotonic() - start < 10
        method = Sleepy(busy)
        method.time_limit_seconds = 60
        threading.Timer(0.5, _thread.interrupt_main).start()
        start = time.monotonic()
        with pytest.raises(KeyboardInterrupt):
            quillfen.robustness([("a", host)], seeds=[1], attacks="none", methods=[method], jobs=1)
        assert time.monotonic() - start < 5  # one detection takes 20 s
    for limit in (0, 3601, 2.5, True, "60"):
        method = Sleepy(True)
        method.time_limit_seconds = limit
        with pytest.raises(quillfen.Error, match="time_limit_seconds that is not a whole number 1..3600"):
            quillfen.robustness([("a", host)], seeds=[1], attacks="none", methods=[method])


def test_the_interpreter_ends_cleanly_after_runs_on_every_core(samples):
    # The engine's threads end with the interpreter, before the libraries' teardown.
    import os
    import subprocess
    import sys

    script = f"""
import quillfen
host = quillfen.read_picture({str(samples / "hosts" / "rocket.pgm")!r})
mark = quillfen.read_picture({str(samples / "seal-128.pgm")!r})
marked, key = quillfen.embed(host, mark, seed=4294967295, jobs=-1, calibration_trials=200)
rows = quillfen.robustness([("a", host)], mark, seeds=[4294967295], attacks="none,median:k=3,rotate:deg=2",
                           methods=["polarity", "qim"], jobs=-1)
assert not any("error" in row for row in rows)
"""
    for _ in range(3):
        done = subprocess.run([sys.executable, "-c", script], env=dict(os.environ), capture_output=True, text=True,
                              timeout=120)
        assert (done.returncode, done.stderr) == (0, "")


def test_shards_on_a_dask_cluster_are_one_run(hosts, samples, rows):
    distributed = pytest.importorskip("distributed", reason="Dask's distributed scheduler is not installed")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=False,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        sharded = quillfen.robustness(hosts, samples / "seal-128.pgm", seeds="1..2", attacks=CELLS, executor=client,
                                      shards=4)
    assert sharded == rows


def test_rows_make_a_data_frame(rows):
    pandas = pytest.importorskip("pandas")
    frame = quillfen.rows_to_dataframe(rows)
    assert list(frame.columns) == list(rows[0]) and len(frame) == len(rows)
    assert isinstance(frame, pandas.DataFrame)


def test_calibration_is_the_cli_one(cli, hosts, samples, host, mark):
    arguments = ("--mark", samples / "seal-128.pgm", "--seeds", "1,2", "--attacks", "none,median:k=3")
    expected = cli.json("calibrate", *hosts, *arguments)
    calibration = quillfen.calibrate(hosts, samples / "seal-128.pgm", seeds=[1, 2], attacks="none,median:k=3")
    produced = json.loads(calibration.to_json())
    expected.pop("program"), produced.pop("program")
    assert produced == expected
    assert quillfen.Calibration.from_json(calibration.to_json()) == calibration
    # A sweep judged by it, given as an object, is judged as by its file.
    marked, key = quillfen.embed(host, mark, seed=1, calibration_trials=0)
    row = quillfen.robustness([("a", host)], mark, seeds=[1], attacks="none", calibration=calibration)[0]
    assert row["calibration_digest"] == calibration.digest
    assert quillfen.extract(marked, key, calibration=calibration).threshold == calibration.threshold(1e-6)


def test_ctrl_c_stops_a_sweep_and_a_calibration(samples):
    import _thread
    import threading
    import time

    for run in (lambda: quillfen.robustness(samples / "hosts", samples / "seal-128.pgm", seeds="1..20", jobs=1),
                lambda: quillfen.calibrate(samples / "hosts", samples / "seal-128.pgm", seeds="1..10", jobs=1)):
        threading.Timer(0.2, _thread.interrupt_main).start()
        start = time.monotonic()
        with pytest.raises(KeyboardInterrupt):
            run()
        assert time.monotonic() - start < 5  # the whole run takes a minute


def test_method_rows_are_the_cli_rows(cli, samples):
    # Named methods at a target PSNR, and a blind method's calibration, as the command line takes them.
    host = samples / "hosts" / "brick.pgm"
    arguments = dict(seeds=[3], attacks="none,real-jpeg:q=50", target_psnr=40)
    # The polarity method cannot reach 40 dB on this host: its rows fail (exit code 1), alike.
    printed = cli.run("robustness", host, "--method", "polarity", "--method", "qim:bits=16", "--method",
                      "spread-spectrum", "--target-psnr", 40, "--seeds", 3, "--attacks", arguments["attacks"],
                      check=False).stdout
    rows = quillfen.robustness([host], methods=["polarity", "qim:bits=16", "spread-spectrum"], **arguments)
    assert rows == [json.loads(line) for line in printed.splitlines()]
    assert [r["method"] for r in rows[::2]] == ["polarity", "qim:bits=16", "spread-spectrum"]
    assert rows[0]["error"].endswith("(the nearest: 32.31 dB at 1000000)")
    assert all(abs(r["psnr_embed"] - 40) <= 0.1 for r in rows[2:]) and rows[2]["bit_accuracy"] == 1

    hosts = [samples / "hosts" / "brick.pgm", samples / "hosts" / "gravel.pgm"]
    expected = cli.json("calibrate", *hosts, "--method", "qim:bits=16", "--seeds", "1,2", "--attacks", "none")
    produced = json.loads(quillfen.calibrate(hosts, method="qim:bits=16", seeds=[1, 2], attacks="none").to_json())
    expected.pop("program"), produced.pop("program")
    assert produced == expected


def test_rows_of_a_method_that_synchronises_carry_the_geometry_found(cli, samples):
    host = samples / "hosts" / "brick.pgm"
    arguments = dict(seeds=[3], attacks="none,scale:f=0.5", target_psnr=40)
    printed = cli.run("robustness", host, "--method", "spread-spectrum-sync", "--method", "spread-spectrum",
                      "--target-psnr", 40, "--seeds", 3, "--attacks", arguments["attacks"]).stdout
    rows = quillfen.robustness([host], methods=["spread-spectrum-sync", "spread-spectrum"], **arguments)
    assert rows == [json.loads(line) for line in printed.splitlines()]
    found = rows[0]["found"]
    assert list(found) == ["rotation_degrees", "scale_x", "scale_y", "shear", "shift_x", "shift_y", "peak",
                           "false_alarm"]
    assert abs(found["scale_x"] - 1) < 0.01 and abs(found["rotation_degrees"]) < 0.2 and found["false_alarm"] < 1e-6
    assert all("found" not in r for r in rows[2:])


class Chips:
    """A small blind method in numpy: each payload bit a seeded +-1 pattern added to the pixels."""

    name = "chips"
    payload_bits = 8
    thresholds = {"1e-3": 0.005, "1e-6": 0.008}
    strength = {"lowest": 0.5, "highest": 30, "default": 4}

    @staticmethod
    def patterns(seed, shape):
        return np.random.default_rng(seed).choice([-1.0, 1.0], size=(Chips.payload_bits,) + shape)

    def embed(self, host, payload, seed, strength):
        signs = 2.0 * payload - 1
        mark = np.tensordot(signs, self.patterns(seed, host.shape), axes=1) * strength / np.sqrt(len(signs))
        marked = np.clip(np.rint(host + mark), 0, 255).astype(np.uint8)
        return marked, seed.to_bytes(4, "little") + payload.tobytes()

    def detect(self, suspect, key):
        seed, payload = int.from_bytes(key[:4], "little"), np.frombuffer(key[4:], np.uint8)
        patterns = self.patterns(seed, suspect.shape)
        picture = suspect - suspect.mean()
        correlations = np.tensordot(patterns, picture, axes=2) / (np.linalg.norm(picture) * np.sqrt(picture.size))
        return {"score": float(np.mean((2.0 * payload - 1) * correlations)), "bits": (correlations > 0).astype(int)}


class Failing(Chips):
    name = "failing"

    def detect(self, suspect, key):
        raise RuntimeError("no luck")


def test_a_python_method_in_a_sweep_beside_polarity(samples, host):
    cells = "none,gauss-noise:sigma=5"
    rows = quillfen.robustness([("astronaut", host)], seeds=[5], attacks=cells, jobs=2,
                               methods=["polarity", Chips(), Failing()])
    assert [(r["method"], "error" not in r) for r in rows] == [
        ("polarity", True)] * 2 + [("chips", True)] * 2 + [("failing", False)] * 2
    assert rows[4]["error"] == "method failing: detect raised RuntimeError: no luck"
    # The sweep's row is what the object says of the attacked picture.
    marked, key = Chips().embed(host, np.array(quillfen.payload_from_seed(5, 8), np.uint8), 5, strength=4)
    attacked = quillfen.attack(marked, "gauss-noise:sigma=5", seed=5)
    reading = Chips().detect(attacked, key)
    row = rows[3]
    assert (row["score"], row["bit_accuracy"], row["psnr_embed"], row["strength"]) == (
        reading["score"], np.mean(reading["bits"] == np.frombuffer(key[4:], np.uint8)),
        quillfen.metrics.psnr(marked, host), 4)
    assert row["detected_1e-6"] and rows[2]["bit_accuracy"] == 1
    # And its calibration: the null trials of the sweep's keys.
    calibration = quillfen.calibrate([("a", host), ("b", host[::-1])], method=Chips(), seeds=[1, 2], attacks="none")
    assert json.loads(calibration.to_json())["method"] == "chips:strength=4"
