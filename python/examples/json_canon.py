"""Canonical JSON: parse, write sorted one-line text, round trip."""
import kelvra.json as kj

text = '{"name": "kelvra", "tags": ["exact", "fast"], "version": {"minor": 8, "major": 0}, "ratio": 0.5}'
doc = kj.loads(text)
print("parsed:", doc)
print("canonical:", kj.dumps(doc))
print("same from text:", kj.canonicalize(text) == kj.dumps(doc))
