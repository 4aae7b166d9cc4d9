"""kelvra from Python: exact number theory and rationals, fixed-point
elementary functions, canonical JSON, TOML, SHA-256, the genome store,
hypervectors, octonions, linear algebra, oscillator kernels and the local
message bus, over the kelvra shared library through ctypes.

Failed calls raise KelvraError (or one of its kinds: ArgumentError,
DataError, KelvraIOError, CapacityError, ResourceError) carrying the status
number and its name. Scratch memory is sized and allocated for the caller.
"""

from ._lib import (ArgumentError, CapacityError, DataError, KelvraError, KelvraIOError, ResourceError, lib)
from . import (bus, cascade, elementary, genome, hdc, json, linalg, numtheory, octonion, rational, sha256, toml)

__version__ = lib.kelvra_version().decode("ascii")
ABI = lib.kelvra_abi_version()

__all__ = ["KelvraError", "ArgumentError", "DataError", "KelvraIOError", "CapacityError", "ResourceError",
           "bus", "cascade", "elementary", "genome", "hdc", "json", "linalg", "numtheory", "octonion", "rational",
           "sha256", "toml", "__version__", "ABI"]
