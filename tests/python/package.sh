#!/usr/bin/env bash
# The module as a Python package: `pip install .` into a virtual environment,
# and `pip wheel .` giving a wheel that installs into a fresh one and passes
# the module's tests there (without the build folder on PYTHONPATH).  No
# package index is asked: setuptools and wheel come from the system.
#
#   package.sh SOURCE_DIR BUILD_DIR PYTHON
set -euo pipefail
source_dir=$1 build_dir=$2 python=$3
work=$build_dir/python-package
rm -rf "$work"
mkdir -p "$work"
unset PYTHONPATH
# The module is taken from the CMake build folder as it stands.
export STEPWRIGHT_BUILD_DIR=$build_dir
offline=(--no-build-isolation --no-index --no-deps --disable-pip-version-check --no-cache-dir)

# pip install . from the source tree.
"$python" -m venv --system-site-packages "$work/install"
"$work/install/bin/pip" install -q "${offline[@]}" "$source_dir"
(cd "$work" && "$work/install/bin/python" -c '
import pathlib, stepwright
assert pathlib.Path(stepwright.__file__).is_relative_to(pathlib.Path("install").resolve()), stepwright.__file__
print("pip install:", stepwright.__version__, stepwright.__file__)')

# pip wheel ., then the wheel in a fresh environment, tested there.
"$work/install/bin/pip" wheel -q "${offline[@]}" -w "$work/wheels" "$source_dir"
wheel=$(ls "$work"/wheels/stepwright-*.whl)
"$python" -m venv --system-site-packages "$work/fresh"
"$work/fresh/bin/pip" install -q "${offline[@]}" "$wheel"
cd "$work"
"$work/fresh/bin/python" -c '
import pathlib, stepwright
assert pathlib.Path(stepwright.__file__).is_relative_to(pathlib.Path("fresh").resolve()), stepwright.__file__
assert (pathlib.Path(stepwright.__file__).parent / "py.typed").exists()
print("wheel:", stepwright.__version__, stepwright.__file__)'
"$work/fresh/bin/python" -m pytest -q -p no:cacheprovider "$source_dir/tests/python"
