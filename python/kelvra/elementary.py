"""Elementary functions in Q61 fixed point (the same bits on every
processor), the orbital routines, and element-wise transcendentals over
arrays.
"""

import ctypes

from ._lib import as_list_or_array, checked, f64_array, f64_p, new_f64

__all__ = ["exp", "log", "sin", "cos", "atan", "atan2", "kepler_solve", "equation_of_centre", "pin_slot",
           "elementwise", "OPS"]

D = ctypes.c_double

_exp = checked("kelvra_exp", D, f64_p)
_log = checked("kelvra_log", D, f64_p)
_sin = checked("kelvra_sin", D, f64_p)
_cos = checked("kelvra_cos", D, f64_p)
_atan = checked("kelvra_atan", D, f64_p)
_atan2 = checked("kelvra_atan2", D, D, f64_p)
_kepler = checked("kelvra_kepler_solve", D, D, D, ctypes.c_uint32, f64_p)
_centre = checked("kelvra_equation_of_centre", D, D, ctypes.c_int32, f64_p)
_pin_slot = checked("kelvra_pin_slot", D, D, D, f64_p)
_elementwise = checked("kelvra_elementwise_transcendental", ctypes.c_uint32, f64_p, ctypes.c_uint32, f64_p)

# Operation codes of kelvra_elementwise_transcendental.
OPS = {"exp": 0, "cos": 1, "sin": 2, "log": 3}


def _scalar(function, *args):
    out = D()
    function(*[float(a) for a in args], ctypes.byref(out))
    return out.value


def exp(x):
    """e**x."""
    return _scalar(_exp, x)


def log(x):
    """Natural logarithm; DataError for x <= 0."""
    return _scalar(_log, x)


def sin(x):
    """sin x; DataError for infinite x or |x| >= 2**55."""
    return _scalar(_sin, x)


def cos(x):
    """cos x; DataError for infinite x or |x| >= 2**55."""
    return _scalar(_cos, x)


def atan(x):
    """arctan x in [-pi/2, pi/2]."""
    return _scalar(_atan, x)


def atan2(y, x):
    """The angle of the point (x, y), in (-pi, pi]."""
    return _scalar(_atan2, y, x)


def kepler_solve(mean_anomaly, eccentricity, tolerance=1e-15, max_iterations=50):
    """The eccentric anomaly E with E - e sin E = M, by Newton's method.
    DataError for e outside [0, 1); CapacityError when it has not converged
    within max_iterations."""
    out = D()
    _kepler(float(mean_anomaly), float(eccentricity), float(tolerance), int(max_iterations), ctypes.byref(out))
    return out.value


def equation_of_centre(mean_anomaly, eccentricity, order=6):
    """The equation of the centre (true minus mean anomaly) to the given
    order in e (1..6)."""
    out = D()
    _centre(float(mean_anomaly), float(eccentricity), int(order), ctypes.byref(out))
    return out.value


def pin_slot(angle, radius, offset):
    """The pin-and-slot output angle atan2(r sin t, r cos t + d); DataError
    for r = d = 0."""
    return _scalar(_pin_slot, angle, radius, offset)


def elementwise(op, values):
    """f(x) for every x of `values`, f one of "exp", "cos", "sin", "log" (or
    its code 0..3); a numpy array when numpy is installed, else a list.
    DataError for an unknown code or the log of a value <= 0."""
    code = OPS[op] if isinstance(op, str) else int(op)
    source, keep = f64_array(values)
    n = len(keep)
    out_p, out = new_f64(n)
    _elementwise(n, source, code, out_p)
    return as_list_or_array(out)
