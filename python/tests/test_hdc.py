import numpy as np
import pytest

from kelvra import DataError, hdc


def test_bind_is_xor_and_accepts_bytes_arrays_and_lists():
    a, b = b"\x0f\xf0", bytearray(b"\xff\x00")
    assert list(hdc.bind(a, b)) == [0xF0, 0xF0]
    assert list(hdc.bind(np.array([1, 2], dtype=np.uint8), [3, 3])) == [2, 1]


def test_bind_rejects_unequal_lengths_and_empty_vectors():
    with pytest.raises(ValueError):
        hdc.bind(b"\x00", b"\x00\x00")
    with pytest.raises(DataError) as caught:
        hdc.bind(b"", b"")
    assert caught.value.function == "kelvra_hdc_bind"


def test_bundle_permute_similarity():
    assert list(hdc.bundle([b"\x01", b"\x03", b"\x07"])) == [3]
    with pytest.raises(DataError):
        hdc.bundle([b"\x01", b"\x03"])  # an even count has no majority
    assert list(hdc.permute(b"\x01\x00", 9)) == [0, 2]
    assert list(hdc.permute(hdc.permute(b"\x35\x12", 5), -5)) == [0x35, 0x12]
    assert hdc.similarity(b"\x00", b"\xff") == -1.0
    assert hdc.similarity(b"\xaa", b"\xaa") == 1.0


def test_klein4_family():
    assert list(hdc.klein4_bind([1, 2, 3], [1, 1, 1])) == [0, 3, 2]
    assert list(hdc.klein4_triality(hdc.klein4_triality([0, 1, 2, 3]), inverse=True)) == [0, 1, 2, 3]
    assert hdc.klein4_similarity([0, 1, 2, 3], [0, 1, 0, 0]) == 0.5
    acc = hdc.Klein4Accumulator(3)
    for v in ([1, 2, 3], [1, 2, 0], [1, 1, 3]):
        acc.add(v)
    assert list(acc.resolve()) == list(hdc.klein4_bundle([[1, 2, 3], [1, 2, 0], [1, 1, 3]])) == [1, 2, 3]
    with pytest.raises(DataError):
        hdc.klein4_bind([4], [0])  # not an element of the group
    table = hdc.klein4_cooccurrence(np.array([[1, 2], [3, 0]], dtype=np.uint8), [0, 1, 0], 1)
    assert table.shape == (2, 5) and table.dtype == np.uint32


def test_polar_family_with_signed_values():
    out = hdc.polar_bind([1, -1, 0], np.array([-1, -1, 1], dtype=np.int8))
    assert out.dtype == np.int8 and list(out) == [-1, 1, 0]
    assert list(hdc.polar_bundle([[1, -1, 1], [1, 1, -1], [-1, 1, 1]])) == [1, 1, 1]
    assert hdc.polar_density([1, 0, -1, 0]) == 0.5
    assert hdc.polar_similarity([1, -1, 0], [1, 1, 0], nonzero_only=True) == 0.5


def test_hamming_round_trip_corrects_one_flip():
    data = [1, 0, 1, 1]
    code = hdc.hamming_encode(data)
    assert len(code) == 7 and hdc.hamming_syndrome(code) == 0
    code[4] ^= 1
    assert hdc.hamming_syndrome(code) == 5
    decoded, syndrome = hdc.hamming_decode(code)
    assert list(decoded) == data and syndrome == 5
    assert len(hdc.hamming_encode([0] * 11, r=4)) == 15
    with pytest.raises(DataError):
        hdc.hamming_encode([1, 0, 1], r=3)


def test_without_numpy_results_are_bytes_and_lists():
    import os
    import subprocess
    import sys
    code = (
        "import sys; sys.modules['numpy'] = None\n"
        "from kelvra import hdc, octonion, linalg\n"
        "assert hdc.bind(b'\\x0f', [255]) == b'\\xf0'\n"
        "assert hdc.polar_bind([1, -1], [-1, -1]) == [-1, 1]\n"
        "assert octonion.bind([0, 1] + [0] * 6, [0, 0, 1] + [0] * 5) == [0, 0, 0, 1, 0, 0, 0, 0]\n"
        "assert linalg.solve([[2, 0], [0, 4]], [[2], [2]]) == [[1.0], [0.5]]\n"
        "assert linalg.multiply_complex([1j], [1j]) == [-1]\n"
    )
    path = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    env = dict(os.environ, PYTHONPATH=path + os.pathsep + os.environ.get("PYTHONPATH", ""))
    subprocess.run([sys.executable, "-c", code], check=True, env=env, timeout=60)
