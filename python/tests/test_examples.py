# Every example script runs as it is, against the library the tests use.
import os
import subprocess
import sys
from pathlib import Path

import pytest

EXAMPLES = sorted((Path(__file__).resolve().parent.parent / "examples").glob("*.py"))


@pytest.mark.parametrize("script", EXAMPLES, ids=[e.stem for e in EXAMPLES])
def test_example_runs(script, tmp_path):
    env = dict(os.environ, PYTHONPATH=str(script.parent.parent))
    done = subprocess.run([sys.executable, str(script)], cwd=tmp_path, env=env, capture_output=True, timeout=60)
    assert done.returncode == 0, done.stderr.decode(errors="replace")
    assert done.stdout
