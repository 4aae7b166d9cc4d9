"""The local message bus: framed request/reply exchanges over a named local
byte stream.

A `Client` connects to an endpoint and sends requests, each answered by one
reply::

    with bus.Client("demo") as client:
        reply = client.send_recv(b"ping")

A `Server` answers requests with a Python handler (bytes -> bytes)::

    with bus.serve("demo", lambda request: request.upper()) as server:
        ...                      # served on a background thread until stopped

`Server.accept_one()` serves a single client (all its requests, until it
leaves) on the calling thread instead.

Requests and replies are at most 1 MiB (MAX_MESSAGE). When a handler raises
or returns something that is not a byte string of at most that size, the
server refuses the request, which ends that client's connection (its
`send_recv` raises KelvraIOError); the exception is kept in
`Server.errors`.
"""

import ctypes
import threading
import time

from ._lib import Arena, KelvraIOError, checked, declare, error, input_bytes, status_t, u8_p

__all__ = ["Client", "Server", "serve", "MAX_MESSAGE"]

MAX_MESSAGE = 1 << 20

HANDLER = ctypes.CFUNCTYPE(ctypes.c_uint32, u8_p, ctypes.c_uint32, u8_p, ctypes.POINTER(ctypes.c_uint64),
                           ctypes.c_void_p)

_serve = checked("kelvra_bus_serve", ctypes.c_char_p, HANDLER, ctypes.c_void_p, ctypes.POINTER(ctypes.c_void_p))
_stop = checked("kelvra_bus_server_stop", ctypes.c_void_p)
_connect = checked("kelvra_bus_connect", ctypes.c_char_p, ctypes.POINTER(ctypes.c_void_p))
_close = checked("kelvra_bus_client_close", ctypes.c_void_p)
_accept_one = declare("kelvra_bus_server_accept_one", status_t, ctypes.c_void_p)
_send_recv = declare("kelvra_bus_send_recv", status_t, ctypes.c_void_p, u8_p, ctypes.c_uint64, u8_p,
                     ctypes.POINTER(ctypes.c_uint64))

# Status returned to the library for a refused request.
_REFUSED = 2


def _endpoint(name):
    return name.encode("utf-8") if isinstance(name, str) else bytes(name)


class Client:
    """A connection to a bus endpoint; one request at a time."""

    def __init__(self, name, timeout=2.0):
        """Connects to endpoint `name`. A server listens from its first
        accept on, so a refused connection (KelvraIOError) is retried for up
        to `timeout` seconds (0: once)."""
        self.name = name
        self._handle = ctypes.c_void_p()
        self._reply = Arena()
        deadline = time.monotonic() + timeout
        while True:
            try:
                _connect(_endpoint(name), ctypes.byref(self._handle))
                return
            except KelvraIOError:
                if time.monotonic() >= deadline:
                    raise
                time.sleep(0.01)

    @property
    def closed(self):
        return not self._handle.value

    def send_recv(self, request, capacity=MAX_MESSAGE):
        """Sends one request and returns its reply as bytes. A reply longer
        than `capacity` raises CapacityError and closes the client (the
        unread reply would otherwise answer the next request)."""
        if self.closed:
            raise ValueError("the client is closed")
        pointer, length, _keep = input_bytes(request)
        self._reply.reserve(capacity)
        reply_len = ctypes.c_uint64(capacity)
        status = _send_recv(self._handle, pointer, length, self._reply.pointer, ctypes.byref(reply_len))
        if status != 0:
            if status == 4 and length <= 0xFFFFFFFF:
                self.close()
            raise error(status, "kelvra_bus_send_recv")
        return ctypes.string_at(self._reply.pointer, reply_len.value)

    def close(self):
        """Closes the connection (again: nothing)."""
        if self._handle.value:
            handle, self._handle = self._handle, ctypes.c_void_p()
            _close(handle)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        try:
            self.close()
        except Exception:
            pass


class Server:
    """A bus endpoint answering each request with handler(request_bytes) -> bytes.

    Serve clients with `accept_one` (one client, on the calling thread) or
    `start` (a background thread serving clients one after another until
    `stop`). Handler failures are kept in `errors`."""

    def __init__(self, name, handler):
        self.name = name
        self.handler = handler
        self.errors = []
        self._callback = HANDLER(self._answer)  # kept alive as long as the server
        self._handle = ctypes.c_void_p()
        _serve(_endpoint(name), self._callback, None, ctypes.byref(self._handle))
        self._lock = threading.Lock()    # guards _stopped
        self._stopped = False
        self._thread = None
        self._serving_thread = None

    def _answer(self, request, request_len, reply, reply_len, _user):
        try:
            data = ctypes.string_at(request, request_len) if request_len else b""
            answer = self.handler(data)
            if isinstance(answer, str):
                answer = answer.encode("utf-8")
            answer = bytes(answer)
            if len(answer) > reply_len[0]:
                raise ValueError("reply of %d bytes exceeds the %d available" % (len(answer), reply_len[0]))
            if answer:
                ctypes.memmove(reply, answer, len(answer))
            reply_len[0] = len(answer)
            return 0
        except BaseException as failure:  # never let it reach the library
            self.errors.append(failure)
            return _REFUSED

    @property
    def stopped(self):
        return self._stopped

    def accept_one(self):
        """Waits for one client and serves it until it leaves. True when a
        client was served, False when the server was stopped meanwhile."""
        with self._lock:
            if self._stopped:
                return False
            handle = self._handle
            self._serving_thread = threading.get_ident()
        try:
            # A stop from another thread ends this call; a call that starts
            # just after the stop finds the server gone and returns 3.
            status = _accept_one(handle)
        finally:
            self._serving_thread = None
        if status != 0:
            if self._stopped:
                return False
            raise error(status, "kelvra_bus_server_accept_one")
        return True

    def serve_forever(self):
        """Serves clients one after another until the server is stopped."""
        while self.accept_one():
            pass

    def start(self):
        """Serves clients on a background (daemon) thread; returns self."""
        if self._thread is not None:
            raise RuntimeError("the server is already running")
        self._thread = threading.Thread(target=self.serve_forever, name="kelvra-bus-%s" % self.name, daemon=True)
        self._thread.start()
        return self

    def stop(self, timeout=10.0):
        """Stops the server, ending an exchange in progress after its reply,
        and frees it; joins the background thread. Not from inside the handler."""
        if self._serving_thread == threading.get_ident():
            raise RuntimeError("stop() cannot be called from the handler")
        with self._lock:
            if self._stopped:
                return
            self._stopped = True
        _stop(self._handle)
        if self._thread is not None and self._thread is not threading.current_thread():
            self._thread.join(timeout)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def serve(name, handler):
    """A started Server answering requests at `name` with handler(bytes) -> bytes."""
    return Server(name, handler).start()
