"""The build of the Python package (pyproject.toml holds its description): the extension
quillfen._quillfen is made by the project's CMake build (python/CMakeLists.txt) and copied
into the package with the modules the engine loads beside it.

The build folder build/ that `make python` configured is used when it is there and was made
for an interpreter of this one's kind (the same extension suffix, cpython-311-x86_64-linux-gnu):
only the extension is brought up to date there (nothing, after `make python`) and taken as it
is, in seconds, instead of the engine being built again in a folder of pip's own for minutes.
QUILLFEN_BUILD names another such folder; QUILLFEN_BUILD= (empty) asks for a folder of pip's
own even when build/ is there.

QUILLFEN_CMAKE_ARGS adds options to the CMake configuration of a folder of pip's own (for
example "-DQF_REGISTRATION=OFF" on a machine without OpenCV: extract(host=...) then says that
the registration module could not be loaded)."""
import os
import shlex
import shutil
import subprocess
import sys
import sysconfig
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = Path(os.path.abspath(__file__)).parent  # links kept: build/ is the one beside this file


def _configured_folder(folder):
    """`folder` when CMake configured it with the Python package for an interpreter whose
    extensions this one loads, else None."""
    try:
        cache = (folder / "CMakeCache.txt").read_text(errors="replace").splitlines()
    except OSError:
        return None
    values = dict(line.split("=", 1) for line in cache if "=" in line and not line.startswith(("#", "//")))
    if values.get("QF_PYTHON:BOOL") != "ON":
        return None
    interpreter = next((v for k, v in values.items() if k.startswith("Python_EXECUTABLE:")), "")
    try:
        suffix = subprocess.run([interpreter, "-c", "import sysconfig; print(sysconfig.get_config_var('EXT_SUFFIX'))"],
                                capture_output=True, text=True, timeout=60).stdout.strip()
    except (OSError, subprocess.SubprocessError):
        return None
    return folder.resolve() if suffix == sysconfig.get_config_var("EXT_SUFFIX") else None


def _build_folder():
    """The build folder to take the extension from: QUILLFEN_BUILD's, else build/ as `make
    python` left it, else None (a folder of pip's own)."""
    if "QUILLFEN_BUILD" in os.environ:
        given = os.environ["QUILLFEN_BUILD"]
        return Path(given).resolve() if given else None
    return _configured_folder(HERE / "build")


REUSED = _build_folder()


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        given = REUSED
        build = given if given else Path(self.build_temp).resolve() / "cmake"
        configure = ["cmake", "-S", str(HERE), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                     "-DQF_BUILD_GUI=OFF", "-DQF_BUILD_TESTS=OFF", "-DQF_BUILD_BENCH=OFF", "-DQF_SHARED_LIBS=OFF",
                     "-DQF_REGISTRATION=ON", "-DQF_PYTHON=ON", f"-DPython_EXECUTABLE={sys.executable}"]
        if shutil.which("ninja"):
            configure += ["-G", "Ninja"]
        configure += shlex.split(os.environ.get("QUILLFEN_CMAKE_ARGS", ""))
        if given:
            print(f"quillfen: the extension of the build folder {given} (QUILLFEN_BUILD= for a build of its own)")
        else:
            subprocess.check_call(configure)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
        subprocess.check_call(["cmake", "--build", str(build), "--target", "quillfen_python", "-j", jobs])
        built = build / "python" / "quillfen"
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(next(built.glob("_quillfen*.so")), target)
        # The BMP codec and the registration, found beside the extension.
        for module in built.glob("libquillfen_*.so"):
            shutil.copy2(module, target.parent / module.name)


setup(
    ext_modules=[Extension("quillfen._quillfen", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    # Beside the CMake build folders (build/), not in them.
    options={"build": {"build_base": os.path.join(str(REUSED or ""), "build-python")}},
)
