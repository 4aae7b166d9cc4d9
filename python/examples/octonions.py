"""Octonions: the product is not associative, but every non-zero octonion has an inverse."""

import numpy as np

from kelvra import octonion

e = np.eye(8)
print("e1 e2 =", octonion.bind(e[1], e[2]))
print("e2 e1 =", octonion.bind(e[2], e[1]))
print("[e1, e2, e4] =", octonion.associator(e[1], e[2], e[4]))

x = np.array([1.0, 2.0, -1.0, 0.5, 0.0, 3.0, 0.0, -2.0])
print("x x^-1 =", np.round(octonion.bind(x, octonion.inv(x)), 12))

# A thousand products at once, and undoing them.
rng = np.random.default_rng(0)
a, b = rng.normal(size=(1000, 8)), rng.normal(size=(1000, 8))
bound = octonion.bind_many(a, b)
recovered = octonion.unbind_many(a, bound) / (a * a).sum(axis=1, keepdims=True)
print("largest unbinding error:", np.abs(recovered - b).max())
