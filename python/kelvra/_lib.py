"""Finding and loading the kelvra shared library, statuses as exceptions, and
the buffer conversions every family shares.

The library is found through the environment variable KELVRA_LIBRARY (a path
to the shared library) when it is set, else next to this package, else on the
system's library path.
"""

import ctypes
import ctypes.util
import os
import sys
from pathlib import Path

try:  # arrays are returned as numpy arrays when numpy is installed
    import numpy
except ImportError:  # pragma: no cover - numpy is optional
    numpy = None

ABI = 3

STATUS_NAMES = {
    0: "KELVRA_OK",
    1: "KELVRA_ERR_ARG",
    2: "KELVRA_ERR_DATA",
    3: "KELVRA_ERR_IO",
    4: "KELVRA_ERR_CAPACITY",
    6: "KELVRA_ERR_RESOURCE",
}


class KelvraError(Exception):
    """A call of the library failed; `status` is its status number, `name` its
    name in kelvra.h and `function` the C function that reported it."""

    def __init__(self, status, function):
        self.status = status
        self.name = STATUS_NAMES.get(status, "status %d" % status)
        self.function = function
        super().__init__("%s: %s (%d)" % (function, self.name, status))


class ArgumentError(KelvraError, ValueError):
    """Status 1: a null pointer or a missing buffer."""


class DataError(KelvraError, ValueError):
    """Status 2: input outside the domain, malformed, or failed verification."""


class KelvraIOError(KelvraError, OSError):
    """Status 3: a file, directory or stream operation failed."""


class CapacityError(KelvraError):
    """Status 4: a buffer, workspace, table or integer width is too small."""


class ResourceError(KelvraError):
    """Status 6: memory, thread or iteration budget exhausted."""


_ERRORS = {1: ArgumentError, 2: DataError, 3: KelvraIOError, 4: CapacityError, 6: ResourceError}


def error(status, function):
    """The exception for `status` reported by `function`."""
    return _ERRORS.get(status, KelvraError)(status, function)


def _library_names():
    if sys.platform == "win32":
        return ["kelvra.dll"]
    if sys.platform == "darwin":
        return ["libkelvra.%d.dylib" % ABI, "libkelvra.dylib"]
    return ["libkelvra.so.%d" % ABI, "libkelvra.so"]


def _load():
    explicit = os.environ.get("KELVRA_LIBRARY")
    if explicit:
        return ctypes.CDLL(explicit)
    here = Path(__file__).resolve().parent
    for name in _library_names():
        if (here / name).exists():
            return ctypes.CDLL(str(here / name))
    tried = []
    for name in _library_names() + [ctypes.util.find_library("kelvra")]:
        if not name:
            continue
        try:
            return ctypes.CDLL(name)
        except OSError as failure:
            tried.append(str(failure))
    raise ImportError("the kelvra library was not found: set KELVRA_LIBRARY to its path, or install it "
                      "(%s)" % "; ".join(tried))


lib = _load()
lib.kelvra_version.restype = ctypes.c_char_p
lib.kelvra_version.argtypes = []
lib.kelvra_abi_version.restype = ctypes.c_uint32
lib.kelvra_abi_version.argtypes = []
if lib.kelvra_abi_version() != ABI:
    raise ImportError("the kelvra library has ABI %d; this binding needs %d" % (lib.kelvra_abi_version(), ABI))

status_t = ctypes.c_uint32
u8_p = ctypes.POINTER(ctypes.c_uint8)
u32_p = ctypes.POINTER(ctypes.c_uint32)
u64_p = ctypes.POINTER(ctypes.c_uint64)
i64_p = ctypes.POINTER(ctypes.c_int64)
f64_p = ctypes.POINTER(ctypes.c_double)


def declare(name, restype, *argtypes):
    """The C function `name` with its result and argument types set."""
    function = getattr(lib, name)
    function.restype = restype
    function.argtypes = list(argtypes)
    return function


def checked(name, *argtypes):
    """A C function returning a status, wrapped to raise the status's exception."""
    function = declare(name, status_t, *argtypes)

    def call(*args):
        status = function(*args)
        if status != 0:
            raise error(status, name)

    call.__name__ = name
    return call


def input_bytes(data):
    """A read-only byte view of bytes, bytearray, memoryview, str (UTF-8) or a
    contiguous numpy array, as (pointer, length, keep-alive). Bytes objects and
    writable buffers are passed without a copy."""
    if isinstance(data, str):
        data = data.encode("utf-8")
    if isinstance(data, bytes):
        return ctypes.cast(ctypes.c_char_p(data), u8_p), len(data), data
    view = memoryview(data)
    if not view.c_contiguous:
        data = view.tobytes()
        return ctypes.cast(ctypes.c_char_p(data), u8_p), len(data), data
    view = view.cast("B")
    if view.readonly:
        copy = bytes(view)
        return ctypes.cast(ctypes.c_char_p(copy), u8_p), len(copy), copy
    array = (ctypes.c_uint8 * len(view)).from_buffer(view)
    return ctypes.cast(array, u8_p), len(view), (array, view)


def byte_buffer(size):
    """A zeroed writable buffer of `size` bytes and a pointer to it."""
    buffer = ctypes.create_string_buffer(max(size, 1))
    return buffer, ctypes.cast(buffer, u8_p)


class Arena:
    """Scratch memory for one call, reused while it is big enough."""

    def __init__(self, size=0):
        self.size = 0
        self.buffer = None
        self.pointer = None
        self.reserve(size)

    def reserve(self, size):
        if size > self.size or self.buffer is None:
            self.buffer, self.pointer = byte_buffer(size)
            self.size = size
        return self


def f64_array(values, length=None, writable=False):
    """A contiguous float64 array for `values` (a numpy array is used in place
    when it already is one and is writable or need not be), as (pointer,
    array). Without numpy, a ctypes array."""
    if numpy is not None:
        array = numpy.ascontiguousarray(values, dtype=numpy.float64) if not writable else values
        if writable and not (isinstance(values, numpy.ndarray) and values.dtype == numpy.float64
                             and values.flags.c_contiguous and values.flags.writeable):
            array = numpy.array(values, dtype=numpy.float64)
        if length is not None and array.size != length:
            raise ValueError("expected %d values, got %d" % (length, array.size))
        return array.ctypes.data_as(f64_p), array
    items = list(values)
    if length is not None and len(items) != length:
        raise ValueError("expected %d values, got %d" % (length, len(items)))
    array = (ctypes.c_double * len(items))(*items)
    return ctypes.cast(array, f64_p), array


def new_f64(length):
    """A zeroed float64 array of `length` values (numpy when installed), as (pointer, array)."""
    if numpy is not None:
        array = numpy.zeros(length, dtype=numpy.float64)
        return array.ctypes.data_as(f64_p), array
    array = (ctypes.c_double * length)()
    return ctypes.cast(array, f64_p), array


def as_list_or_array(array):
    """numpy arrays stay arrays; ctypes arrays become lists."""
    return array if numpy is not None and isinstance(array, numpy.ndarray) else list(array)
