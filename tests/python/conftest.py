import os
import pathlib

import pytest

SOURCE = pathlib.Path(os.environ.get("STEPWRIGHT_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2]))
EXAMPLES = SOURCE / "examples"
CLI = os.environ.get("STEPWRIGHT_CLI", str(SOURCE / "build" / "stepwright-cli"))


@pytest.fixture
def examples():
    return EXAMPLES
