"""Solving dense linear systems, and complex matrix products."""

import numpy as np

from kelvra import linalg
from kelvra._lib import Arena

rng = np.random.default_rng(3)
arena = Arena()  # reused by every solve below
for n in (3, 10, 50):
    a = rng.normal(size=(n, n)) + n * np.eye(n)
    b = rng.normal(size=(n, 2))
    x = linalg.solve(a, b, arena=arena)
    print("n = %2d: residual %.2e" % (n, np.abs(a @ x - b).max()))

u = np.array([[1, 1j], [1j, 1]]) / np.sqrt(2)
print("U U =\n", np.round(linalg.matmul_complex(u, u), 12))
