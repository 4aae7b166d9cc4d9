"""SHA-256 digests: one message (`digest`, `hexdigest`), many at once
(`batch`, hashing several messages side by side), and files (`file_digest`).
Messages are bytes, bytearray, memoryview, str (hashed as UTF-8) or
contiguous numpy arrays.
"""

import ctypes

from ._lib import byte_buffer, checked, declare, input_bytes, u8_p, u64_p

__all__ = ["digest", "hexdigest", "batch", "file_digest", "file_hexdigest", "has_sha_extensions"]

DIGEST_SIZE = 32

_hex = checked("kelvra_sha256_hex", u8_p, ctypes.c_uint64, ctypes.c_char_p)
_shani = checked("kelvra_sha256_shani", u8_p, ctypes.c_uint64, u8_p)
_batch = checked("kelvra_sha256_batch", ctypes.POINTER(u8_p), u64_p, ctypes.c_uint64, u8_p)
_has_shani = declare("kelvra_simd_has_shani", ctypes.c_uint32)


def has_sha_extensions():
    """True when the processor has the SHA extensions `digest` uses."""
    return bool(_has_shani())


def digest(data):
    """The raw 32-byte SHA-256 digest of data."""
    pointer, length, keep = input_bytes(data)
    out, out_p = byte_buffer(DIGEST_SIZE)
    _shani(pointer, length, out_p)
    return out.raw[:DIGEST_SIZE]


def hexdigest(data):
    """The SHA-256 digest of data as 64 lower-case hex characters."""
    pointer, length, keep = input_bytes(data)
    out = ctypes.create_string_buffer(65)
    _hex(pointer, length, out)
    return out.value.decode("ascii")


def batch(messages):
    """The raw 32-byte digests of a sequence of messages, in order."""
    views = [input_bytes(m) for m in messages]
    count = len(views)
    if count == 0:
        return []
    pointers = (u8_p * count)(*[v[0] for v in views])
    lengths = (ctypes.c_uint64 * count)(*[v[1] for v in views])
    out, out_p = byte_buffer(DIGEST_SIZE * count)
    _batch(pointers, lengths, count, out_p)
    raw = out.raw
    return [raw[i * DIGEST_SIZE:(i + 1) * DIGEST_SIZE] for i in range(count)]


def file_digest(path):
    """The raw digest of a file's contents (the file is read whole)."""
    with open(path, "rb") as stream:
        return digest(stream.read())


def file_hexdigest(path):
    """The hex digest of a file's contents (the file is read whole)."""
    with open(path, "rb") as stream:
        return hexdigest(stream.read())
