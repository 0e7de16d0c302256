"""Builds the Python module `stepwright` for pip: CMake configures the
source tree and builds only the module's target; the package's files come
from python/stepwright.

STEPWRIGHT_BUILD_DIR names a CMake build folder to use (an existing one is
reused as it stands, so that nothing is built twice); otherwise the folder
is build-python in the source tree.  ccache is used when it is installed.
"""
import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

SOURCE = pathlib.Path(__file__).resolve().parent
BUILD = pathlib.Path(os.environ.get("STEPWRIGHT_BUILD_DIR") or SOURCE / "build-python")


def version():
    text = (SOURCE / "CMakeLists.txt").read_text()
    return re.search(r"project\(Stepwright VERSION ([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = BUILD
        if not (build / "CMakeCache.txt").exists():
            env = dict(os.environ)
            if shutil.which("ccache"):
                env.setdefault("CMAKE_CXX_COMPILER_LAUNCHER", "ccache")
                env.setdefault("CMAKE_C_COMPILER_LAUNCHER", "ccache")
            subprocess.run(["cmake", "-S", str(SOURCE), "-B", str(build), "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                            "-DSTEPWRIGHT_GUI=OFF", "-DPython3_EXECUTABLE=" + sys.executable],
                           check=True, env=env)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
        subprocess.run(["cmake", "--build", str(build), "--target", "stepwright_python", "-j", jobs], check=True)
        built = sorted((build / "python" / "stepwright").glob("_stepwright*.so"))
        if not built:
            raise RuntimeError("%s: the module was not built (is pybind11 installed?)" % build)
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[-1], target)
        # The debugging information stays in the build folder.
        if shutil.which("strip"):
            subprocess.run(["strip", "--strip-debug", str(target)], check=True)


BUILD.mkdir(parents=True, exist_ok=True)
setup(
    name="stepwright",
    version=version(),
    description="Stepwright: sequence programs for the master and its modules, from Python",
    packages=["stepwright"],
    package_dir={"stepwright": "python/stepwright"},
    package_data={"stepwright": ["*.pyi", "py.typed"]},
    ext_modules=[Extension("stepwright._stepwright", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    python_requires=">=3.9",
    zip_safe=False,
    # setuptools' own folders go into the build folder too.
    options={"build": {"build_base": str(BUILD / "setuptools")}, "egg_info": {"egg_base": str(BUILD)}},
)
