"""Canonical JSON: `loads` parses text with the library's parser into Python
objects, `dumps` writes Python objects as the library's canonical one-line
text (members sorted, ", " and ": " as separators), and `canonicalize`
rewrites JSON text canonically without a detour through Python objects.

Objects become dicts keeping member order (a repeated key keeps its last
value unless `object_pairs_hook` is given), integers stay ints and other
numbers become floats. Scratch arenas are sized for the caller and grown when
the library reports them too small.
"""

import ctypes
import numbers

from ._lib import CapacityError, checked, declare, input_bytes, byte_buffer, u8_p, u64_p

__all__ = ["loads", "dumps", "dumps_bytes", "canonicalize", "Value", "NULL", "BOOL", "INT", "DOUBLE", "STRING",
           "ARRAY", "OBJECT"]

NULL, BOOL, INT, DOUBLE, STRING, ARRAY, OBJECT = range(7)


class _Span(ctypes.Structure):
    _fields_ = [("bytes", ctypes.c_void_p), ("length", ctypes.c_uint32)]


class _Items(ctypes.Structure):
    _fields_ = [("items", ctypes.c_void_p), ("count", ctypes.c_uint32)]


class _Members(ctypes.Structure):
    _fields_ = [("keys", ctypes.c_void_p), ("values", ctypes.c_void_p), ("count", ctypes.c_uint32)]


class _Payload(ctypes.Union):
    _fields_ = [("boolean", ctypes.c_uint32), ("integer", ctypes.c_int64), ("number", ctypes.c_double),
                ("string", _Span), ("array", _Items), ("object", _Members)]


class Value(ctypes.Structure):
    """The library's 32-byte value record (kelvra_json_value); the TOML
    record has the same layout with its own kind numbers."""
    _fields_ = [("kind", ctypes.c_uint32), ("as_", _Payload)]


assert ctypes.sizeof(Value) == 32


class _Builder(ctypes.Structure):
    _fields_ = [("base", u8_p), ("capacity", ctypes.c_uint64), ("used", ctypes.c_uint64),
                ("failed", ctypes.c_uint32)]


Value_p = ctypes.POINTER(Value)
_builder_p = ctypes.POINTER(_Builder)

_parse = checked("kelvra_json_parse", u8_p, ctypes.c_uint64, u8_p, ctypes.c_uint64, ctypes.POINTER(ctypes.c_void_p))
_write = checked("kelvra_json_write_ws", ctypes.c_void_p, u8_p, ctypes.c_uint64, u64_p, u8_p, ctypes.c_uint64)
_write_arena_bytes = declare("kelvra_json_write_arena_bytes", ctypes.c_uint64, ctypes.c_void_p)
_builder_init = checked("kelvra_json_builder_init", _builder_p, u8_p, ctypes.c_uint64)
_new_null = declare("kelvra_json_new_null", ctypes.c_void_p, _builder_p)
_new_bool = declare("kelvra_json_new_bool", ctypes.c_void_p, _builder_p, ctypes.c_uint32)
_new_int = declare("kelvra_json_new_int", ctypes.c_void_p, _builder_p, ctypes.c_int64)
_new_double = declare("kelvra_json_new_double", ctypes.c_void_p, _builder_p, ctypes.c_double)
_new_string = declare("kelvra_json_new_string", ctypes.c_void_p, _builder_p, u8_p, ctypes.c_uint32)
_new_array = declare("kelvra_json_new_array", ctypes.c_void_p, _builder_p, ctypes.POINTER(ctypes.c_void_p),
                     ctypes.c_uint32)
_new_object = declare("kelvra_json_new_object", ctypes.c_void_p, _builder_p, ctypes.POINTER(ctypes.c_char_p),
                      ctypes.POINTER(ctypes.c_void_p), ctypes.c_uint32)

# Arena growth: start near what a typical document needs, double on a
# capacity failure, and give up (re-raising it) past this many doublings,
# since nesting deeper than 64 or an over-long number also reports capacity.
_GROWTH_STEPS = 4


def parse_with_growth(function, data, per_byte, base=8192):
    """Runs `function(pointer, length, arena, capacity, out_root)` with an
    arena of per_byte * len + base bytes, doubling it on CapacityError.
    Returns (root address, arena, keep-alive) — the tree lives in the arena."""
    pointer, length, keep = input_bytes(data)
    size = per_byte * length + base
    for step in range(_GROWTH_STEPS + 1):
        buffer, arena = byte_buffer(size)
        root = ctypes.c_void_p()
        try:
            function(pointer, length, arena, size, ctypes.byref(root))
        except CapacityError:
            if step == _GROWTH_STEPS:
                raise
            size *= 2
            continue
        return root.value, buffer, keep


def _text(address, length):
    raw = ctypes.string_at(address, length) if length else b""
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        return raw.decode("utf-8", "surrogateescape")


def _key(address):
    return _text(address, len(ctypes.string_at(address))) if address else ""


def _pointers(address, count):
    return (ctypes.c_void_p * count).from_address(address) if count else ()


