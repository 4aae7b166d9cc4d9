"""Hypervectors and the Hamming code.

Three families of hypervectors:

* binary: packed bits, one vector a byte string (``bind`` is XOR, ``bundle``
  the bitwise majority of an odd number of vectors, ``permute`` a cyclic
  rotation of the bits, ``similarity`` 1 - 2 hamming / bits);
* Klein-four: one element 0..3 a byte (``klein4_*``);
* polar: one element -1, 0 or +1 a signed byte (``polar_*``).

Vectors may be bytes, bytearray, memoryview, numpy uint8/int8 arrays or
sequences of small integers. Results are numpy arrays when numpy is
installed; without it binary and Klein-four results are bytes and polar
results lists of ints.

The Hamming code of length 2^r - 1 works on unpacked bits (one 0/1 a byte).
"""

import ctypes

from ._lib import byte_buffer, checked, input_bytes, numpy, u8_p, u32_p

__all__ = ["bind", "bundle", "permute", "similarity",
           "klein4_bind", "klein4_bundle", "klein4_similarity", "klein4_triality", "Klein4Accumulator",
           "klein4_cooccurrence", "polar_bind", "polar_bundle", "polar_density", "polar_similarity",
           "hamming_encode", "hamming_syndrome", "hamming_decode"]

i8_p = ctypes.POINTER(ctypes.c_int8)
f64_out = ctypes.POINTER(ctypes.c_double)

_bind = checked("kelvra_hdc_bind", u8_p, u8_p, ctypes.c_uint32, u8_p)
_bundle = checked("kelvra_hdc_bundle", ctypes.POINTER(u8_p), ctypes.c_uint32, ctypes.c_uint32, u8_p)
_permute = checked("kelvra_hdc_permute", u8_p, ctypes.c_uint32, ctypes.c_int32, u8_p)
_similarity = checked("kelvra_hdc_similarity", u8_p, u8_p, ctypes.c_uint32, f64_out)
_k4_bind = checked("kelvra_klein4_bind", u8_p, u8_p, ctypes.c_uint32, u8_p)
_k4_bundle = checked("kelvra_klein4_bundle", ctypes.POINTER(u8_p), ctypes.c_uint32, ctypes.c_uint32, u8_p)
_k4_accumulate = checked("kelvra_klein4_bundle_accumulate", u32_p, u8_p, ctypes.c_uint64)
_k4_resolve = checked("kelvra_klein4_bundle_resolve", u32_p, u8_p, ctypes.c_uint64)
_k4_fold = checked("kelvra_klein4_cooccurrence_fold", u8_p, ctypes.c_uint32, u32_p, ctypes.c_uint32,
                   ctypes.c_uint32, ctypes.c_uint64, u32_p)
_k4_similarity = checked("kelvra_klein4_similarity", u8_p, u8_p, ctypes.c_uint32, f64_out)
_k4_triality = checked("kelvra_klein4_triality_cycle", u8_p, ctypes.c_uint32, ctypes.c_int32, u8_p)
_p_bind = checked("kelvra_polar_bind", i8_p, i8_p, ctypes.c_uint32, i8_p)
_p_bundle = checked("kelvra_polar_bundle", ctypes.POINTER(i8_p), ctypes.c_uint32, ctypes.c_uint32, i8_p)
_p_density = checked("kelvra_polar_density", i8_p, ctypes.c_uint32, f64_out)
_p_similarity = checked("kelvra_polar_similarity", i8_p, i8_p, ctypes.c_uint32, ctypes.c_int32, f64_out)
_h_encode = checked("kelvra_hamming_encode", u8_p, ctypes.c_uint64, ctypes.c_int32, u8_p)
_h_syndrome = checked("kelvra_hamming_syndrome", u8_p, ctypes.c_uint64, u32_p)
_h_decode = checked("kelvra_hamming_decode_correct", u8_p, ctypes.c_uint64, u8_p, u32_p)


# --- conversions -----------------------------------------------------------

def _bytes_in(values, signed=False):
    """(pointer, length, keep-alive) of a vector of one-byte elements."""
    if isinstance(values, (bytes, bytearray, memoryview)):
        return input_bytes(values)
    if numpy is not None and isinstance(values, numpy.ndarray):
        if values.dtype.itemsize != 1:
            values = values.astype(numpy.int8 if signed else numpy.uint8)
        return input_bytes(numpy.ascontiguousarray(values).reshape(-1))
    items = list(values)
    if signed:
        return input_bytes(bytes(int(v) & 0xFF for v in items))
    return input_bytes(bytes(items))


