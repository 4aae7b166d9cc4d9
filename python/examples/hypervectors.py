"""Binary hypervectors as a key-value memory, and a Hamming code repairing a flipped bit."""

import random

from kelvra import hdc

NBYTES = 1024  # 8192-bit vectors
rng = random.Random(7)


def random_vector():
    return bytes(rng.getrandbits(8) for _ in range(NBYTES))


keys = {name: random_vector() for name in ("colour", "shape", "size")}
values = {name: random_vector() for name in ("red", "round", "small")}

# One record: the majority of the three key-value bindings.
record = hdc.bundle([hdc.bind(keys[k], values[v]) for k, v in zip(keys, values)])

# Unbinding with a key gives a noisy value; the nearest clean value is the answer.
for key in keys:
    noisy = hdc.bind(record, keys[key])
    best = max(values, key=lambda v: hdc.similarity(noisy, values[v]))
    print("%-6s -> %-5s (similarity %.3f)" % (key, best, hdc.similarity(noisy, values[best])))

data = [1, 0, 1, 1, 0, 0, 1, 0, 1, 1, 1]
code = hdc.hamming_encode(data)
code[6] ^= 1
decoded, syndrome = hdc.hamming_decode(code)
print("flipped bit at position", syndrome, "- data recovered:", list(decoded) == data)
