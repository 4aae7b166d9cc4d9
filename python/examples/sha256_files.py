"""SHA-256 of files given on the command line (this script when none), and a batch."""
import sys

import kelvra.sha256 as sha256

for path in sys.argv[1:] or [__file__]:
    print(sha256.file_hexdigest(path), path)
for message, digest in zip([b"", b"abc"], sha256.batch([b"", b"abc"])):
    print(digest.hex(), repr(message))
