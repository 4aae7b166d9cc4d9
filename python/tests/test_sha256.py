import hashlib

from kelvra import sha256


def test_digests_match_hashlib():
    assert sha256.hexdigest("abc") == hashlib.sha256(b"abc").hexdigest()
    assert sha256.digest(b"") == hashlib.sha256(b"").digest()
    assert sha256.digest(memoryview(b"xyz")[1:]) == hashlib.sha256(b"yz").digest()


def test_batch():
    messages = [b"", b"a" * 100, bytearray(b"xyz"), "é"]
    expected = [hashlib.sha256(m.encode() if isinstance(m, str) else bytes(m)).digest() for m in messages]
    assert sha256.batch(messages) == expected
    assert sha256.batch([]) == []


def test_files(tmp_path):
    path = tmp_path / "f.bin"
    path.write_bytes(b"\0" * 1000)
    assert sha256.file_digest(path) == hashlib.sha256(b"\0" * 1000).digest()
    assert sha256.file_hexdigest(path) == hashlib.sha256(b"\0" * 1000).hexdigest()
