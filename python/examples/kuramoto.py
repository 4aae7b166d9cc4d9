"""Kuramoto oscillators falling into step as the coupling grows."""

import random

from kelvra import cascade

rng = random.Random(11)
n = 50
omega = [rng.gauss(1.0, 0.1) for _ in range(n)]
start = [rng.uniform(0.0, 6.283185307179586) for _ in range(n)]

for coupling in (0.0, 0.1, 0.5, 1.0):
    theta = start
    for _ in range(400):
        theta = cascade.kuramoto_step(theta, omega, coupling, 0.05)
    print("coupling %.1f: order parameter %.3f" % (coupling, cascade.kuramoto_order(theta)))
