"""Cascade kernels and oscillators: Kuramoto steps, sign and orientation
helpers, chiral flips and duals, and the parallel sector dispatch.

Operators passed to `chiral_dual` and `sector_dispatch` are Python callables
taking the input values (a float64 numpy array, or a list without numpy) and
returning as many output values. An exception raised by one is kept and
raised again once the library call has returned; the library only sees a
failing status.
"""

import ctypes
import threading

from ._lib import checked, f64_array, f64_p, i64_p, new_f64, numpy, u32_p

__all__ = ["kuramoto_step", "kuramoto_step_general", "kuramoto_order", "pin_slot_at_zero", "magnitude",
           "reorient", "reorient_int", "net_chirality", "chiral_flip", "chiral_flip_int", "chiral_dual",
           "cyclic_gcd", "best_rational_signed", "reverse_order", "sector_dispatch", "SECTORS"]

_u64 = ctypes.c_uint64
_i8 = ctypes.c_int8
i8_p = ctypes.POINTER(ctypes.c_int8)

OP = ctypes.CFUNCTYPE(ctypes.c_uint32, f64_p, _u64, f64_p, ctypes.c_void_p)

_pin_slot = checked("kelvra_cascade_pin_slot_at_zero_f64", ctypes.c_double, i8_p, f64_p)
_magnitude = checked("kelvra_cascade_magnitude_f64", ctypes.c_double, f64_p)
_reorient = checked("kelvra_cascade_reorient_f64", _i8, ctypes.c_double, f64_p)
_reorient_i64 = checked("kelvra_cascade_reorient_i64", _i8, ctypes.c_int64, i64_p)
_net = checked("kelvra_cascade_net_chirality_i8", i8_p, _u64, i8_p)
_flip = checked("kelvra_cascade_chiral_flip_f64", f64_p, _u64, f64_p)
_flip_i64 = checked("kelvra_cascade_chiral_flip_i64", i64_p, _u64, i64_p)
_dual = checked("kelvra_cascade_chiral_dual_f64", OP, ctypes.c_void_p, f64_p, _u64, f64_p, f64_p)
_gcd = checked("kelvra_cascade_cyclic_gcd_u64", _u64, _u64, ctypes.POINTER(_u64))
_best = checked("kelvra_cascade_best_rational_signed_f64", ctypes.c_double, ctypes.c_int64, ctypes.c_int64,
                i64_p, i64_p)
_kuramoto = checked("kelvra_cascade_kuramoto_step_f64", f64_p, f64_p, _u64, ctypes.c_double, ctypes.c_double,
                    f64_p)
_kuramoto_general = checked("kelvra_cascade_kuramoto_step_general_f64", f64_p, f64_p, _u64, f64_p,
                            ctypes.c_double, ctypes.c_double, f64_p, f64_p, ctypes.c_double, f64_p)
_reverse = checked("kelvra_reverse_order", ctypes.c_uint32, u32_p)
_dispatch = checked("kelvra_cascade_parallel_sector_dispatch", OP, ctypes.c_void_p, f64_p, _u64, ctypes.c_uint32,
                    f64_p, f64_p, _u64)

# The symmetry of each dispatch sector as (chirality, orientation): sector s
# computes D_s(op(D_s(x))) with D negating for orientation -1 and reversing
# for chirality -1.
SECTORS = ((1, 1), (1, -1), (-1, 1), (-1, -1))

# Status the library sees when a Python operator fails.
_OPERATOR_FAILED = 2


def _values(values, length=None):
    pointer, array = f64_array(values, length)
    n = array.size if numpy is not None else len(array)
    return pointer, array, n


def _result(array, n):
    return array[:n] if numpy is not None else list(array)[:n]


# --- oscillators -----------------------------------------------------------

def kuramoto_step(theta, omega, coupling, dt):
    """One Euler step of the all-to-all Kuramoto model:
    theta_i + dt (omega_i + coupling / n sum_j sin(theta_j - theta_i))."""
    pt, kt, n = _values(theta)
    po, ko, _ = _values(omega, n)
    pout, out = new_f64(max(n, 1))
    _kuramoto(pt, po, n, coupling, dt, pout)
    return _result(out, n)


def kuramoto_step_general(theta, omega, coupling, dt, weights=None, lag=0.0, drive=None, drive_gain=None):
    """A Kuramoto step with optional n x n weights (entry i, j the pull of j
    on i; the coupling is then not divided by n), phase lag, and an external
    drive phase per oscillator with optional gains (1.0 each without)."""
    pt, kt, n = _values(theta)
    po, ko, _ = _values(omega, n)
    keep = []
    pw = pd = pg = None
    if weights is not None:
        if numpy is None:
            weights = [float(v) for row in weights for v in (row if hasattr(row, "__iter__") else [row])]
        pw, kw = f64_array(weights, n * n)
        keep.append(kw)
    if drive is not None:
        pd, kd = f64_array(drive, n)
        keep.append(kd)
    if drive_gain is not None:
        pg, kg = f64_array(drive_gain, n)
        keep.append(kg)
    pout, out = new_f64(max(n, 1))
    _kuramoto_general(pt, po, n, pw, coupling, lag, pd, pg, dt, pout)
    return _result(out, n)


def kuramoto_order(theta):
    """The order parameter r = |mean of exp(i theta)| (0 incoherent, 1 in phase);
    computed in Python, for watching a simulation."""
    import cmath
    values = list(theta)
    if not values:
        return 0.0
    return abs(sum(cmath.exp(1j * float(t)) for t in values)) / len(values)


