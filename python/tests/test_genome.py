import pytest

from kelvra import DataError, genome
from kelvra.genome import Genome, cap, leaf, record

ONE = b"\x01" * 8


@pytest.fixture
def store(tmp_path, monkeypatch):
    # The arenas the binding computes must be enough without growing them.
    monkeypatch.setattr(genome, "_GROWTH_STEPS", 0)
    g = Genome(tmp_path / "g", the_one=ONE)
    (tmp_path / "g").mkdir()
    g.save(cap("alpha") + leaf(b"x") + leaf(b"y") + cap("beta") + record("G"))
    return g


def test_records():
    assert cap("ab", 4) == b"Cab\0"
    assert leaf(b"x", 3) == b"Lx\0"
    with pytest.raises(ValueError):
        record("C", "toolong", 4)
    assert genome.arena_bytes(0, 0, 0) == 77824


def test_save_load_catalog_window(store):
    assert store.load()[:8] == cap("alpha")
    assert store.labels() == ["alpha", "beta"]
    entry = store.chromosomes()[0]
    assert (entry["byte_offset"], entry["byte_len"], entry["leaf_count"]) == (0, 24, 2)
    assert store.catalog()["data"]["leaf_dim"] == 8
    assert store.window("beta") == cap("beta") + record("G")
    # reads need no the_one while the manifest is there
    assert Genome(store.directory).window("alpha") == cap("alpha") + leaf(b"x") + leaf(b"y")


def test_edits(store):
    store.append("gamma", cap("gamma") + leaf(b"z"))
    store.replace("alpha", cap("alpha") + leaf(b"q"))
    store.remove("beta")
    assert store.load() == cap("alpha") + leaf(b"q") + cap("gamma") + leaf(b"z")
    with pytest.raises(DataError):
        store.remove("beta")
    with pytest.raises(DataError):
        Genome(store.directory, the_one=b"\x02" * 8).append("d", cap("d"))
    with pytest.raises(ValueError):
        Genome(store.directory).remove("alpha")


def test_bundles(store, tmp_path):
    path = store.export("beta", tmp_path / "beta.chr")
    target = Genome(tmp_path / "t", the_one=ONE)
    (tmp_path / "t").mkdir()
    target.import_bundle(path)
    assert target.load() == cap("beta") + record("G")

    (tmp_path / "parts").mkdir()
    store.explode(tmp_path / "parts")
    packed = Genome(tmp_path / "p", the_one=ONE)
    (tmp_path / "p").mkdir()
    packed.pack(tmp_path / "parts")
    assert packed.load() == store.load()


def test_tampered_body_is_refused(store, tmp_path):
    body = tmp_path / "g" / genome.BODY_FILE
    data = bytearray(body.read_bytes())
    data[9] ^= 1
    body.write_bytes(bytes(data))
    with pytest.raises(DataError):
        store.load()
