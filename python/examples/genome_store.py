"""A genome store in a temporary directory: save, read, edit, bundle."""
import os
import tempfile

from kelvra.genome import Genome, cap, leaf

with tempfile.TemporaryDirectory() as root:
    g = Genome(os.path.join(root, "genome"), the_one=b"ONE-ID-8")
    os.mkdir(g.directory)
    g.save(cap("alpha") + leaf(b"a1") + leaf(b"a2") + cap("beta") + leaf(b"b1"))
    g.append("gamma", cap("gamma") + leaf(b"g1"))
    for entry in g.chromosomes():
        print(entry["label"], "offset", entry["byte_offset"], "bytes", entry["byte_len"], "leaves", entry["leaf_count"])
    print("window beta:", g.window("beta"))
    g.remove("alpha")
    parts = os.path.join(root, "parts")
    os.mkdir(parts)
    g.explode(parts)
    print("bundles:", sorted(os.listdir(parts)))
    copy = Genome(os.path.join(root, "copy"), the_one=b"ONE-ID-8")
    os.mkdir(copy.directory)
    copy.pack(parts)
    print("packed copy matches:", copy.load() == g.load())