def _same_length(*vectors):
    lengths = {len_ for _, len_, _ in vectors}
    if len(lengths) != 1:
        raise ValueError("vectors differ in length: %s" % sorted(lengths))
    return lengths.pop()


class _Out:
    """A zeroed output vector of n one-byte elements."""

    def __init__(self, n, signed=False):
        self.n = n
        self.signed = signed
        if numpy is not None:
            self.array = numpy.zeros(n, dtype=numpy.int8 if signed else numpy.uint8)
            self.pointer = self.array.ctypes.data_as(u8_p)
        else:
            self.array, self.pointer = byte_buffer(n)

    def as_(self, pointer_type):
        return ctypes.cast(self.pointer, pointer_type)

    def result(self):
        if numpy is not None:
            return self.array
        raw = self.array.raw[:self.n]
        if self.signed:
            return [b - 256 if b > 127 else b for b in raw]
        return raw


def _pointer_table(vectors, signed=False):
    """A C array of pointers to equally long vectors, their length and keep-alives."""
    views = [_bytes_in(v, signed) for v in vectors]
    if not views:
        raise ValueError("no vectors given")
    n = _same_length(*views)
    kind = i8_p if signed else u8_p
    table = (kind * len(views))(*[ctypes.cast(p, kind) for p, _, _ in views])
    return table, len(views), n, views


def _pairwise(function, a, b):
    """function(a, b, n, out) over two vectors of one length; the result vector."""
    pa, pb = _bytes_in(a), _bytes_in(b)
    n = _same_length(pa, pb)
    out = _Out(n)
    function(pa[0], pb[0], n, out.pointer)
    return out.result()


def _majority(function, vectors):
    """function(table, count, n, out) over a list of vectors; the result vector."""
    table, count, n, _keep = _pointer_table(vectors)
    out = _Out(n)
    function(table, count, n, out.pointer)
    return out.result()


def _similarity_of(function, a, b):
    """function(a, b, n, &value) over two vectors of one length; the value."""
    pa, pb = _bytes_in(a), _bytes_in(b)
    n = _same_length(pa, pb)
    value = ctypes.c_double()
    function(pa[0], pb[0], n, ctypes.byref(value))
    return value.value


# --- binary hypervectors ---------------------------------------------------

def bind(a, b):
    """a XOR b of two packed binary hypervectors."""
    return _pairwise(_bind, a, b)


def bundle(vectors):
    """Bitwise majority of an odd number of packed hypervectors."""
    return _majority(_bundle, vectors)


def permute(vector, shift):
    """The vector's bits rotated cyclically by `shift` towards higher indices
    (negative shifts rotate the other way)."""
    p, n, _keep = _bytes_in(vector)
    out = _Out(n)
    _permute(p, n, shift, out.pointer)
    return out.result()


def similarity(a, b):
    """1 - 2 hamming(a, b) / bits: 1.0 for equal vectors, -1.0 for complements."""
    return _similarity_of(_similarity, a, b)


# --- Klein-four hypervectors -----------------------------------------------

def klein4_bind(a, b):
    """Element-wise group product (XOR of elements 0..3)."""
    return _pairwise(_k4_bind, a, b)


def klein4_bundle(vectors):
    """Per-bit majority of Klein-four vectors (a tie clears the bit)."""
    return _majority(_k4_bundle, vectors)


def klein4_similarity(a, b):
    """Fraction of equal elements."""
    return _similarity_of(_k4_similarity, a, b)


def klein4_triality(vector, inverse=False):
    """Cycles the three non-identity elements (1 -> 2 -> 3 -> 1, or back with `inverse`)."""
    p, n, _keep = _bytes_in(vector)
    out = _Out(n)
    _k4_triality(p, n, 1 if inverse else 0, out.pointer)
    return out.result()


def _counters(count):
    if numpy is not None:
        array = numpy.zeros(count, dtype=numpy.uint32)
        return array, array.ctypes.data_as(u32_p)
    array = (ctypes.c_uint32 * max(count, 1))()
    return array, ctypes.cast(array, u32_p)


class Klein4Accumulator:
    """A running Klein-four bundle of vectors of `n` elements: add vectors one
    at a time, then `resolve` the majority."""

    def __init__(self, n):
        if n < 1:
            raise ValueError("n must be at least 1")
        self.n = n
        self.counters, self._pointer = _counters(2 * n + 1)

    def add(self, vector):
        p, length, _keep = _bytes_in(vector)
        if length != self.n:
            raise ValueError("expected %d elements, got %d" % (self.n, length))
        _k4_accumulate(self._pointer, p, self.n)
        return self

    def resolve(self):
        out = _Out(self.n)
        _k4_resolve(self._pointer, out.pointer, self.n)
        return out.result()


