"""A client of Tessary: motion-sensitive zones in a webcam's picture.

    import tessary
    with tessary.connect("127.0.0.1", 2152, code="s3cret") as c:
        c.display_size(160, 120)
        c.add("door", 20, 50, 120, 20)
        for e in c.events(timeout=3.0):
            if e.kind == "hit":
                print(e.zone)

tessary.aio has the same client for asyncio.
"""
from ._client import Client, connect
from ._protocol import (AnswerTimeout, CommandError, ConnectionClosed, Event, Grid, LoginError,
                        TessaryError, Zone, ZoneInfo)

__version__ = "1.0.0"
__all__ = ["connect", "Client", "Event", "Zone", "Grid", "ZoneInfo", "TessaryError",
           "CommandError", "LoginError", "ConnectionClosed", "AnswerTimeout"]
