"""Splitting a graph in two with the sign of its Fiedler vector."""

import os
import tempfile

from kelvra import linalg

# Two 4-cliques joined by one edge.
edges = [(i, j) for i in range(4) for j in range(i + 1, 4)]
edges += [(i + 4, j + 4) for i, j in edges] + [(3, 4)]

vector = linalg.fiedler(8, edges)
print("Fiedler vector:", [round(v, 3) for v in vector])
print("parts:", [i for i in range(8) if vector[i] >= 0], [i for i in range(8) if vector[i] < 0])

with tempfile.TemporaryDirectory() as directory:
    path = os.path.join(directory, "edges.bin")
    linalg.write_edge_file(path, edges)
    from_file = linalg.fiedler_file(8, path)
    print("same from the file:", all(abs(a - b) < 1e-12 for a, b in zip(vector, from_file)))
