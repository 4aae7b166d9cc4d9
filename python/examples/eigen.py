"""Eigenvalues of a Hermitian matrix and of a graph Laplacian."""

import numpy as np

from kelvra import linalg

h = np.array([[2.0, 1j, 0.0], [-1j, 2.0, 1.0], [0.0, 1.0, 1.0]])
values, vectors = linalg.hermitian_eigh(h)
print("Hermitian eigenvalues:", values)
print("largest residual:", np.abs(h @ vectors - vectors * values).max())

ring = [(i, (i + 1) % 6) for i in range(6)]
laplacian = linalg.laplacian(6, ring)
print("ring Laplacian eigenvalues:", np.round(sorted(linalg.jacobi_eigvals(laplacian)), 12))