def to_python(address, object_pairs_hook=None):
    """The Python value of the JSON record at `address` (a tree the library
    built: parsed text or a genome catalogue)."""
    if not address:
        return None
    value = Value.from_address(address)
    kind = value.kind
    if kind == NULL:
        return None
    if kind == BOOL:
        return value.as_.boolean != 0
    if kind == INT:
        return value.as_.integer
    if kind == DOUBLE:
        return value.as_.number
    if kind == STRING:
        return _text(value.as_.string.bytes, value.as_.string.length)
    if kind == ARRAY:
        items = value.as_.array
        return [to_python(item, object_pairs_hook) for item in _pointers(items.items, items.count)]
    if kind == OBJECT:
        members = value.as_.object
        keys = _pointers(members.keys, members.count)
        values = _pointers(members.values, members.count)
        pairs = [(_key(k), to_python(v, object_pairs_hook)) for k, v in zip(keys, values)]
        return object_pairs_hook(pairs) if object_pairs_hook is not None else dict(pairs)
    raise ValueError("unknown JSON record kind %d" % kind)


def loads(text, object_pairs_hook=None):
    """Parses JSON text (str, bytes or any byte buffer) into Python values.
    DataError for a syntax error; CapacityError for nesting deeper than 64."""
    root, arena, keep = parse_with_growth(_parse, text, per_byte=48)
    return to_python(root, object_pairs_hook)


def _write_tree(root):
    workspace_bytes = _write_arena_bytes(root)
    workspace, workspace_p = byte_buffer(workspace_bytes)
    length = ctypes.c_uint64()
    _write(root, None, 0, ctypes.byref(length), workspace_p, workspace_bytes)
    out, out_p = byte_buffer(length.value)
    _write(root, out_p, length.value, ctypes.byref(length), workspace_p, workspace_bytes)
    return out.raw[:length.value]


def _arena_bytes(obj, depth=0):
    """Exact builder bytes for obj: 32 per record, one 8-byte slot per item
    and two per member (at least one slot per list)."""
    if depth > 64:
        raise ValueError("nesting deeper than 64")
    if isinstance(obj, dict):
        return 32 + 16 * max(len(obj), 1) + sum(_arena_bytes(v, depth + 1) for v in obj.values())
    if isinstance(obj, (list, tuple)):
        return 32 + 8 * max(len(obj), 1) + sum(_arena_bytes(v, depth + 1) for v in obj)
    return 32


class _Build:
    def __init__(self, size):
        self.buffer, pointer = byte_buffer(size)
        self.builder = _Builder()
        _builder_init(ctypes.byref(self.builder), pointer, size)
        self.keep = []

    def node(self, obj):
        b = ctypes.byref(self.builder)
        if obj is None:
            record = _new_null(b)
        elif obj is True or obj is False:
            record = _new_bool(b, 1 if obj else 0)
        elif isinstance(obj, numbers.Integral):
            obj = int(obj)
            if not -(1 << 63) <= obj < 1 << 63:
                raise OverflowError("integer %d does not fit 64 signed bits" % obj)
            record = _new_int(b, obj)
        elif isinstance(obj, numbers.Real):
            record = _new_double(b, float(obj))
        elif isinstance(obj, str):
            pointer, length, keep = input_bytes(obj.encode("utf-8", "surrogateescape"))
            self.keep.append(keep)
            record = _new_string(b, pointer, length)
        elif isinstance(obj, (list, tuple)):
            items = (ctypes.c_void_p * max(len(obj), 1))(*[self.node(v) for v in obj])
            record = _new_array(b, items, len(obj))
        elif isinstance(obj, dict):
            keys = []
            for key in obj:
                if not isinstance(key, str):
                    raise TypeError("JSON object keys must be str, not %s" % type(key).__name__)
                encoded = key.encode("utf-8", "surrogateescape")
                if b"\0" in encoded:
                    raise ValueError("a JSON object key cannot hold a NUL character")
                keys.append(encoded)
            self.keep.append(keys)
            key_array = (ctypes.c_char_p * max(len(keys), 1))(*keys)
            values = (ctypes.c_void_p * max(len(keys), 1))(*[self.node(v) for v in obj.values()])
            record = _new_object(b, key_array, values, len(keys))
        else:
            raise TypeError("%s is not JSON serialisable" % type(obj).__name__)
        if not record:
            raise CapacityError(4, "kelvra_json_new_*")
        return record


def dumps_bytes(obj):
    """The canonical UTF-8 text of obj (dict, list, tuple, str, integers,
    other real numbers as doubles, bool, None) as bytes."""
    build = _Build(_arena_bytes(obj) + 16)
    root = build.node(obj)
    return _write_tree(root)


def dumps(obj):
    """The canonical text of obj: one line, members sorted by key, ", " and
    ": " as separators."""
    return dumps_bytes(obj).decode("utf-8", "surrogateescape")


def canonicalize(text):
    """The canonical text of JSON text, parsed and written by the library."""
    root, arena, keep = parse_with_growth(_parse, text, per_byte=48)
    return _write_tree(root).decode("utf-8", "surrogateescape")