def klein4_cooccurrence(codebook, tokens, window):
    """Accumulator rows (one per vocabulary entry, 2 dim + 1 counters each)
    from a token stream: `codebook` is vocab x dim elements (a 2-D array, or a
    sequence of equally long vectors), `tokens` ids below vocab. Returns a
    (vocab, 2 dim + 1) uint32 array (a list of lists without numpy)."""
    if numpy is not None and isinstance(codebook, numpy.ndarray) and codebook.ndim == 2:
        vocab, dim = codebook.shape
        pc = _bytes_in(codebook)
    else:
        rows = [bytes(row) for row in codebook]
        vocab = len(rows)
        dim = len(rows[0]) if rows else 0
        if any(len(r) != dim for r in rows):
            raise ValueError("codebook rows differ in length")
        pc = input_bytes(b"".join(rows))
    token_list = list(tokens) if not (numpy is not None and isinstance(tokens, numpy.ndarray)) else tokens
    if numpy is not None:
        token_array = numpy.ascontiguousarray(token_list, dtype=numpy.uint32)
        token_pointer = token_array.ctypes.data_as(u32_p)
    else:
        token_array = (ctypes.c_uint32 * max(len(token_list), 1))(*token_list)
        token_pointer = ctypes.cast(token_array, u32_p)
    width = 2 * dim + 1
    table, table_pointer = _counters(vocab * width)
    _k4_fold(pc[0], vocab, token_pointer, len(token_list), window, dim, table_pointer)
    if numpy is not None:
        return table.reshape(vocab, width)
    flat = list(table)
    return [flat[i * width:(i + 1) * width] for i in range(vocab)]


# --- polar hypervectors ----------------------------------------------------

def polar_bind(a, b):
    """Element-wise product of two polar vectors."""
    pa, pb = _bytes_in(a, True), _bytes_in(b, True)
    n = _same_length(pa, pb)
    out = _Out(n, signed=True)
    _p_bind(ctypes.cast(pa[0], i8_p), ctypes.cast(pb[0], i8_p), n, out.as_(i8_p))
    return out.result()


def polar_bundle(vectors):
    """Sign of the element-wise sum of polar vectors."""
    table, count, n, _keep = _pointer_table(vectors, signed=True)
    out = _Out(n, signed=True)
    _p_bundle(table, count, n, out.as_(i8_p))
    return out.result()


def polar_density(vector):
    """Fraction of non-zero elements."""
    p, n, _keep = _bytes_in(vector, True)
    value = ctypes.c_double()
    _p_density(ctypes.cast(p, i8_p), n, ctypes.byref(value))
    return value.value


def polar_similarity(a, b, nonzero_only=False):
    """Fraction of agreeing positions (only where both are non-zero with `nonzero_only`)."""
    pa, pb = _bytes_in(a, True), _bytes_in(b, True)
    n = _same_length(pa, pb)
    value = ctypes.c_double()
    _p_similarity(ctypes.cast(pa[0], i8_p), ctypes.cast(pb[0], i8_p), n, 1 if nonzero_only else 0,
                  ctypes.byref(value))
    return value.value


# --- Hamming code ----------------------------------------------------------

def _parity_bits(n):
    """r with n = 2^r - 1, or None."""
    r = (n + 1).bit_length() - 1
    return r if n >= 1 and (1 << r) == n + 1 else None


def hamming_encode(data, r=None):
    """The 2^r - 1 code bits for k = 2^r - 1 - r data bits (one 0/1 a byte).
    Without `r`, the r that fits the number of data bits is used."""
    p, k, _keep = _bytes_in(data)
    if r is None:
        r = 2
        while (1 << r) - 1 - r < k and r < 17:
            r += 1
    n = (1 << r) - 1 if 0 < r < 32 else 0
    out = _Out(max(n, 1))
    _h_encode(p, k, r, out.pointer)
    result = out.result()
    return result[:n]


def hamming_syndrome(code):
    """Position (1-based) of a single flipped bit, 0 for a codeword."""
    p, n, _keep = _bytes_in(code)
    syndrome = ctypes.c_uint32()
    _h_syndrome(p, n, ctypes.byref(syndrome))
    return syndrome.value


def hamming_decode(code):
    """(data bits with a single error corrected, syndrome) of 2^r - 1 code bits."""
    p, n, _keep = _bytes_in(code)
    r = _parity_bits(n)
    k = n - r if r else 0
    out = _Out(max(k, 1))
    syndrome = ctypes.c_uint32()
    _h_decode(p, n, out.pointer, ctypes.byref(syndrome))
    return out.result()[:k], syndrome.value
