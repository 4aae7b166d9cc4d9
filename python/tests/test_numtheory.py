import pytest

from kelvra import ArgumentError, CapacityError, DataError, numtheory as nt


def test_primes_and_factors():
    assert nt.is_prime(2 ** 61 - 1) and not nt.is_prime(1) and not nt.is_prime(2 ** 64 - 1)
    assert nt.factor(360) == [(2, 3), (3, 2), (5, 1)]
    assert nt.factor(0) == [] and nt.factor(1) == []


def test_factor_with_fifteen_distinct_primes():
    primes = [2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37, 41, 43, 47]
    n = 1
    for p in primes:
        n *= p
    assert nt.factor(n) == [(p, 1) for p in primes]


def test_gcd_lcm_and_modular():
    assert nt.gcd(12, 18) == 6 and nt.gcd(7, 0) == 7
    assert nt.lcm(4, 6) == 12
    with pytest.raises(CapacityError):
        nt.lcm(2 ** 63, 3)
    big = 2 ** 64 - 59  # the largest 64-bit prime
    assert nt.mod_mul(big - 1, big - 1, big) == 1
    assert nt.mod_add(big - 1, 2, big) == 1
    assert nt.mod_pow(2, 10, 1000) == 24
    assert nt.mod_inv(3, 7) == 5
    assert nt.three_cycle(5) == 0
    with pytest.raises(DataError):
        nt.mod_add(1, 1, 0)
    with pytest.raises(DataError):
        nt.mod_inv(2, 4)


def test_out_of_range_arguments_are_refused_before_the_call():
    with pytest.raises(OverflowError):
        nt.gcd(-1, 2)
    with pytest.raises(OverflowError):
        nt.is_prime(2 ** 64)


def test_cyclic_period():
    assert nt.cyclic_period(2, 7) == 3
    assert nt.cyclic_period(10, 7) == 6
    with pytest.raises(CapacityError):
        nt.cyclic_period(10, 7, max_period=5)


def test_continued_fractions():
    assert nt.continued_fraction(415, 93) == [4, 2, 6, 7]
    # consecutive Fibonacci numbers need the most terms
    a, b = 1, 1
    while b < 2 ** 63:
        a, b = b, a + b
    assert len(nt.continued_fraction(b, a)) > 85
    assert nt.convergents([4, 2, 6, 7]) == [(4, 1), (9, 2), (58, 13), (415, 93)]
    with pytest.raises(DataError):
        nt.convergents([])
    with pytest.raises(ValueError):
        nt.convergents([1] * 257)
    assert nt.best_rational(314159, 100000, 100) == (22, 7)
    with pytest.raises(DataError):
        nt.continued_fraction(1, 0)
    assert issubclass(ArgumentError, ValueError)
