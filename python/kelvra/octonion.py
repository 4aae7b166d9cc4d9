"""Octonions and the Cayley-Dickson basis.

An octonion is 8 floats, real part first: a sequence of 8 numbers or a
numpy array of 8 float64 values. Single results are numpy arrays of 8 values
when numpy is installed, else lists; 8 x 8 operators are 2-D arrays (lists
of rows without numpy).

The ``*_many`` functions work on n octonions at once, given as an (n, 8)
array (or a flat array of 8 n values, or a sequence of 8-value sequences)
and return an (n, 8) array.
"""

import ctypes

from ._lib import as_list_or_array, checked, f64_array, f64_p, new_f64, numpy, u32_p

__all__ = ["cd_basis_product", "bind", "conj", "inv", "associator", "left_op", "right_op", "cross7",
           "g2_three_form", "three_fold_bands", "bind_many", "conj_many", "inv_many", "unbind_many",
           "runbind_many"]

_u64 = ctypes.c_uint64
_basis = checked("kelvra_cd_basis_product", ctypes.c_int32, ctypes.c_int32, ctypes.c_int32, u32_p,
                 ctypes.POINTER(ctypes.c_int32))
_bind = checked("kelvra_loop_bind_f64", f64_p, f64_p, _u64, f64_p)
_conj = checked("kelvra_loop_conj_f64", f64_p, _u64, f64_p)
_inv = checked("kelvra_loop_inv_f64", f64_p, _u64, f64_p)
_assoc = checked("kelvra_loop_associator_f64", f64_p, f64_p, f64_p, _u64, f64_p)
_left = checked("kelvra_loop_left_op_f64", f64_p, _u64, f64_p)
_right = checked("kelvra_loop_right_op_f64", f64_p, _u64, f64_p)
_cross7 = checked("kelvra_cross7_f64", f64_p, f64_p, _u64, f64_p)
_g2 = checked("kelvra_g2_three_form_f64", f64_p, f64_p, f64_p, _u64, f64_p)
_bands = checked("kelvra_three_fold_bands", ctypes.c_uint32, u32_p, u32_p, u32_p)
_bind_hd = checked("kelvra_loop_bind_hd_f64", f64_p, f64_p, _u64, f64_p)
_conj_hd = checked("kelvra_loop_conj_hd_f64", f64_p, _u64, f64_p)
_inv_hd = checked("kelvra_loop_inv_hd_f64", f64_p, _u64, f64_p)
_unbind_hd = checked("kelvra_loop_unbind_hd_f64", f64_p, f64_p, _u64, f64_p)
_runbind_hd = checked("kelvra_loop_runbind_hd_f64", f64_p, f64_p, _u64, f64_p)


def _octonion(x):
    return f64_array(x, 8)


def _unary(function, x, size=8):
    px, _keep = _octonion(x)
    pout, out = new_f64(size)
    function(px, 8, pout)
    return out


def _binary(function, x, y):
    px, kx = _octonion(x)
    py, ky = _octonion(y)
    pout, out = new_f64(8)
    function(px, py, 8, pout)
    return as_list_or_array(out)


def _matrix(flat):
    if numpy is not None:
        return flat.reshape(8, 8)
    values = list(flat)
    return [values[8 * i:8 * i + 8] for i in range(8)]


def cd_basis_product(n, i, j):
    """(index, sign) with e_i e_j = sign e_index in the Cayley-Dickson algebra of
    dimension n (a power of two up to 64)."""
    index, sign = ctypes.c_uint32(), ctypes.c_int32()
    _basis(n, i, j, ctypes.byref(index), ctypes.byref(sign))
    return index.value, sign.value


def bind(x, y):
    """The octonion product x y."""
    return _binary(_bind, x, y)


def conj(x):
    """The conjugate of x (imaginary parts negated)."""
    return as_list_or_array(_unary(_conj, x))


def inv(x):
    """x^-1; DataError for the zero octonion."""
    return as_list_or_array(_unary(_inv, x))


def associator(x, y, z):
    """(x y) z - x (y z)."""
    px, kx = _octonion(x)
    py, ky = _octonion(y)
    pz, kz = _octonion(z)
    pout, out = new_f64(8)
    _assoc(px, py, pz, 8, pout)
    return as_list_or_array(out)


def left_op(x):
    """The 8 x 8 matrix L with L y = x y."""
    return _matrix(_unary(_left, x, 64))


def right_op(x):
    """The 8 x 8 matrix R with R y = y x."""
    return _matrix(_unary(_right, x, 64))


def cross7(u, v):
    """The seven-dimensional cross product: u v with the real part set to 0."""
    return _binary(_cross7, u, v)


def g2_three_form(x, u, v):
    """The G2 three-form phi(x, u, v)."""
    px, kx = _octonion(x)
    pu, ku = _octonion(u)
    pv, kv = _octonion(v)
    out = ctypes.c_double()
    _g2(px, pu, pv, 8, ctypes.byref(out))
    return out.value


def three_fold_bands(n):
    """Splits n into three band sizes (q, q or q+1, the rest)."""
    bands = [ctypes.c_uint32() for _ in range(3)]
    _bands(n, *[ctypes.byref(b) for b in bands])
    return tuple(b.value for b in bands)


# --- many octonions at once ------------------------------------------------

def _blocks(values):
    """(pointer, keep-alive, count) of n octonions."""
    if numpy is not None:
        array = numpy.ascontiguousarray(values, dtype=numpy.float64)
        if array.size % 8 != 0 or (array.ndim > 1 and array.shape[-1] != 8):
            raise ValueError("expected blocks of 8 values, got shape %s" % (array.shape,))
        return array.ctypes.data_as(f64_p), array, array.size // 8
    flat = []
    for item in values:
        if isinstance(item, (int, float)):
            flat.append(float(item))
        else:
            flat.extend(float(v) for v in item)
    if len(flat) % 8 != 0:
        raise ValueError("expected blocks of 8 values, got %d values" % len(flat))
    pointer, array = f64_array(flat)
    return pointer, array, len(flat) // 8


def _many_result(flat, n):
    if numpy is not None:
        return flat.reshape(n, 8)
    values = list(flat)
    return [values[8 * i:8 * i + 8] for i in range(n)]


def _many_unary(function, a):
    pa, ka, n = _blocks(a)
    pout, out = new_f64(max(8 * n, 1))
    function(pa, n, pout)
    return _many_result(out[:8 * n], n)


def _many_binary(function, a, b):
    pa, ka, n = _blocks(a)
    pb, kb, m = _blocks(b)
    if n != m:
        raise ValueError("%d octonions against %d" % (n, m))
    pout, out = new_f64(max(8 * n, 1))
    function(pa, pb, n, pout)
    return _many_result(out[:8 * n], n)


def bind_many(a, b):
    """a_k b_k for each pair of octonions."""
    return _many_binary(_bind_hd, a, b)


def conj_many(a):
    """The conjugate of each octonion."""
    return _many_unary(_conj_hd, a)


def inv_many(a):
    """The inverse of each octonion; DataError when one of them is zero."""
    return _many_unary(_inv_hd, a)


def unbind_many(a, b):
    """conj(a_k) b_k for each pair."""
    return _many_binary(_unbind_hd, a, b)


def runbind_many(a, b):
    """b_k conj(a_k) for each pair."""
    return _many_binary(_runbind_hd, a, b)
