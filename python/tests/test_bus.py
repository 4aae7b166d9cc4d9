import itertools
import os
import threading

import pytest

from kelvra import CapacityError, KelvraIOError, bus

_counter = itertools.count()


def endpoint():
    return "pytest-%d-%d" % (os.getpid(), next(_counter))


@pytest.fixture
def server():
    started = []

    def start(handler):
        s = bus.serve(endpoint(), handler)
        started.append(s)
        return s

    yield start
    for s in started:
        s.stop(timeout=5)


def test_round_trip_on_a_background_server(server):
    s = server(lambda request: request[::-1])
    with bus.Client(s.name) as client:
        assert client.send_recv(b"hello") == b"olleh"
        assert client.send_recv(bytearray(b"")) == b""
        assert client.send_recv("zz\u00e9") == "zz\u00e9".encode()[::-1]
        big = bytes(range(256)) * 1024
        assert client.send_recv(big) == big[::-1]
    assert client.closed
    client.close()  # closing twice is harmless


def test_handler_exception_ends_the_connection_only(server):
    def handler(request):
        if request == b"boom":
            raise RuntimeError("handler failed")
        return b"ok"

    s = server(handler)
    with bus.Client(s.name) as client:
        with pytest.raises(KelvraIOError):
            client.send_recv(b"boom")
    assert isinstance(s.errors[0], RuntimeError)
    with bus.Client(s.name) as client:  # the server goes on with the next client
        assert client.send_recv(b"fine") == b"ok"


def test_reply_larger_than_capacity(server):
    s = server(lambda request: b"x" * 100)
    client = bus.Client(s.name)
    with pytest.raises(CapacityError):
        client.send_recv(b"?", capacity=10)
    assert client.closed


def test_accept_one_serves_a_single_client():
    s = bus.Server(endpoint(), lambda request: b"<" + request + b">")
    replies = []

    def talk():
        with bus.Client(s.name, timeout=5) as client:
            replies.append(client.send_recv(b"a"))
            replies.append(client.send_recv(b"b"))

    thread = threading.Thread(target=talk)
    thread.start()
    try:
        assert s.accept_one() is True
    finally:
        thread.join(5)
        s.stop()
    assert replies == [b"<a>", b"<b>"]
    assert s.accept_one() is False  # stopped
    s.stop()  # again: nothing


def test_stop_while_a_client_is_connected(server):
    s = server(lambda request: request)
    client = bus.Client(s.name)
    assert client.send_recv(b"1") == b"1"
    s.stop(timeout=5)
    assert not s._thread.is_alive()
    with pytest.raises(KelvraIOError):
        client.send_recv(b"2")
    client.close()


def test_no_server():
    with pytest.raises(KelvraIOError):
        bus.Client(endpoint(), timeout=0)
