"""TOML reading with the library's parser (bare and dotted keys, tables,
arrays of tables, inline tables, arrays, strings, decimal integers and
floats, booleans): `loads` gives a dict of Python values, `load` reads a
file first.
"""

import ctypes

from ._lib import checked, u8_p
from .json import Value, parse_with_growth, _key, _pointers, _text

__all__ = ["loads", "load", "STRING", "INTEGER", "FLOAT", "BOOLEAN", "ARRAY", "TABLE"]

STRING, INTEGER, FLOAT, BOOLEAN, ARRAY, TABLE = range(6)

_parse = checked("kelvra_toml_parse", u8_p, ctypes.c_uint64, u8_p, ctypes.c_uint64, ctypes.POINTER(ctypes.c_void_p))


def to_python(address):
    """The Python value of the TOML record at `address`: tables as dicts
    (keys in document order), arrays as lists."""
    value = Value.from_address(address)
    kind = value.kind
    if kind == STRING:
        return _text(value.as_.string.bytes, value.as_.string.length)
    if kind == INTEGER:
        return value.as_.integer
    if kind == FLOAT:
        return value.as_.number
    if kind == BOOLEAN:
        return value.as_.boolean != 0
    if kind == ARRAY:
        items = value.as_.array
        return [to_python(item) for item in _pointers(items.items, items.count)]
    if kind == TABLE:
        table = value.as_.object
        keys = _pointers(table.keys, table.count)
        values = _pointers(table.values, table.count)
        return {_key(k): to_python(v) for k, v in zip(keys, values)}
    raise ValueError("unknown TOML record kind %d" % kind)


def loads(text):
    """Parses TOML text (str or bytes) into a dict. DataError for text
    outside the supported subset or malformed."""
    root, arena, keep = parse_with_growth(_parse, text, per_byte=64)
    return to_python(root)


def load(path):
    """Parses the TOML file at `path`."""
    with open(path, "rb") as stream:
        return loads(stream.read())
