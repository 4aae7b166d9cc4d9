import ctypes
from collections import OrderedDict

import pytest

from kelvra import CapacityError, DataError, json as kj


def test_record_layout():
    assert ctypes.sizeof(kj.Value) == 32
    assert kj.Value.as_.offset == 8


def test_loads_values_and_order():
    doc = kj.loads('{"z": [1, -2.5, "h\\u00e9", true, false, null], "a": {"k": 9007199254740993}}')
    assert doc == {"z": [1, -2.5, "hé", True, False, None], "a": {"k": 9007199254740993}}
    assert list(doc) == ["z", "a"]
    assert isinstance(doc["z"][0], int)
    assert kj.loads(b"[]") == [] and kj.loads(bytearray(b"{}")) == {}


def test_duplicate_members():
    text = '{"a": 1, "b": 2, "a": 3}'
    assert kj.loads(text) == {"a": 3, "b": 2}
    assert kj.loads(text, object_pairs_hook=list) == [("a", 1), ("b", 2), ("a", 3)]
    assert kj.loads(text, object_pairs_hook=OrderedDict) == OrderedDict([("a", 3), ("b", 2)])


def test_arena_grows_for_large_documents():
    items = ",".join("[%d]" % i for i in range(20000))
    assert len(kj.loads("[" + items + "]")) == 20000


def test_errors():
    with pytest.raises(DataError):
        kj.loads("{")
    with pytest.raises(CapacityError):
        kj.loads("[" * 70 + "]" * 70)
    with pytest.raises(TypeError):
        kj.dumps({1: 2})
    with pytest.raises(TypeError):
        kj.dumps(object())
    with pytest.raises(OverflowError):
        kj.dumps(2 ** 63)


def test_dumps_is_canonical():
    obj = {"b": [1, 2.5, "x\n", True, None], "a": {"k": -3}, "e": [], "f": {}, "t": (1,)}
    assert kj.dumps(obj) == '{"a": {"k": -3}, "b": [1, 2.5, "x\\n", true, null], "e": [], "f": {}, "t": [1]}'
    assert kj.dumps("é") == '"é"'


def test_round_trips():
    obj = {"n": [0, -1, 2 ** 63 - 1, -2 ** 63], "s": "tab\tquote\"", "d": 0.25, "deep": [[[{"x": []}]]]}
    assert kj.loads(kj.dumps(obj)) == obj
    assert kj.dumps(kj.loads(kj.dumps(obj))) == kj.dumps(obj)
    assert kj.canonicalize(' { "z" :1 , "a":[ ] } ') == '{"a": [], "z": 1}'
