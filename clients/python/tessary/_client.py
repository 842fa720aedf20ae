"""The blocking client over TCP."""
from __future__ import annotations

import collections
import socket
import threading
import time
from typing import Any, Callable, Deque, Iterator, Optional

from ._protocol import (AnswerTimeout, Commands, ConnectionClosed, Event, Exchange, Framer,
                        Message, TessaryError, _text, frame, parse)


class Client(Commands):
    """A connection to Tessary. Every method sends one command and waits until
    Tessary has taken it: queries return their answer, a refused command raises
    CommandError. Hits, motion amounts and status messages that come meanwhile
    wait for events(). One thread at a time."""

    def __init__(self, sock: socket.socket, timeout: float):
        self.timeout = timeout
        self._socket: Optional[socket.socket] = sock
        self._framer = Framer()
        self._messages: Deque[Message] = collections.deque()
        self._events: Deque[Event] = collections.deque()
        self._lock = threading.Lock()
        self._closed_because = ""

    # --- connection -------------------------------------------------------------

    def close(self) -> None:
        """Ends the connection; Tessary then removes the zones and resets the
        client's settings."""
        self._end("the client closed the connection")

    @property
    def closed(self) -> bool:
        return self._socket is None

    def __enter__(self) -> "Client":
        return self

    def __exit__(self, *exc: Any) -> None:
        self.close()

    def _end(self, reason: str) -> None:
        if self._socket is not None:
            self._closed_because = reason
            try:
                self._socket.close()
            finally:
                self._socket = None

    # --- events -----------------------------------------------------------------

    def events(self, timeout: Optional[float] = None) -> Iterator[Event]:
        """Yields events as they come: first those that came while commands
        waited. Ends after `timeout` seconds, or without one when the
        connection ends."""
        deadline = None if timeout is None else time.monotonic() + timeout
        while True:
            if self._events:
                yield self._events.popleft()
                continue
            try:
                message = self._next(deadline)
            except ConnectionClosed:
                return
            if message is None:
                return
            if message.kind == "error":
                yield Event("error", None, message.value)
            elif message.kind in ("hit", "motion", "status", "message"):
                yield message.event()

    # --- commands ---------------------------------------------------------------

    def _run(self, statement: str, answer: Optional[str] = None,
             convert: Optional[Callable[[Any], Any]] = None) -> Any:
        with self._lock:
            exchange = Exchange(statement, answer)
            self._send(exchange.text)
            deadline = time.monotonic() + self.timeout
            while True:
                message = self._next(deadline)
                if message is None:
                    self._end("no answer in time")
                    raise AnswerTimeout("Tessary did not answer %s within %g s; the connection "
                                        "is closed" % (exchange.shown, self.timeout))
                if exchange.take(message):
                    break
            self._events.extend(exchange.events)
            exchange.events.clear()
            return exchange.result(convert)

    def _send(self, text: str) -> None:
        if self._socket is None:
            raise ConnectionClosed("not connected: " + self._closed_because)
        try:
            self._socket.settimeout(self.timeout)
            self._socket.sendall(frame(text))
        except OSError as error:
            self._end("Tessary went away (%s)" % error)
            raise ConnectionClosed("Tessary went away (%s)" % error) from None

    def _next(self, deadline: Optional[float]) -> Optional[Message]:
        """The next message; None when the deadline passed first."""
        while not self._messages:
            if self._socket is None:
                raise ConnectionClosed("not connected: " + self._closed_because)
            left = None if deadline is None else deadline - time.monotonic()
            if left is not None and left <= 0:
                return None
            self._socket.settimeout(left)
            try:
                data = self._socket.recv(4096)
            except socket.timeout:
                return None
            except OSError as error:
                self._end("Tessary went away (%s)" % error)
                raise ConnectionClosed(self._closed_because) from None
            if not data:
                self._end("Tessary closed the connection")
                raise ConnectionClosed(self._closed_because)
            self._messages.extend(parse(text) for text in self._framer.feed(data))
        return self._messages.popleft()


def connect(host: str = "127.0.0.1", port: int = 2152, code: Optional[str] = None, *,
            timeout: float = 10.0, login_timeout: float = 40.0) -> Client:
    """Connects, chooses the script form of the messages and logs in with
    `code` (when given). Raises LoginError after Tessary's answer to a wrong
    code. `timeout` bounds the connecting and each command's answer;
    `login_timeout` the login's answer, which Tessary paces after wrong codes
    and which waits while another client holds the seat."""
    if code is not None:
        _text(code, "the login code")
    sock = socket.create_connection((host, port), timeout=timeout)
    client = Client(sock, timeout)
    try:
        client.timeout = login_timeout
        if code is None:
            client._run("set_data_type(commands)")
        else:
            client._run("set_data_type(commands);login(%s)" % code, "login")
    except TessaryError:
        client.close()
        raise
    finally:
        client.timeout = timeout
    return client
