"""The asyncio client: the same methods as tessary.Client, awaited.

    import asyncio, tessary.aio

    async def main():
        async with tessary.aio.connect("127.0.0.1", 2152, code="s3cret") as c:
            await c.display_size(160, 120)
            await c.add("door", 20, 50, 120, 20)
            async for e in c.events(timeout=3.0):
                if e.kind == "hit":
                    print(e.zone)

    asyncio.run(main())
"""
from __future__ import annotations

import asyncio
import collections
from typing import Any, AsyncIterator, Callable, Deque, Generator, Optional

from ._protocol import (LONGEST_TEXT, AnswerTimeout, Commands, ConnectionClosed, Event, Exchange,
                        Message, TessaryError, _text, frame, parse)

__all__ = ["connect", "Client"]


class _Pending:
    """A command on its way: its exchange, the future its caller awaits, and
    how long it may wait for the answer."""

    def __init__(self, exchange: Exchange, future: asyncio.Future, timeout: float):
        self.exchange = exchange
        self.future = future
        self.timeout = timeout
        self.size = len(frame(exchange.text))


class Client(Commands):
    """As tessary.Client; every command method is a coroutine. One task reads
    the connection: it hands each command its answer and queues the events
    (the latest 10,000 of them, when nobody reads them). Commands called
    while others are answered leave together, as one text, so they take one
    of Tessary's ticks between them."""

    EVENTS_KEPT = 10000

    def __init__(self, reader: asyncio.StreamReader, writer: asyncio.StreamWriter,
                 timeout: float):
        self.timeout = timeout
        self._writer: Optional[asyncio.StreamWriter] = writer
        self._events: Deque[Event] = collections.deque(maxlen=self.EVENTS_KEPT)
        self._events_waiting = asyncio.Event()
        self._queue: Deque[_Pending] = collections.deque()
        self._in_flight: Deque[_Pending] = collections.deque()
        self._timer: Optional[asyncio.TimerHandle] = None
        self._send_pending = False
        self._closed_because = ""
        self._reader_task = asyncio.ensure_future(self._read(reader))

    async def close(self) -> None:
        """Ends the connection; Tessary then removes the zones and resets the
        client's settings."""
        self._end("the client closed the connection")
        await asyncio.gather(self._reader_task, return_exceptions=True)

    @property
    def closed(self) -> bool:
        return self._writer is None

    async def __aenter__(self) -> "Client":
        return self

    async def __aexit__(self, *exc: Any) -> None:
        await self.close()

    def _end(self, reason: str) -> None:
        if self._writer is None:
            return
        self._closed_because = reason
        self._writer.close()
        self._writer = None
        if self._reader_task is not asyncio.current_task():
            self._reader_task.cancel()
        if self._timer is not None:
            self._timer.cancel()
        for pending in (*self._in_flight, *self._queue):
            if not pending.future.done():
                pending.future.set_exception(ConnectionClosed(reason))
        self._in_flight.clear()
        self._queue.clear()
        self._events_waiting.set()

    async def _read(self, reader: asyncio.StreamReader) -> None:
        try:
            while True:
                text = await reader.readuntil(b"\0")
                self._dispatch(parse(text[:-1].decode("utf-8", "replace")))
        except asyncio.IncompleteReadError:
            self._end("Tessary closed the connection")
        except (OSError, asyncio.LimitOverrunError) as error:
            self._end("Tessary went away (%s)" % error)

    def _dispatch(self, message: Message) -> None:
        # Messages answer the commands in flight in order: each belongs to
        # the first one not yet complete.
        if self._in_flight:
            head = self._in_flight[0]
            complete = head.exchange.take(message)
            self._events.extend(head.exchange.events)
            head.exchange.events.clear()
            if complete:
                self._in_flight.popleft()
                if not head.future.done():  # its caller may have been cancelled
                    head.future.set_result(None)
                if not self._in_flight:
                    self._timer.cancel()
                    self._send()
        elif message.kind == "error":
            self._events.append(Event("error", None, message.value))
        elif message.kind in ("hit", "motion", "status", "message"):
            self._events.append(message.event())
        if self._events:
            self._events_waiting.set()

    def _send(self) -> None:
        """Sends the commands waiting, as many as one of Tessary's reads
        takes, when none is in flight."""
        self._send_pending = False
        if self._in_flight or self._writer is None:
            return
        size = 0
        while self._queue:
            pending = self._queue[0]
            if pending.future.done():  # cancelled before it was sent
                self._queue.popleft()
                continue
            if self._in_flight and size + pending.size > LONGEST_TEXT:
                break
            self._in_flight.append(self._queue.popleft())
            size += pending.size
        if not self._in_flight:
            return
        timeout = max(pending.timeout for pending in self._in_flight)
        self._timer = asyncio.get_running_loop().call_later(timeout, self._timed_out)
        self._writer.write(frame(";".join(p.exchange.text for p in self._in_flight)))

    def _timed_out(self) -> None:
        head = self._in_flight.popleft()
        if not head.future.done():
            head.future.set_exception(AnswerTimeout(
                "Tessary did not answer %s within %g s; the connection is closed"
                % (head.exchange.shown, head.timeout)))
        self._end("no answer in time")

    async def events(self, timeout: Optional[float] = None) -> AsyncIterator[Event]:
        """Yields events as they come: first those that came while commands
        waited. Ends after `timeout` seconds, or without one when the
        connection ends."""
        loop = asyncio.get_running_loop()
        deadline = None if timeout is None else loop.time() + timeout
        while True:
            if self._events:
                yield self._events.popleft()
                continue
            if self._writer is None:
                return
            self._events_waiting.clear()
            left = None if deadline is None else deadline - loop.time()
            if left is not None and left <= 0:
                return
            try:
                await asyncio.wait_for(self._events_waiting.wait(), left)
            except asyncio.TimeoutError:
                return

    async def _run(self, statement: str, answer: Optional[str] = None,
                   convert: Optional[Callable[[Any], Any]] = None) -> Any:
        if self._writer is None:
            raise ConnectionClosed("not connected: " + self._closed_because)
        exchange = Exchange(statement, answer)
        loop = asyncio.get_running_loop()
        pending = _Pending(exchange, loop.create_future(), self.timeout)
        self._queue.append(pending)
        # Commands called in the same turn of the loop leave together.
        if not self._send_pending:
            self._send_pending = True
            loop.call_soon(self._send)
        await pending.future
        return exchange.result(convert)


