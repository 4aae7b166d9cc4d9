import pytest

from kelvra import DataError, toml

TEXT = '''title = "kelvra"
n = -3
f = 1.5
ok = true
arr = [1, 2, 3]
a.b = "dotted"
inline = { p = 1, q = ["s"] }

[server]
port = 8080

[[items]]
name = "one"

[[items]]
name = "two"
'''


def test_loads():
    assert toml.loads(TEXT) == {
        "title": "kelvra", "n": -3, "f": 1.5, "ok": True, "arr": [1, 2, 3], "a": {"b": "dotted"},
        "inline": {"p": 1, "q": ["s"]}, "server": {"port": 8080}, "items": [{"name": "one"}, {"name": "two"}]}
    assert toml.loads("") == {}
    assert toml.loads(b"x = 1") == {"x": 1}


def test_load_file(tmp_path):
    path = tmp_path / "c.toml"
    path.write_text(TEXT)
    assert toml.load(path)["server"] == {"port": 8080}


def test_large_input_grows_the_arena():
    text = "\n".join("k%d = [%d, %d]" % (i, i, i) for i in range(5000))
    assert toml.loads(text)["k4999"] == [4999, 4999]


def test_malformed():
    with pytest.raises(DataError):
        toml.loads("= x")
