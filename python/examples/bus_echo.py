"""A bus server answering in upper case, and a client talking to it."""

import os

from kelvra import bus

name = "echo-example-%d" % os.getpid()

with bus.serve(name, lambda request: request.upper()) as server:
    with bus.Client(name) as client:
        for word in (b"hello", b"bus", b"world"):
            print(word, "->", client.send_recv(word))
print("server stopped")
