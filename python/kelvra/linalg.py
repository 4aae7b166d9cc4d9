"""Dense linear algebra, graph Laplacians, eigensolvers, the sparse Fiedler
vector, the exact integer DFT and circular autocorrelation.

Matrices are row-major. With numpy installed they go in and come out as 2-D
arrays (complex ones as complex128, which has the library's interleaved
re, im layout, so contiguous inputs are passed without a copy); without it
as lists of rows (of Python complex numbers for complex matrices).

Workspaces are sized and allocated here; `solve` takes an optional
`kelvra._lib.Arena` to reuse between calls.

Graphs are given as a vertex count and an edge list of (src, dst) pairs,
with optional weights (1.0 each without).
"""

import ctypes
import os
import struct

from ._lib import Arena, checked, declare, f64_array, f64_p, i64_p, new_f64, numpy, u32_p

__all__ = ["solve", "matmul_complex", "multiply_complex", "adjacency", "laplacian",
           "normalized_laplacian", "hermitian_eigh", "jacobi_eigvals", "fiedler", "fiedler_file",
           "write_edge_file", "exact_dft", "autocorrelation"]

_u32 = ctypes.c_uint32
_u64 = ctypes.c_uint64
_arena_bytes = declare("kelvra_dense_solve_arena_bytes", _u64, _u32, _u32)
_solve = checked("kelvra_dense_solve_f64_ws", _u32, _u32, f64_p, f64_p, f64_p, ctypes.c_void_p, _u64)
_matmul = checked("kelvra_dense_matmul_complex", _u32, _u32, _u32, f64_p, f64_p, f64_p)
_multiply = checked("kelvra_elementwise_multiply_complex", _u32, f64_p, f64_p, f64_p)
_graph_args = (_u32, _u32, u32_p, u32_p, f64_p, f64_p)
_adjacency = checked("kelvra_graph_dense_adjacency", *_graph_args)
_laplacian = checked("kelvra_graph_dense_laplacian", *_graph_args)
_normalized = checked("kelvra_graph_normalized_laplacian", *_graph_args)
_hermitian = checked("kelvra_hermitian_eigendecompose_ws", _u32, f64_p, f64_p, f64_p, f64_p, _u64)
_jacobi = checked("kelvra_jacobi_eigvals", _u32, f64_p, ctypes.c_int32, ctypes.c_double, f64_p)
_fiedler = checked("kelvra_laplacian_fiedler_sparse", _u32, _u32, u32_p, u32_p, f64_p, _u32, f64_p, f64_p, _u64)
_fiedler_file = checked("kelvra_laplacian_fiedler_sparse_file", _u32, ctypes.c_char_p, _u32, f64_p, f64_p, _u64)
_dft = checked("kelvra_exact_dft_i64", _u32, ctypes.c_int32, i64_p, i64_p, i64_p, i64_p)
_autocorrelation = checked("kelvra_autocorrelation_f64", f64_p, _u64, f64_p)



# --- conversions -----------------------------------------------------------

def _real_matrix(values):
    """(pointer, keep-alive, rows, cols) of a real matrix; a flat vector is one column."""
    if numpy is not None:
        array = numpy.ascontiguousarray(values, dtype=numpy.float64)
        if array.ndim == 1:
            return array.ctypes.data_as(f64_p), array, array.shape[0], 1
        if array.ndim != 2:
            raise ValueError("expected a matrix, got shape %s" % (array.shape,))
        return array.ctypes.data_as(f64_p), array, array.shape[0], array.shape[1]
    rows = [list(r) if not isinstance(r, (int, float)) else [r] for r in values]
    cols = len(rows[0]) if rows else 0
    if any(len(r) != cols for r in rows):
        raise ValueError("rows differ in length")
    pointer, array = f64_array([float(v) for r in rows for v in r])
    return pointer, array, len(rows), cols


def _shape_real(flat, rows, cols, vector=False):
    if numpy is not None:
        return flat.reshape(rows) if vector else flat.reshape(rows, cols)
    values = list(flat)
    if vector:
        return values[:rows]
    return [values[i * cols:(i + 1) * cols] for i in range(rows)]


def _complex_values(values):
    """(pointer, keep-alive, shape) of complex values in interleaved re, im layout."""
    if numpy is not None:
        array = numpy.ascontiguousarray(values, dtype=numpy.complex128)
        return array.ctypes.data_as(f64_p), array, array.shape
    if values and not isinstance(values[0], (int, float, complex)):
        rows = [list(r) for r in values]
        shape = (len(rows), len(rows[0]) if rows else 0)
        items = [complex(v) for r in rows for v in r]
    else:
        items = [complex(v) for v in values]
        shape = (len(items),)
    pointer, array = f64_array([part for z in items for part in (z.real, z.imag)])
    return pointer, array, shape


