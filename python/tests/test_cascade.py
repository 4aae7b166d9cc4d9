import math

import numpy as np
import pytest

from kelvra import DataError, cascade


def test_kuramoto_step_known_value():
    out = cascade.kuramoto_step([0.0, 1.0], [1.0, 1.0], 1.0, 0.1)
    expected = [0.1 * (1 + 0.5 * math.sin(1.0)), 1 + 0.1 * (1 - 0.5 * math.sin(1.0))]
    assert np.allclose(out, expected)
    with pytest.raises(ValueError):
        cascade.kuramoto_step([0.0, 1.0], [1.0], 1.0, 0.1)


def test_kuramoto_general_matches_plain_and_takes_options():
    theta, omega = np.array([0.0, 0.5, 2.0]), np.array([1.0, 0.9, 1.1])
    weights = np.full((3, 3), 1.0 / 3)
    general = cascade.kuramoto_step_general(theta, omega, 1.0, 0.05, weights=weights)
    assert np.allclose(general, cascade.kuramoto_step(theta, omega, 1.0, 0.05))
    driven = cascade.kuramoto_step_general(theta, omega, 0.0, 0.1, drive=[1.0, 1.0, 1.0], drive_gain=[2.0, 0, 0])
    assert np.isclose(driven[0], 0.1 * (1.0 + 2.0 * math.sin(1.0)))
    assert cascade.kuramoto_order([0.3, 0.3]) == pytest.approx(1.0)


def test_scalar_kernels():
    assert cascade.pin_slot_at_zero(-2.5) == (-1, 2.5)
    assert cascade.pin_slot_at_zero(float("nan")) == (0, 0.0)
    assert math.copysign(1.0, cascade.magnitude(-0.0)) == 1.0
    assert cascade.reorient(-1, 2.0) == -2.0 and cascade.reorient(0, 2.0) == 2.0
    assert cascade.reorient_int(-1, -2 ** 63) == -2 ** 63
    assert cascade.net_chirality([1, -1, -1]) == 1 and cascade.net_chirality([]) == 1
    assert cascade.cyclic_gcd(12, 18) == 6
    assert cascade.best_rational_signed(-0.75, 10) == (-3, 4)
    assert cascade.reverse_order(4) == [3, 2, 1, 0]


def test_flips_and_dual():
    assert list(cascade.chiral_flip([1.0, 2.0, 3.0])) == [3.0, 2.0, 1.0]
    assert cascade.chiral_flip_int([1, -2, 3]) == [3, -2, 1]
    assert list(cascade.chiral_dual(np.cumsum, [1.0, 2.0, 3.0])) == [6.0, 5.0, 3.0]


def test_operator_exceptions_come_back_as_python_exceptions():
    def broken(values):
        raise ZeroDivisionError("inside the operator")

    with pytest.raises(ZeroDivisionError):
        cascade.chiral_dual(broken, [1.0])
    with pytest.raises(ValueError):
        cascade.chiral_dual(lambda values: [1.0, 2.0], [1.0])  # wrong length
    with pytest.raises(ZeroDivisionError):
        cascade.sector_dispatch(broken, [1.0, 2.0])


def test_sector_dispatch_applies_each_symmetry():
    x = np.array([1.0, 2.0, 3.0])
    rows = cascade.sector_dispatch(lambda v: 2 * v + np.arange(len(v)), x)
    assert rows.shape == (4, 3)
    for (chirality, orientation), row in zip(cascade.SECTORS, rows):
        d = (lambda v: v[::-1]) if chirality < 0 else (lambda v: v)
        s = orientation
        assert np.allclose(row, s * d(2 * s * d(x) + np.arange(3)))
    assert cascade.sector_dispatch(lambda v: v, x, sectors=1).shape == (1, 3)
    with pytest.raises(DataError):
        cascade.sector_dispatch(lambda v: v, x, sectors=5)

