# Lets the tests import the package from this source tree without installing
# it; the library itself is found as the package finds it (KELVRA_LIBRARY).
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent))
