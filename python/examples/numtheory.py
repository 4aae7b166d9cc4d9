"""Primes, factorisation, modular arithmetic and continued fractions."""
import kelvra.numtheory as nt

n = 600851475143
print("factor(%d) = %s" % (n, nt.factor(n)))
print("is_prime(2**61 - 1) =", nt.is_prime(2 ** 61 - 1))
print("gcd(462, 1071) =", nt.gcd(462, 1071), " lcm(21, 6) =", nt.lcm(21, 6))
print("3**200 mod 1000003 =", nt.mod_pow(3, 200, 1000003), " 17^-1 mod 3120 =", nt.mod_inv(17, 3120))
print("order of 10 mod 7 =", nt.cyclic_period(10, 7))
terms = nt.continued_fraction(355, 113)
print("355/113 =", terms, "convergents", nt.convergents(terms))
print("best approximation of 3.14159265 with denominator <= 1000:", nt.best_rational(314159265, 100000000, 1000))
