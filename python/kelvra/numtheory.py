"""Exact integer number theory on unsigned 64-bit integers: primality,
factorisation, gcd and lcm, modular arithmetic, multiplicative periods, and
continued fractions with their convergents and best rational approximations.

Arguments are Python ints in 0 .. 2**64 - 1 (signed partial quotients for
`convergents`); results are Python ints.
"""

import ctypes

from ._lib import checked, i64_p, u64_p, u8_p, u32_p

__all__ = ["is_prime", "factor", "gcd", "lcm", "mod_add", "mod_mul", "mod_pow", "mod_inv", "three_cycle",
           "cyclic_period", "continued_fraction", "convergents", "best_rational"]

U64 = ctypes.c_uint64
# A 64-bit integer has at most 15 distinct prime factors (the product of the
# first 16 primes exceeds 2**64).
_MAX_PRIMES = 15
# The Euclidean algorithm on 64-bit operands takes at most 93 steps
# (consecutive Fibonacci numbers are the worst case).
_MAX_TERMS = 96
_MAX_CONVERGENTS = 256

_gcd = checked("kelvra_gcd", U64, U64, u64_p)
_lcm = checked("kelvra_lcm", U64, U64, u64_p)
_mod_add = checked("kelvra_mod_add", U64, U64, U64, u64_p)
_mod_mul = checked("kelvra_mod_mul", U64, U64, U64, u64_p)
_mod_pow = checked("kelvra_mod_pow", U64, U64, U64, u64_p)
_mod_inv = checked("kelvra_mod_inv", U64, U64, u64_p)
_three_cycle = checked("kelvra_three_cycle", U64, u64_p)
_cyclic_period = checked("kelvra_cyclic_period", U64, U64, U64, u64_p)
_factor = checked("kelvra_factor", U64, u64_p, u8_p, ctypes.c_uint32, u32_p)
_is_prime = checked("kelvra_is_prime", U64, u8_p)
_continued_fraction = checked("kelvra_continued_fraction", U64, U64, u64_p, ctypes.c_uint32, u32_p)
_cf_convergents = checked("kelvra_cf_convergents_int64", i64_p, U64, i64_p, i64_p)
_best_rational = checked("kelvra_best_rational", U64, U64, U64, u64_p, u64_p)


def _u64(value, name="argument"):
    value = int(value)
    if not 0 <= value < 1 << 64:
        raise OverflowError("%s %d is outside 0 .. 2**64 - 1" % (name, value))
    return value


def _unary(function, *args):
    out = U64()
    function(*[_u64(a) for a in args], ctypes.byref(out))
    return out.value


def is_prime(n):
    """True when n is prime (exact for every 64-bit n)."""
    out = ctypes.c_uint8()
    _is_prime(_u64(n), ctypes.byref(out))
    return bool(out.value)


def factor(n):
    """The prime factorisation of n as a list of (prime, exponent), primes
    increasing; [] for 0 and 1."""
    primes = (U64 * _MAX_PRIMES)()
    exponents = (ctypes.c_uint8 * _MAX_PRIMES)()
    count = ctypes.c_uint32()
    _factor(_u64(n), primes, exponents, _MAX_PRIMES, ctypes.byref(count))
    return [(primes[i], exponents[i]) for i in range(count.value)]


def gcd(a, b):
    """Greatest common divisor; gcd(a, 0) = a."""
    return _unary(_gcd, a, b)


def lcm(a, b):
    """Least common multiple; 0 when either is 0. CapacityError when it
    does not fit 64 bits."""
    return _unary(_lcm, a, b)


def mod_add(a, b, m):
    """(a + b) mod m; DataError for m = 0."""
    return _unary(_mod_add, a, b, m)


def mod_mul(a, b, m):
    """(a * b) mod m, exact for every modulus; DataError for m = 0."""
    return _unary(_mod_mul, a, b, m)


def mod_pow(base, exponent, m):
    """base**exponent mod m (base**0 = 1, and 0 when m = 1); DataError for m = 0."""
    return _unary(_mod_pow, base, exponent, m)


def mod_inv(a, m):
    """x in [0, m) with a*x = 1 (mod m). DataError when m < 2 or a has no
    inverse; CapacityError for m above 2**63 - 1."""
    return _unary(_mod_inv, a, m)


def three_cycle(x):
    """((x mod 3) + 1) mod 3: the next step of the three-cycle."""
    return _unary(_three_cycle, x)


def cyclic_period(a, m, max_period=None):
    """The multiplicative order of a modulo m: the smallest k >= 1 with
    a**k = 1 (mod m). The search stops at max_period (default m), raising
    CapacityError when no period is found up to it."""
    if max_period is None:
        max_period = m
    return _unary(_cyclic_period, a, m, max_period)


def continued_fraction(num, den):
    """The partial quotients of num/den, as a list of ints."""
    terms = (U64 * _MAX_TERMS)()
    count = ctypes.c_uint32()
    _continued_fraction(_u64(num), _u64(den), terms, _MAX_TERMS, ctypes.byref(count))
    return list(terms[:count.value])


def convergents(terms):
    """The convergents p_i/q_i of signed partial quotients, as a list of
    (p, q) pairs (1 to 256 terms; DataError for none)."""
    terms = [int(t) for t in terms]
    n = len(terms)
    if n > _MAX_CONVERGENTS:
        raise ValueError("at most %d partial quotients, got %d" % (_MAX_CONVERGENTS, n))
    source = (ctypes.c_int64 * max(n, 1))(*terms)
    p = (ctypes.c_int64 * max(n, 1))()
    q = (ctypes.c_int64 * max(n, 1))()
    _cf_convergents(source, n, p, q)
    return [(p[i], q[i]) for i in range(n)]


def best_rational(num, den, max_den):
    """The last convergent of num/den whose denominator is at most max_den,
    as a pair (p, q)."""
    p, q = U64(), U64()
    _best_rational(_u64(num), _u64(den), _u64(max_den), ctypes.byref(p), ctypes.byref(q))
    return p.value, q.value
