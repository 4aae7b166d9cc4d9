import math

import pytest

from kelvra import DataError, elementary as el


def test_known_values():
    assert abs(el.exp(1.0) - math.e) < 1e-15
    assert el.exp(0.0) == 1.0
    assert abs(el.log(2.0) - math.log(2.0)) < 1e-15
    assert abs(el.sin(1.0) - math.sin(1.0)) < 1e-15
    assert abs(el.cos(1.0) - math.cos(1.0)) < 1e-15
    assert abs(el.atan(1.0) - math.pi / 4) < 1e-15
    assert abs(el.atan2(1.0, -1.0) - 3 * math.pi / 4) < 1e-15


def test_domain_errors():
    with pytest.raises(DataError):
        el.log(0.0)
    with pytest.raises(DataError):
        el.sin(math.inf)


def test_orbital():
    e, m = 0.1, 1.0
    big_e = el.kepler_solve(m, e)
    assert abs(big_e - e * math.sin(big_e) - m) < 1e-12
    with pytest.raises(DataError):
        el.kepler_solve(m, 1.5)
    # first order: 2 e sin M
    assert abs(el.equation_of_centre(m, 0.01, 1) - 0.02 * math.sin(m)) < 1e-12
    assert abs(el.pin_slot(1.0, 1.0, 0.0) - 1.0) < 1e-15
    with pytest.raises(DataError):
        el.pin_slot(1.0, 0.0, 0.0)


def test_elementwise():
    out = el.elementwise("sin", [0.0, 1.0])
    assert len(out) == 2 and out[0] == 0.0 and out[1] == el.sin(1.0)
    assert list(el.elementwise(3, [1.0])) == [0.0]
    assert len(el.elementwise("exp", [])) == 0
    with pytest.raises(DataError):
        el.elementwise("log", [1.0, -1.0])
    with pytest.raises(KeyError):
        el.elementwise("tan", [1.0])
