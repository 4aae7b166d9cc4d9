"""Exact rationals: a signed 64-bit numerator over an unsigned 64-bit
denominator, always reduced. Functions accept fractions.Fraction, ints or
(numerator, denominator) pairs and return fractions.Fraction. Results that do
not fit raise CapacityError; a zero denominator or divisor raises DataError.
"""

import ctypes
from fractions import Fraction

from ._lib import checked, f64_p, i64_p, u64_p

__all__ = ["add", "sub", "mul", "div", "pow_uint", "exp_series_truncate", "sqrt", "to_pair"]

I64, U64 = ctypes.c_int64, ctypes.c_uint64

_add = checked("kelvra_rational_add", I64, U64, I64, U64, i64_p, u64_p)
_mul = checked("kelvra_rational_mul", I64, U64, I64, U64, i64_p, u64_p)
_div = checked("kelvra_rational_div", I64, U64, I64, U64, i64_p, u64_p)
_pow_uint = checked("kelvra_rational_pow_uint", I64, U64, ctypes.c_uint32, i64_p, u64_p)
_exp_series = checked("kelvra_exp_series_truncate", I64, U64, ctypes.c_uint32, i64_p, u64_p)
_sqrt = checked("kelvra_rational_sqrt", ctypes.c_double, f64_p)


def to_pair(value):
    """(numerator, denominator) of a Fraction, an int or a pair, checked to
    fit the library's widths (a pair is passed unreduced, as given)."""
    if isinstance(value, tuple):
        num, den = (int(v) for v in value)
    else:
        if isinstance(value, float):
            raise TypeError("pass a Fraction, an int or a (numerator, denominator) pair, not a float")
        value = Fraction(value)
        num, den = value.numerator, value.denominator
    if den < 0:
        num, den = -num, -den
    if not -(1 << 63) <= num < 1 << 63:
        raise OverflowError("numerator %d does not fit 64 signed bits" % num)
    if not 0 <= den < 1 << 64:
        raise OverflowError("denominator %d does not fit 64 unsigned bits" % den)
    return num, den


def _call(function, *args):
    num, den = I64(), U64()
    function(*args, ctypes.byref(num), ctypes.byref(den))
    return Fraction(num.value, den.value)


def add(a, b):
    """a + b."""
    return _call(_add, *to_pair(a), *to_pair(b))


def sub(a, b):
    """a - b (a + (-b))."""
    num, den = to_pair(b)
    if num == -(1 << 63):
        raise OverflowError("the negated numerator does not fit 64 signed bits")
    return _call(_add, *to_pair(a), -num, den)


def mul(a, b):
    """a * b."""
    return _call(_mul, *to_pair(a), *to_pair(b))


def div(a, b):
    """a / b."""
    return _call(_div, *to_pair(a), *to_pair(b))


def pow_uint(a, exponent):
    """a ** exponent for 0 <= exponent <= 64."""
    exponent = int(exponent)
    if not 0 <= exponent < 1 << 32:
        raise OverflowError("exponent %d is outside 0 .. 2**32 - 1" % exponent)
    return _call(_pow_uint, *to_pair(a), exponent)


def exp_series_truncate(x, order):
    """The exact sum of x**k / k! for k = 0 .. order (order <= 20)."""
    order = int(order)
    if not 0 <= order < 1 << 32:
        raise OverflowError("order %d is outside 0 .. 2**32 - 1" % order)
    return _call(_exp_series, *to_pair(x), order)


def sqrt(x):
    """The square root of the float x by the library's exact integer method;
    DataError for x < 0."""
    out = ctypes.c_double()
    _sqrt(float(x), ctypes.byref(out))
    return out.value
