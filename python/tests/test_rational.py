from fractions import Fraction as F

import pytest

from kelvra import CapacityError, DataError, rational


def test_arithmetic_on_fractions_ints_and_pairs():
    assert rational.add(F(1, 2), F(1, 3)) == F(5, 6)
    assert rational.sub((1, 2), 1) == F(-1, 2)
    assert rational.mul(F(-2, 3), (3, 4)) == F(-1, 2)
    assert rational.div(1, F(1, 3)) == 3
    assert isinstance(rational.add(1, 1), F)


def test_pairs_with_a_negative_denominator_are_normalised():
    assert rational.to_pair((1, -2)) == (-1, 2)
    assert rational.add((1, -2), (1, 2)) == 0


def test_pow_and_series():
    assert rational.pow_uint(F(2, 3), 3) == F(8, 27)
    assert rational.pow_uint(F(5, 7), 0) == 1
    assert rational.exp_series_truncate(1, 5) == F(163, 60)


def test_errors():
    with pytest.raises(DataError):
        rational.div(1, 0)
    with pytest.raises(DataError):
        rational.add((1, 0), 1)
    with pytest.raises(CapacityError):
        rational.mul(2 ** 62, 4)
    with pytest.raises(OverflowError):
        rational.add(2 ** 63, 1)
    with pytest.raises(TypeError):
        rational.add(0.5, 1)


def test_sqrt():
    assert rational.sqrt(16.0) == 4.0
    assert abs(rational.sqrt(2.0) - 2 ** 0.5) < 1e-15
    with pytest.raises(DataError):
        rational.sqrt(-1.0)
