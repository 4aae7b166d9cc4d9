import numpy as np
import pytest

from kelvra import DataError, octonion as o

E = np.eye(8)


def test_basis_products():
    assert list(o.bind(E[1], E[2])) == list(E[3])
    assert o.cd_basis_product(8, 1, 2) == (3, 1)
    assert o.cd_basis_product(8, 2, 1) == (3, -1)
    with pytest.raises(DataError):
        o.cd_basis_product(6, 1, 2)


def test_conj_inv_and_lists():
    x = [1.0, 2.0, 0, 0, 0, 0, 0, 3.0]
    assert list(o.conj(x)) == [1.0, -2.0, 0, 0, 0, 0, 0, -3.0]
    assert np.allclose(o.bind(x, o.inv(x)), E[0])
    with pytest.raises(DataError):
        o.inv([0.0] * 8)
    with pytest.raises(ValueError):
        o.conj([1.0, 2.0])


def test_operators_associator_cross_and_form():
    x, y = np.arange(1.0, 9.0), np.arange(8.0, 0.0, -1.0)
    assert o.left_op(x).shape == (8, 8)
    assert np.allclose(o.left_op(x) @ y, o.bind(x, y))
    assert np.allclose(o.right_op(x) @ y, o.bind(y, x))
    assert np.allclose(o.associator(E[1], E[2], E[4]), 2 * o.bind(o.bind(E[1], E[2]), E[4]))
    assert o.cross7(E[1], E[2])[0] == 0.0 and o.cross7(E[1], E[2])[3] == 1.0
    assert o.g2_three_form(E[1], E[2], E[3]) == 1.0
    assert sum(o.three_fold_bands(10)) == 10


def test_many_octonions():
    a = np.random.default_rng(1).normal(size=(5, 8))
    b = np.random.default_rng(2).normal(size=(5, 8))
    product = o.bind_many(a, b)
    assert product.shape == (5, 8)
    assert np.allclose(product[3], o.bind(a[3], b[3]))
    assert np.allclose(o.conj_many(a)[2], o.conj(a[2]))
    assert np.allclose(o.bind_many(a, o.inv_many(a)), np.tile(E[0], (5, 1)))
    assert np.allclose(o.unbind_many(a, b)[0], o.bind(o.conj(a[0]), b[0]))
    assert np.allclose(o.runbind_many(a, b)[0], o.bind(b[0], o.conj(a[0])))
    assert o.bind_many(a.reshape(-1), b.reshape(-1)).shape == (5, 8)
    with pytest.raises(ValueError):
        o.bind_many(a, b[:4])