def _new_complex(shape):
    if numpy is not None:
        array = numpy.zeros(shape, dtype=numpy.complex128)
        return array.ctypes.data_as(f64_p), array
    count = 1
    for extent in shape:
        count *= extent
    return new_f64(max(2 * count, 1))


def _complex_result(array, shape):
    if numpy is not None:
        return array
    values = [complex(array[2 * i], array[2 * i + 1]) for i in range(len(array) // 2)]
    if len(shape) == 1:
        return values[:shape[0]]
    rows, cols = shape
    return [values[i * cols:(i + 1) * cols] for i in range(rows)]


def _edges(n, edges, weights):
    """(src pointer, dst pointer, weight pointer or None, count, keep-alive)."""
    pairs = [(int(s), int(d)) for s, d in edges]
    count = len(pairs)
    src = (ctypes.c_uint32 * max(count, 1))(*[s for s, _ in pairs])
    dst = (ctypes.c_uint32 * max(count, 1))(*[d for _, d in pairs])
    keep = [src, dst]
    weight_pointer = None
    if weights is not None:
        weight_pointer, weight_array = f64_array(weights, count)
        keep.append(weight_array)
    return ctypes.cast(src, u32_p), ctypes.cast(dst, u32_p), weight_pointer, count, keep


# --- dense -----------------------------------------------------------------

def solve(a, b, arena=None):
    """X with A X = B by Gauss-Jordan elimination: `a` is n x n, `b` n x m or a
    vector of n values (then X is a vector). DataError for a singular A."""
    pa, ka, n, n2 = _real_matrix(a)
    if n != n2:
        raise ValueError("A must be square, got %d x %d" % (n, n2))
    vector = numpy is not None and numpy.ndim(b) == 1 or numpy is None and b and isinstance(b[0], (int, float))
    pb, kb, rows, m = _real_matrix(b)
    if rows != n:
        raise ValueError("B has %d rows, A has %d" % (rows, n))
    size = _arena_bytes(n, m)
    arena = (arena or Arena()).reserve(size)
    px, x = new_f64(max(n * m, 1))
    _solve(n, m, pa, pb, px, ctypes.cast(arena.pointer, ctypes.c_void_p), arena.size)
    return _shape_real(x[:n * m], n, m, vector)


def matmul_complex(a, b):
    """C = A B for complex matrices (rows x inner)(inner x cols)."""
    pa, ka, sa = _complex_values(a)
    pb, kb, sb = _complex_values(b)
    if len(sa) != 2 or len(sb) != 2 or sa[1] != sb[0]:
        raise ValueError("cannot multiply shapes %s and %s" % (sa, sb))
    rows, inner, cols = sa[0], sa[1], sb[1]
    pc, c = _new_complex((rows, cols))
    _matmul(rows, inner, cols, pa, pb, pc)
    return _complex_result(c, (rows, cols))


def multiply_complex(a, b):
    """Element-wise product of two equally long complex vectors."""
    pa, ka, sa = _complex_values(a)
    pb, kb, sb = _complex_values(b)
    if sa != sb:
        raise ValueError("shapes differ: %s and %s" % (sa, sb))
    count = 1
    for extent in sa:
        count *= extent
    pout, out = _new_complex(sa)
    _multiply(count, pa, pb, pout)
    return _complex_result(out, sa)


# --- graphs and eigensolvers -------------------------------------------------

def _graph_matrix(function, n, edges, weights):
    src, dst, w, count, _keep = _edges(n, edges, weights)
    pout, out = new_f64(max(n * n, 1))
    function(n, count, src, dst, w, pout)
    return _shape_real(out[:n * n] if numpy is not None else out, n, n)


def adjacency(n, edges, weights=None):
    """Dense n x n adjacency matrix of an undirected edge list."""
    return _graph_matrix(_adjacency, n, edges, weights)


def laplacian(n, edges, weights=None):
    """Dense Laplacian D - A."""
    return _graph_matrix(_laplacian, n, edges, weights)


def normalized_laplacian(n, edges, weights=None):
    """I - D^-1/2 A D^-1/2 (isolated vertices give zero rows)."""
    return _graph_matrix(_normalized, n, edges, weights)


def hermitian_eigh(h):
    """(eigenvalues ascending, eigenvectors as the columns of a complex n x n
    matrix) of a complex Hermitian matrix. CapacityError when n is above the
    configured Hermitian node limit or the iteration does not converge."""
    ph, kh, shape = _complex_values(h)
    if len(shape) != 2 or shape[0] != shape[1]:
        raise ValueError("expected a square matrix, got shape %s" % (shape,))
    n = shape[0]
    pvalues, values = new_f64(max(n, 1))
    pvectors, vectors = _new_complex((n, n))
    workspace_doubles = 2 * n * n
    pwork, _work = new_f64(max(workspace_doubles, 1))
    _hermitian(n, ph, pvalues, pvectors, pwork, workspace_doubles)
    eigenvalues = values[:n] if numpy is not None else list(values)[:n]
    return eigenvalues, _complex_result(vectors, (n, n))


def jacobi_eigvals(a, max_sweeps=100, tolerance=1e-14):
    """Eigenvalues of a real symmetric matrix by cyclic Jacobi rotations, in
    the order of the diagonal (not sorted). `a` is not modified."""
    pa, ka, n, n2 = _real_matrix(a)
    if n != n2:
        raise ValueError("expected a square matrix, got %d x %d" % (n, n2))
    if numpy is not None:  # the library overwrites the matrix
        ka = numpy.array(ka)
        pa = ka.ctypes.data_as(f64_p)
    pvalues, values = new_f64(max(n, 1))
    _jacobi(n, pa, max_sweeps, tolerance, pvalues)
    return values[:n] if numpy is not None else list(values)[:n]


def fiedler(n, edges, weights=None, max_iterations=1000):
    """The Fiedler vector (eigenvector of the second-smallest Laplacian
    eigenvalue) of a sparse graph given as an edge list."""
    src, dst, w, count, _keep = _edges(n, edges, weights)
    pout, out = new_f64(max(n, 1))
    workspace_doubles = 8 * n
    pwork, _work = new_f64(max(workspace_doubles, 1))
    _fiedler(n, count, src, dst, w, max_iterations, pout, pwork, workspace_doubles)
    return out[:n] if numpy is not None else list(out)[:n]


def fiedler_file(n, path, max_iterations=1000):
    """The Fiedler vector of a graph stored in a file of 16-byte edge records
    (u32 src, u32 dst, f64 weight, little-endian; see `write_edge_file`)."""
    pout, out = new_f64(max(n, 1))
    workspace_doubles = 8 * n
    pwork, _work = new_f64(max(workspace_doubles, 1))
    _fiedler_file(n, os.fsencode(path), max_iterations, pout, pwork, workspace_doubles)
    return out[:n] if numpy is not None else list(out)[:n]


def write_edge_file(path, edges, weights=None):
    """Writes an edge list in the record format `fiedler_file` reads."""
    pairs = list(edges)
    weights = [1.0] * len(pairs) if weights is None else list(weights)
    if len(weights) != len(pairs):
        raise ValueError("%d edges but %d weights" % (len(pairs), len(weights)))
    with open(path, "wb") as f:
        for (s, d), w in zip(pairs, weights):
            f.write(struct.pack("<IId", int(s), int(d), float(w)))


# --- transforms ------------------------------------------------------------

def _i64_values(values, n=None):
    items = [int(v) for v in values]
    if n is not None and len(items) != n:
        raise ValueError("expected %d values, got %d" % (n, len(items)))
    array = (ctypes.c_int64 * max(len(items), 1))(*items)
    return ctypes.cast(array, i64_p), array, len(items)


def exact_dft(re, im=None, inverse=False):
    """Exact DFT of an integer vector of power-of-two length n (imaginary part
    `im`, zero without). Row k of each result holds X_k as n/2 integer
    coefficients of 1, z, ..., z^(n/2 - 1) with z = exp(+2 pi i / n), or its
    conjugate exponent with `inverse`. Returns (re rows, im rows): int64
    arrays of shape (n, n/2), or lists of rows. Sums wrap modulo 2^64."""
    pre, kre, n = _i64_values(re)
    pim, kim, _ = _i64_values([0] * n if im is None else im, n)
    half = n // 2
    size = max(n * half, 1)
    re_out = (ctypes.c_int64 * size)()
    im_out = (ctypes.c_int64 * size)()
    _dft(n, 1 if inverse else 0, pre, pim, ctypes.cast(re_out, i64_p), ctypes.cast(im_out, i64_p))

    def rows(flat):
        if numpy is not None:
            return numpy.frombuffer(flat, dtype=numpy.int64, count=n * half).reshape(n, half).copy()
        values = list(flat)
        return [values[k * half:(k + 1) * half] for k in range(n)]

    return rows(re_out), rows(im_out)


def autocorrelation(x):
    """Circular autocorrelation out[k] = sum_i x[(i + k) mod n] x[i]."""
    px, kx = f64_array(x)
    n = kx.size if numpy is not None else len(kx)
    pout, out = new_f64(max(n, 1))
    _autocorrelation(px, n, pout)
    return out[:n] if numpy is not None else list(out)[:n]
