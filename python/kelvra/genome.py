"""The genome store: a directory holding "turns.bin" (a body of fixed-width
records) and "manifest.json" (its attested catalogue).

A body is a run of records of `leaf_dim` bytes each. A record whose first
byte is "C" is a cap: it opens a chromosome and carries its label (the bytes
after the "C" up to the first NUL). Records of kind "G" lengthen a region
without counting as leaves; every other record is a leaf. `the_one` is the
genome's identity record, leaf_dim bytes long: writes need it, reads only
when the manifest must be derived from the body.

    g = Genome("store", the_one=b"\\x01" * 8)
    g.save(cap("alpha", 8) + leaf(b"x", 8))
    g.catalog()["data"]["chromosomes"]

Arenas are sized with kelvra_genome_arena_bytes from the sizes on disk, and
grown when the library still reports them too small.
"""

import ctypes
import os

from ._lib import CapacityError, byte_buffer, checked, declare, input_bytes, u8_p, u64_p
from .json import to_python

__all__ = ["Genome", "record", "cap", "leaf", "arena_bytes", "BODY_FILE", "MANIFEST_FILE", "BUNDLE_SUFFIX"]

BODY_FILE = "turns.bin"
MANIFEST_FILE = "manifest.json"
BUNDLE_SUFFIX = ".chr"
CAP_KIND = b"C"
NON_LEAF_KIND = b"G"

U64, U32 = ctypes.c_uint64, ctypes.c_uint32
_path = ctypes.c_char_p

arena_bytes = declare("kelvra_genome_arena_bytes", U64, U64, U32, U64)
_save = checked("kelvra_genome_save", _path, u8_p, U64, U32, u8_p, U64, u8_p, U64)
_load = checked("kelvra_genome_load", _path, u8_p, U64, u64_p, u8_p, U64, u8_p, U64)
_catalog = checked("kelvra_genome_catalog", _path, u8_p, U64, u8_p, U64, ctypes.POINTER(ctypes.c_void_p))
_window = checked("kelvra_genome_window", _path, _path, u8_p, U64, u64_p, u8_p, U64, u8_p, U64)
_append = checked("kelvra_genome_append", _path, _path, u8_p, U64, U32, u8_p, U64, u8_p, U64)
_remove = checked("kelvra_genome_remove", _path, _path, u8_p, U64, u8_p, U64)
_replace = checked("kelvra_genome_replace", _path, _path, u8_p, U64, U32, u8_p, U64, u8_p, U64)
_export = checked("kelvra_genome_export", _path, _path, _path, u8_p, U64, u8_p, U64)
_import = checked("kelvra_genome_import", _path, _path, u8_p, U64, u8_p, U64)
_explode = checked("kelvra_genome_explode", _path, _path, u8_p, U64, u8_p, U64)
_pack = checked("kelvra_genome_pack", _path, _path, u8_p, U64, u8_p, U64)

# Doublings of a computed arena before a capacity failure is passed on.
_GROWTH_STEPS = 3


def record(kind, payload=b"", leaf_dim=8):
    """One record: the kind byte, then payload, NUL-padded to leaf_dim bytes."""
    if isinstance(kind, str):
        kind = kind.encode("ascii")
    if isinstance(kind, int):
        kind = bytes([kind])
    if isinstance(payload, str):
        payload = payload.encode("utf-8")
    data = bytes(kind) + bytes(payload)
    if len(kind) != 1 or len(data) > leaf_dim:
        raise ValueError("a record is one kind byte and at most leaf_dim - 1 payload bytes")
    return data.ljust(leaf_dim, b"\0")


def cap(label, leaf_dim=8):
    """The cap record opening chromosome `label`."""
    return record(CAP_KIND, label, leaf_dim)


def leaf(payload=b"", leaf_dim=8, kind=b"L"):
    """A leaf record (any kind other than "C" and "G")."""
    return record(kind, payload, leaf_dim)


def _fs(path):
    return os.fsencode(os.fspath(path))


def _size(path):
    try:
        return os.path.getsize(path)
    except OSError:
        return 0


def _count_caps(body, leaf_dim):
    return sum(1 for at in range(0, len(body), leaf_dim) if body[at:at + 1] == CAP_KIND) if leaf_dim else 0


