"""Exact rational arithmetic on fractions.Fraction."""
from fractions import Fraction

import kelvra.rational as q

a, b = Fraction(3, 4), Fraction(-5, 6)
print("a + b =", q.add(a, b), " a * b =", q.mul(a, b), " a / b =", q.div(a, b))
print("(2/3)**10 =", q.pow_uint(Fraction(2, 3), 10))
approx = q.exp_series_truncate(1, 12)
print("e ~", approx, "=", float(approx))
print("sqrt(2) =", q.sqrt(2.0))