# --- signs and orientation -------------------------------------------------

def pin_slot_at_zero(x):
    """(sign 1, 0 or -1, magnitude) of x; NaN and zeros give (0, +0.0)."""
    sign, mag = ctypes.c_int8(), ctypes.c_double()
    _pin_slot(x, ctypes.byref(sign), ctypes.byref(mag))
    return sign.value, mag.value


def magnitude(x):
    """|x|, with +0.0 for zeros and NaN."""
    out = ctypes.c_double()
    _magnitude(x, ctypes.byref(out))
    return out.value


def reorient(sign, x):
    """-x when sign < 0, else x."""
    out = ctypes.c_double()
    _reorient(max(-128, min(127, int(sign))), x, ctypes.byref(out))
    return out.value


def reorient_int(sign, x):
    """Two's-complement -x of a 64-bit integer when sign < 0, else x."""
    out = ctypes.c_int64()
    _reorient_i64(max(-128, min(127, int(sign))), x, ctypes.byref(out))
    return out.value


def net_chirality(signs):
    """Product of the signs (each 1, 0 or -1); 1 for no signs."""
    items = [max(-128, min(127, int(s))) for s in signs]
    array = (ctypes.c_int8 * max(len(items), 1))(*items)
    out = ctypes.c_int8()
    _net(ctypes.cast(array, i8_p), len(items), ctypes.byref(out))
    return out.value


def chiral_flip(values):
    """The values in reverse order."""
    p, k, n = _values(values)
    pout, out = new_f64(max(n, 1))
    _flip(p, n, pout)
    return _result(out, n)


def chiral_flip_int(values):
    """64-bit integers in reverse order (a list)."""
    items = [int(v) for v in values]
    n = len(items)
    source = (ctypes.c_int64 * max(n, 1))(*items)
    out = (ctypes.c_int64 * max(n, 1))()
    _flip_i64(ctypes.cast(source, i64_p), n, ctypes.cast(out, i64_p))
    return list(out)[:n]


def cyclic_gcd(a, b):
    """gcd(a, b) of unsigned 64-bit integers."""
    out = _u64()
    _gcd(a, b, ctypes.byref(out))
    return out.value


def best_rational_signed(x, max_den, scale=1 << 20):
    """(numerator, denominator) of a signed rational near x, found on the grid
    1/scale, with denominator at most max_den."""
    num, den = ctypes.c_int64(), ctypes.c_int64()
    _best(x, max_den, scale, ctypes.byref(num), ctypes.byref(den))
    return num.value, den.value


def reverse_order(n):
    """The permutation n - 1, ..., 1, 0."""
    out = (ctypes.c_uint32 * max(n, 1))()
    _reverse(n, ctypes.cast(out, u32_p))
    return list(out)[:n]


# --- operators -------------------------------------------------------------

class _Operator:
    """A Python operator as a C callback; the first exception it raised is kept."""

    def __init__(self, function):
        self.function = function
        self.failure = None
        self.lock = threading.Lock()
        self.callback = OP(self._call)

    def _call(self, pointer, n, out, _ctx):
        try:
            if numpy is not None:
                values = numpy.ctypeslib.as_array(pointer, (n,)).copy() if n else numpy.zeros(0)
            else:
                values = [pointer[i] for i in range(n)]
            result = self.function(values)
            if numpy is not None:
                result = numpy.asarray(result, dtype=numpy.float64).reshape(-1)
                if result.size != n:
                    raise ValueError("operator returned %d values for %d" % (result.size, n))
                if n:
                    ctypes.memmove(out, result.ctypes.data, 8 * n)
            else:
                result = [float(v) for v in result]
                if len(result) != n:
                    raise ValueError("operator returned %d values for %d" % (len(result), n))
                for i, v in enumerate(result):
                    out[i] = v
            return 0
        except BaseException as failure:  # never let it reach the library
            with self.lock:
                if self.failure is None:
                    self.failure = failure
            return _OPERATOR_FAILED

    def reraise(self):
        if self.failure is not None:
            failure, self.failure = self.failure, None
            raise failure


def chiral_dual(op, values):
    """reverse(op(reverse(values)))."""
    p, k, n = _values(values)
    operator = _Operator(op)
    pout, out = new_f64(max(n, 1))
    pscratch, scratch = new_f64(max(n, 1))
    try:
        _dual(operator.callback, None, p, n, pout, pscratch)
    except Exception:
        operator.reraise()
        raise
    return _result(out, n)


def sector_dispatch(op, values, sectors=4):
    """Runs `op` under the first `sectors` symmetries of SECTORS, one thread
    per sector; row s of the result is D_s(op(D_s(values))). Returns a
    (sectors, n) array (a list of lists without numpy). The operator is
    called from library threads, so it must be safe to call concurrently."""
    p, k, n = _values(values)
    operator = _Operator(op)
    cap = max(sectors, 1) * n
    pout, out = new_f64(max(cap, 1))
    pscratch, scratch = new_f64(max(cap, 1))
    try:
        _dispatch(operator.callback, None, p, n, sectors, pout, pscratch, cap)
    except Exception:
        operator.reraise()
        raise
    if numpy is not None:
        return out[:sectors * n].reshape(sectors, n)
    flat = list(out)
    return [flat[s * n:(s + 1) * n] for s in range(sectors)]