class Genome:
    """A genome directory. `the_one` (bytes, leaf_dim long) is required for
    writes; reads use it only to derive a missing manifest."""

    def __init__(self, directory, the_one=None):
        self.directory = os.fspath(directory)
        if isinstance(the_one, str):
            the_one = the_one.encode("utf-8")
        self.the_one = None if the_one is None else bytes(the_one)

    def __repr__(self):
        return "Genome(%r)" % self.directory

    @property
    def leaf_dim(self):
        """The record width: the length of the_one."""
        if self.the_one is None:
            raise ValueError("this genome was opened without the_one")
        return len(self.the_one)

    # ---- sizing --------------------------------------------------------------

    def _stored(self):
        return _size(os.path.join(self.directory, BODY_FILE))

    def _chromosome_estimate(self):
        """An upper estimate of the stored chromosome count: from the manifest's
        length (each entry takes well over 128 bytes), else by counting caps."""
        manifest = _size(os.path.join(self.directory, MANIFEST_FILE))
        if manifest:
            return manifest // 128 + 1
        if self.the_one:
            try:
                with open(os.path.join(self.directory, BODY_FILE), "rb") as stream:
                    return _count_caps(stream.read(), len(self.the_one)) + 1
            except OSError:
                pass
        return 1

    def _one(self, required=False):
        if self.the_one is None:
            if required:
                raise ValueError("this operation writes the genome and needs the_one")
            return None, 0, None
        return input_bytes(self.the_one)

    @staticmethod
    def _run(call, body_bytes, chromosomes, extra_bytes=0):
        """call(arena pointer, capacity) with a computed arena, grown on
        CapacityError a few times."""
        size = arena_bytes(body_bytes, min(chromosomes, 0xFFFFFFFF), extra_bytes)
        for step in range(_GROWTH_STEPS + 1):
            buffer, pointer = byte_buffer(size)
            try:
                return call(pointer, size), buffer
            except CapacityError:
                if step == _GROWTH_STEPS:
                    raise
                size *= 2

    # ---- writes and reads of the whole body ------------------------------------

    def save(self, body):
        """Writes body (whole records) and its manifest, replacing both files."""
        one, one_len, keep_one = self._one(required=True)
        body = _as_bytes(body)
        data, length, keep = input_bytes(body)
        chromosomes = _count_caps(body, one_len)
        self._run(lambda arena, cap_: _save(_fs(self.directory), data, length, one_len, one, one_len, arena, cap_),
                  length, chromosomes)

    def load(self):
        """The whole body, its digest verified against the manifest."""
        one, one_len, keep_one = self._one()
        stored = self._stored()
        out, out_p = byte_buffer(stored)
        got = U64()
        self._run(lambda arena, cap_: _load(_fs(self.directory), out_p, stored, ctypes.byref(got), one, one_len,
                                            arena, cap_), stored, self._chromosome_estimate())
        return out.raw[:got.value]

    def catalog(self):
        """The manifest as Python values (derived from the body when the
        manifest file is missing and the_one is known)."""
        one, one_len, keep_one = self._one()
        root = ctypes.c_void_p()
        status, arena = self._run(lambda arena, cap_: _catalog(_fs(self.directory), one, one_len, arena, cap_,
                                                               ctypes.byref(root)),
                                  self._stored(), self._chromosome_estimate())
        return to_python(root.value)  # the tree lives in `arena`, alive until here

    def chromosomes(self):
        """The catalogue's chromosome entries, in body order."""
        return self.catalog()["data"]["chromosomes"]

    def labels(self):
        """The chromosome labels, in body order."""
        return [entry["label"] for entry in self.chromosomes()]

    def window(self, label):
        """One chromosome's region (its cap record verified, not the whole body)."""
        one, one_len, keep_one = self._one()
        stored = self._stored()
        out, out_p = byte_buffer(stored)
        got = U64()
        self._run(lambda arena, cap_: _window(_fs(self.directory), _label(label), out_p, stored, ctypes.byref(got),
                                              one, one_len, arena, cap_), stored, self._chromosome_estimate())
        return out.raw[:got.value]

    # ---- edits -----------------------------------------------------------------

    def append(self, label, records):
        """Adds records (a new chromosome `label`, cap first) at the end."""
        self._insert(_append, label, records)

    def replace(self, label, records):
        """Puts records in place of chromosome `label`'s region (records may be empty)."""
        self._insert(_replace, label, records)

    def _insert(self, function, label, records):
        one, one_len, keep_one = self._one(required=True)
        records = _as_bytes(records)
        data, length, keep = input_bytes(records)
        self._run(lambda arena, cap_: function(_fs(self.directory), _label(label), data, length, one_len, one,
                                               one_len, arena, cap_),
                  self._stored() + length, self._chromosome_estimate() + _count_caps(records, one_len), length)

    def remove(self, label):
        """Deletes chromosome `label`'s region (never the last chromosome)."""
        one, one_len, keep_one = self._one(required=True)
        self._run(lambda arena, cap_: _remove(_fs(self.directory), _label(label), one, one_len, arena, cap_),
                  self._stored(), self._chromosome_estimate())

    # ---- bundles -----------------------------------------------------------------

    def export(self, label, path=None):
        """Writes a self-verifying bundle of chromosome `label` to `path`
        (default: label + ".chr" in the current directory); returns the path."""
        if path is None:
            path = label + BUNDLE_SUFFIX
        one, one_len, keep_one = self._one()
        stored = self._stored()
        self._run(lambda arena, cap_: _export(_fs(self.directory), _label(label), _fs(path), one, one_len, arena,
                                              cap_), stored, self._chromosome_estimate(), stored)
        return path

    def import_bundle(self, path):
        """Verifies the bundle at `path` and adds its chromosome, creating the
        genome when the directory holds none."""
        one, one_len, keep_one = self._one()
        bundle = _size(path)
        self._run(lambda arena, cap_: _import(_fs(path), _fs(self.directory), one, one_len, arena, cap_),
                  self._stored() + bundle, self._chromosome_estimate() + 1, bundle)

    def explode(self, out_dir):
        """Writes one bundle per chromosome into out_dir (label + ".chr")."""
        one, one_len, keep_one = self._one()
        stored = self._stored()
        self._run(lambda arena, cap_: _explode(_fs(self.directory), _fs(out_dir), one, one_len, arena, cap_),
                  stored, self._chromosome_estimate(), stored)

    def pack(self, in_dir):
        """Imports every bundle of in_dir, in label order, saving once."""
        one, one_len, keep_one = self._one()
        bundles = [os.path.join(in_dir, name) for name in os.listdir(in_dir)]
        sizes = [_size(path) for path in bundles]
        largest = max(sizes, default=0)
        self._run(lambda arena, cap_: _pack(_fs(in_dir), _fs(self.directory), one, one_len, arena, cap_),
                  self._stored() + sum(sizes), self._chromosome_estimate() + len(bundles), largest)


def _as_bytes(data):
    return data if isinstance(data, bytes) else memoryview(data).cast("B").tobytes()


def _label(label):
    encoded = label.encode("utf-8") if isinstance(label, str) else bytes(label)
    if b"\0" in encoded:
        raise ValueError("a label cannot hold a NUL byte")
    return encoded