class _Connecting:
    """What connect() returns: awaited, the client; or an async context
    manager that closes it."""

    def __init__(self, host: str, port: int, code: Optional[str], timeout: float,
                 login_timeout: float):
        if code is not None:
            _text(code, "the login code")
        self._arguments = (host, port, code, timeout, login_timeout)
        self._client: Optional[Client] = None

    def __await__(self) -> Generator[Any, None, Client]:
        return self._connect().__await__()

    async def __aenter__(self) -> Client:
        self._client = await self._connect()
        return self._client

    async def __aexit__(self, *exc: Any) -> None:
        if self._client is not None:
            await self._client.close()

    async def _connect(self) -> Client:
        host, port, code, timeout, login_timeout = self._arguments
        reader, writer = await asyncio.wait_for(asyncio.open_connection(host, port), timeout)
        client = Client(reader, writer, login_timeout)
        try:
            if code is None:
                await client._run("set_data_type(commands)")
            else:
                await client._run("set_data_type(commands);login(%s)" % code, "login")
        except TessaryError:
            await client.close()
            raise
        client.timeout = timeout
        return client


def connect(host: str = "127.0.0.1", port: int = 2152, code: Optional[str] = None, *,
            timeout: float = 10.0, login_timeout: float = 40.0) -> _Connecting:
    """As tessary.connect: `c = await connect(...)` or
    `async with connect(...) as c`."""
    return _Connecting(host, port, code, timeout, login_timeout)
