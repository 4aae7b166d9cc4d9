import numpy as np
import pytest

from kelvra import DataError, KelvraIOError, linalg
from kelvra._lib import Arena

PATH = [(0, 1), (1, 2), (2, 3)]


def test_solve_vector_and_matrix_right_hand_sides():
    a = np.array([[2.0, 1.0], [1.0, 3.0]])
    x = linalg.solve(a, [3.0, 5.0])
    assert x.shape == (2,) and np.allclose(x, [0.8, 1.4])
    arena = Arena()
    assert np.allclose(linalg.solve(a, np.eye(2), arena=arena), np.linalg.inv(a))
    assert arena.size >= 8 * (2 + 2) * 2
    with pytest.raises(DataError):
        linalg.solve([[1.0, 2.0], [2.0, 4.0]], [1.0, 1.0])
    with pytest.raises(ValueError):
        linalg.solve(np.ones((2, 3)), [1.0, 1.0])


def test_complex_products_use_interleaved_layout():
    a = np.array([[1j, 0], [0, 1]])
    b = np.array([[1, 2], [3, 4j]])
    assert np.allclose(linalg.matmul_complex(a, b), a @ b)
    assert np.allclose(linalg.multiply_complex([1j, 2], [1j, 1 + 1j]), [-1, 2 + 2j])
    with pytest.raises(ValueError):
        linalg.matmul_complex(a, np.ones((3, 3)))


def test_graph_matrices():
    adjacency = linalg.adjacency(4, PATH)
    assert adjacency.shape == (4, 4) and adjacency[1, 2] == adjacency[2, 1] == 1.0
    lap = linalg.laplacian(4, PATH, weights=[1.0, 2.0, 3.0])
    assert np.allclose(lap.sum(axis=1), 0.0) and lap[2, 2] == 5.0
    assert np.allclose(np.diag(linalg.normalized_laplacian(3, [(0, 1)])), [1.0, 1.0, 0.0])
    with pytest.raises(DataError):
        linalg.adjacency(2, [(0, 2)])


def test_eigensolvers():
    h = np.array([[2, 1j], [-1j, 2]])
    values, vectors = linalg.hermitian_eigh(h)
    assert np.allclose(values, [1.0, 3.0])
    assert np.allclose(h @ vectors, vectors * values)
    a = np.array([[2.0, 1.0], [1.0, 3.0]])
    assert np.allclose(sorted(linalg.jacobi_eigvals(a)), np.linalg.eigvalsh(a))
    assert a[0, 1] == 1.0  # the caller's matrix is left alone


def test_fiedler_from_memory_and_file(tmp_path):
    vector = linalg.fiedler(4, PATH)
    assert vector[0] * vector[3] < 0 and abs(vector.sum()) < 1e-9
    path = tmp_path / "edges.bin"
    linalg.write_edge_file(path, PATH)
    assert path.stat().st_size == 16 * len(PATH)
    assert np.allclose(linalg.fiedler_file(4, path), vector)
    with pytest.raises(KelvraIOError):
        linalg.fiedler_file(4, tmp_path / "missing.bin")


def test_exact_dft_and_autocorrelation():
    re, im = linalg.exact_dft([1, 2, 3, 4])
    assert re.shape == (4, 2) and list(re[0]) == [10, 0]
    assert list(re[1]) == [-2, -2] and not im.any()  # X_1 = -2 - 2i with i = z
    with pytest.raises(DataError):
        linalg.exact_dft([1, 2, 3])
    assert list(linalg.autocorrelation([1.0, 2.0, 3.0])) == [14.0, 11.0, 11.0]
