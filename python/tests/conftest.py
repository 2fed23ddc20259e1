"""Fixtures of the Python package's tests: the bundled samples, and quillfen-cli to hold the
package against (the build's, named by QUILLFEN_CLI; tests that need it are skipped without)."""
import json
import os
import subprocess
from pathlib import Path

import numpy as np
import pytest

import quillfen

SAMPLES = Path(os.environ.get("QUILLFEN_SAMPLES", Path(__file__).resolve().parents[2] / "samples"))


@pytest.fixture(scope="session")
def samples():
    return SAMPLES


@pytest.fixture(scope="session")
def host():
    return quillfen.read_picture(SAMPLES / "hosts" / "astronaut.pgm")


@pytest.fixture(scope="session")
def mark():
    return quillfen.read_picture(SAMPLES / "seal-128.pgm")


class Cli:
    """quillfen-cli, run in a folder of the test's own."""

    def __init__(self, program, folder):
        self.program = program
        self.folder = folder

    def run(self, *arguments, check=True):
        done = subprocess.run([self.program, *map(str, arguments)], cwd=self.folder, capture_output=True, text=True)
        if check and done.returncode != 0:
            raise AssertionError(f"quillfen-cli {' '.join(map(str, arguments))}: {done.stderr}")
        return done

    def json(self, *arguments):
        return json.loads(self.run(*arguments).stdout)


@pytest.fixture
def cli(tmp_path):
    program = os.environ.get("QUILLFEN_CLI")
    if not program or not os.access(program, os.X_OK):
        pytest.skip("QUILLFEN_CLI does not name quillfen-cli (ctest sets it)")
    return Cli(program, tmp_path)
