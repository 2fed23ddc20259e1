"""The build of the Python package (pyproject.toml holds its description): the extension
quillfen._quillfen is made by the project's CMake build (python/CMakeLists.txt) and copied
into the package with the modules the engine loads beside it.

QUILLFEN_CMAKE_ARGS adds options to the CMake configuration (for example
"-DQF_REGISTRATION=OFF" on a machine without OpenCV: extract(host=...) then says that the
registration module could not be loaded). QUILLFEN_BUILD names a build folder already
configured with -DQF_PYTHON=ON (`make python` makes one): its extension is built there and
taken as it is, with no configuration of a folder of its own."""
import os
import shlex
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = Path(__file__).resolve().parent


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        given = os.environ.get("QUILLFEN_BUILD")
        build = Path(given).resolve() if given else Path(self.build_temp).resolve() / "cmake"
        configure = ["cmake", "-S", str(HERE), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                     "-DQF_BUILD_GUI=OFF", "-DQF_BUILD_TESTS=OFF", "-DQF_BUILD_BENCH=OFF", "-DQF_SHARED_LIBS=OFF",
                     "-DQF_REGISTRATION=ON", "-DQF_PYTHON=ON", f"-DPython_EXECUTABLE={sys.executable}"]
        if shutil.which("ninja"):
            configure += ["-G", "Ninja"]
        configure += shlex.split(os.environ.get("QUILLFEN_CMAKE_ARGS", ""))
        if not given:
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
    options={"build": {"build_base": os.path.join(os.environ.get("QUILLFEN_BUILD", ""), "build-python")}},
)
