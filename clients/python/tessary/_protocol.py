"""What both clients share: the framing, the two reply forms, the events,
the errors, and one method per command of the language."""
from __future__ import annotations

import math
import re
from dataclasses import dataclass
from typing import Any, Callable, List, Optional, Tuple

# Kinds of message that are events; everything else answers a command.
EVENT_KINDS = frozenset({"hit", "motion", "status"})

# Tessary reads at most this much of a connection per tick; a longer text
# would be cut in two and read as two.
LONGEST_TEXT = 2047

# The one error Tessary sends for a command it carried out: the grid is made,
# cut down. It is delivered as an "error" event instead of raised.
GRID_TRUNCATED = "Width/Height/Subdivisions don't match exactly, grid truncated."


class TessaryError(Exception):
    """Every error of this package."""


class CommandError(TessaryError):
    """Tessary refused a command; the text is Tessary's own."""

    def __init__(self, texts: List[str]):
        super().__init__("; ".join(texts))
        self.texts = list(texts)
        self.text = texts[0]


class LoginError(TessaryError):
    """The login code was wrong, or Tessary has none stored."""


class ConnectionClosed(TessaryError, ConnectionError):
    """The connection ended: Tessary went away or the client was closed."""


class AnswerTimeout(TessaryError, TimeoutError):
    """Tessary did not answer in time. The connection is closed, since a late
    answer could not be told apart from the next one."""


@dataclass(frozen=True)
class Event:
    """kind: "hit", "motion", "status", "error" or "message" (a text this
    package does not know). zone: the zone's or grid's name, None for errors.
    value: the motion amount (None in the XML form with reduced motion), the
    status text, the error text, or the whole message."""

    kind: str
    zone: Optional[str] = None
    value: Any = None


@dataclass(frozen=True)
class ZoneInfo:
    """The answer to check_zone."""

    name: str
    status: str
    x: int
    y: int
    width: int
    height: int
    threshold: int
    sensitivity: int


@dataclass(frozen=True)
class Message:
    """One message from Tessary, classified. kind is an event kind, "error",
    or the reply's tag ("login", "string", "lan", "data", "zone", ...)."""

    kind: str
    zone: Optional[str] = None
    value: Any = None

    def event(self) -> Event:
        return Event(self.kind, self.zone, self.value)


class Framer:
    """Splits the TCP byte stream into its NUL-ended texts, however the reads
    cut them."""

    def __init__(self) -> None:
        self._pending = b""

    def feed(self, data: bytes) -> List[str]:
        self._pending += data
        *complete, self._pending = self._pending.split(b"\0")
        return [text.decode("utf-8", "replace") for text in complete]


def frame(text: str) -> bytes:
    return text.encode("utf-8") + b"\0"


# --- The two reply forms ------------------------------------------------------

_S = re.DOTALL
_SCRIPT_FIXED = [
    (re.compile(r"login=(successful|failed);", _S), "login", str),
    (re.compile(r"motion=(true|false);", _S), "motion_status", lambda v: v == "true"),
    (re.compile(r"mirror=(true|false);", _S), "mirror", lambda v: v == "true"),
    (re.compile(r"flip=(true|false);", _S), "flip", lambda v: v == "true"),
    (re.compile(r"data=(commands)", _S), "data", str),
    (re.compile(r"sensitivity=(-?\d+)", _S), "sensitivity", int),
    (re.compile(r"threshold=(-?\d+)", _S), "threshold", int),
]
_SCRIPT_RENDER_AREA = re.compile(r"render_area\((-?\d+),(-?\d+),(-?\d+),(-?\d+)\)")
_SCRIPT_CONTENT = re.compile(r"(string|error|lan|zone)\((.*)\);", _S)
_SCRIPT_HIT = re.compile(r"(.*)\.hit\(\);", _S)
_SCRIPT_MOTION = re.compile(r"(.*)\.motion\((\d+)\);", _S)
_SCRIPT_STATUS = re.compile(r"([^.]*)\.(.*);", _S)

_XML = re.compile(r"<(\w+) (.*)>", _S)
_XML_NAME_AMOUNT = re.compile(r'name="(.*)" amount="(\d+)"', _S)
_XML_NAME_STATUS = re.compile(r'name="(.*)" status="(.*)"', _S)
_XML_ZONE_INFO = re.compile(
    r'name="(.*)" status="(.*)" x="(-?\d+)" y="(-?\d+)" width="(-?\d+)" height="(-?\d+)" '
    r'threshold="(-?\d+)" sensitivity="(-?\d+)"', _S)
_XML_NAME = re.compile(r'name="(.*)"', _S)
_XML_STATUS = re.compile(r'status="(.*)"', _S)
_XML_CONTENT = re.compile(r'content="(.*)"', _S)
_XML_RENDER_AREA = re.compile(r'x="(-?\d+)" y="(-?\d+)" w="(-?\d+)" h="(-?\d+)"')
_XML_STATUS_VALUE = {
    "login": str, "data": str, "sensitivity": int, "threshold": int,
    "mirror": lambda v: v == "true", "flip": lambda v: v == "true",
}


def _zone_info(fields: Tuple[str, ...]) -> ZoneInfo:
    name, status, *numbers = fields
    return ZoneInfo(name, status, *(int(n) for n in numbers))


def _script_zone_info(text: str) -> Optional[ZoneInfo]:
    parts = text.rsplit(", ", 7)
    if len(parts) != 8:
        return None  # "illegal zone ID"
    return _zone_info(tuple(parts))


def parse(text: str) -> Message:
    """Classifies one message, in either form."""
    if text.startswith("<"):
        return _parse_xml(text)
    for pattern, kind, convert in _SCRIPT_FIXED:
        match = pattern.fullmatch(text)
        if match:
            return Message(kind, value=convert(match.group(1)))
    match = _SCRIPT_RENDER_AREA.fullmatch(text)
    if match:
        return Message("render_area", value=tuple(int(n) for n in match.groups()))
    match = _SCRIPT_CONTENT.fullmatch(text)
    if match:
        tag, content = match.groups()
        if tag == "zone":
            return Message("zone", value=_script_zone_info(content))
        return Message(tag, value=content)
    match = _SCRIPT_HIT.fullmatch(text)
    if match:
        return Message("hit", zone=match.group(1))
    match = _SCRIPT_MOTION.fullmatch(text)
    if match:
        return Message("motion", zone=match.group(1), value=int(match.group(2)))
    match = _SCRIPT_STATUS.fullmatch(text)
    if match:
        return Message("status", zone=match.group(1), value=match.group(2))
    return Message("message", value=text)


def _parse_xml(text: str) -> Message:
    match = _XML.fullmatch(text)
    if not match:
        return Message("message", value=text)
    tag, body = match.groups()
    if tag == "hit":
        named = _XML_NAME.fullmatch(body)
        if named:
            return Message("hit", zone=named.group(1))
    elif tag == "motion":
        amount = _XML_NAME_AMOUNT.fullmatch(body)
        if amount:
            return Message("motion", zone=amount.group(1), value=int(amount.group(2)))
        named = _XML_NAME.fullmatch(body)
        if named:
            return Message("motion", zone=named.group(1))
        status = _XML_STATUS.fullmatch(body)
        if status:
            return Message("motion_status", value=status.group(1) == "true")
    elif tag in ("zone", "grid"):
        if tag == "zone" and body == "illegal zone ID":
            return Message("zone", value=None)
        info = _XML_ZONE_INFO.fullmatch(body) if tag == "zone" else None
        if info:
            return Message("zone", value=_zone_info(info.groups()))
        status = _XML_NAME_STATUS.fullmatch(body)
        if status:
            return Message("status", zone=status.group(1), value=status.group(2))
    elif tag in _XML_STATUS_VALUE:
        status = _XML_STATUS.fullmatch(body)
        if status:
            return Message(tag, value=_XML_STATUS_VALUE[tag](status.group(1)))
    elif tag in ("string", "error", "lan"):
        content = _XML_CONTENT.fullmatch(body)
        if content:
            return Message(tag, value=content.group(1))
    elif tag == "render_area":
        area = _XML_RENDER_AREA.fullmatch(body)
        if area:
            return Message("render_area", value=tuple(int(n) for n in area.groups()))
    return Message("message", value=text)


# --- Building statements ------------------------------------------------------

def _text(value: Any, what: str) -> str:
    """A parameter that is free text: it may not split the statement."""
    if not isinstance(value, str):
        raise TypeError("%s must be a str, not %s" % (what, type(value).__name__))
    if any(c in value for c in ",;\0"):
        raise ValueError("%s may not contain ',', ';' or NUL: %r" % (what, value))
    return value


def _name(value: Any) -> str:
    """A zone or grid name that its methods can reach."""
    name = _text(value, "a zone or grid name")
    if not name or name.startswith(" ") or any(c in name for c in "().\n\r"):
        raise ValueError("a zone or grid name may not be empty, start with a blank or contain "
                         "'(', ')', '.' or a line end: %r" % (name,))
    return name


def _int(value: Any) -> str:
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError("expected an int, not %r" % (value,))
    return str(value)


def _number(value: Any) -> str:
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise TypeError("expected a number of seconds, not %r" % (value,))
    if math.isnan(value):
        raise ValueError("a pause cannot be NaN seconds")
    return repr(float(value))


def _flag(value: Any, on: str = "true", off: str = "false") -> str:
    return on if value else off


def _call(keyword: str, *parameters: str) -> str:
    return "%s(%s)" % (keyword, ",".join(parameters))


_STRING = ("string", None)
_LOGIN = ("login", None)


class Target:
    """A zone or a grid by name. Its methods are the zone and grid methods of
    the language; the client's own methods run them (so they block, or are
    awaited, as the client's do)."""

    def __init__(self, client: "Commands", name: str):
        self._client = client
        self.name = _name(name)

    def __repr__(self) -> str:
        return "%s(%r)" % (type(self).__name__, self.name)

    def _method(self, method: str, *parameters: str) -> Any:
        return self._client._run("%s.%s" % (self.name, _call(method, *parameters)))

    def delete(self) -> Any:
        return self._method("delete")

    def move(self, x: int, y: int) -> Any:
        return self._method("move", _int(x), _int(y))

    def resize(self, width: int, height: int) -> Any:
        return self._method("resize", _int(width), _int(height))

    def movesize(self, x: int, y: int, width: int, height: int) -> Any:
        return self._method("movesize", _int(x), _int(y), _int(width), _int(height))

    def sensitivity(self, sensitivity: int) -> Any:
        return self._method("sensitivity", _int(sensitivity))

    def threshold(self, threshold: int) -> Any:
        return self._method("threshold", _int(threshold))

    def pause(self, seconds: float) -> Any:
        return self._method("pause", _number(seconds))

    def activate(self, on: bool) -> Any:
        return self._method("activate", _flag(on))


class Zone(Target):
    def duplicate(self, new_name: str) -> Any:
        return self._method("duplicate", _name(new_name))


class Grid(Target):
    pass


class Commands:
    """One method per command of the language. `_run(statement, answer,
    convert)` sends the statement; with `answer` (a reply kind) it returns the
    converted reply, otherwise None once Tessary has taken the statement. It
    raises CommandError when Tessary refuses it."""

    def _run(self, statement: str, answer: Optional[str] = None,
             convert: Optional[Callable[[Any], Any]] = None) -> Any:
        raise NotImplementedError

    def zone(self, name: str) -> Zone:
        """A handle on an existing zone (or grid: their methods are the same
        statements)."""
        return Zone(self, name)

    def whoareyou(self) -> Any:
        return self._run("whoareyou()", "string")

    def login(self, code: str) -> Any:
        return self._run(_call("login", _text(code, "the login code")), "login")

    def watch(self, on: bool) -> Any:
        return self._run(_call("watch", _flag(on)))

    def watch_border(self, left: int, top: int, right: int, bottom: int) -> Any:
        return self._run(_call("watch_border", _int(left), _int(top), _int(right), _int(bottom)))

    def flip(self, on: bool) -> Any:
        return self._run(_call("flip", _flag(on)))

    def get_flip(self) -> Any:
        return self._run("get_flip()", "flip")

    def mirror(self, on: bool) -> Any:
        return self._run(_call("mirror", _flag(on)))

    def get_mirror(self) -> Any:
        return self._run("get_mirror()", "mirror")

    def zone_movement(self, on: bool) -> Any:
        return self._run(_call("zone_movement", _flag(on)))

    def status_messages(self, *options: str) -> Any:
        return self._run(_call("status_messages", *(_text(o, "an option") for o in options)))

    def display_size(self, width: int, height: int) -> Any:
        return self._run(_call("display_size", _int(width), _int(height)))

    def render_area(self, x: int, y: int, width: int, height: int) -> Any:
        return self._run(_call("render_area", _int(x), _int(y), _int(width), _int(height)))

    def get_render_area(self) -> Any:
        return self._run("get_render_area()", "render_area")

    def overlay(self, on: bool) -> Any:
        return self._run(_call("overlay", _flag(on, "on", "off")))

    def overlay_colour(self, red: int, green: int, blue: int) -> Any:
        return self._run(_call("overlay_colour", _int(red), _int(green), _int(blue)))

    overlay_color = overlay_colour

    def blend(self, red: int, green: int, blue: int) -> Any:
        return self._run(_call("blend", _int(red), _int(green), _int(blue)))

    def set_data_type(self, form: str) -> Any:
        return self._run(_call("set_data_type", _text(form, "the data type")))

    def check_data_type(self) -> Any:
        return self._run("check_data_type()", "data")

    def check_zone(self, name: str) -> Any:
        return self._run(_call("check_zone", _name(name)), "zone")

    def motion(self, on: bool) -> Any:
        return self._run(_call("motion", _flag(on)))

    def reduced_motion(self, on: bool) -> Any:
        return self._run(_call("reduced_motion", _flag(on)))

    def add(self, name: str, x: int, y: int, width: int, height: int) -> Any:
        zone = Zone(self, name)
        return self._run(_call("add", zone.name, _int(x), _int(y), _int(width), _int(height)),
                         convert=lambda _: zone)

    def grid(self, name: str, x: int, y: int, width: int, height: int, columns: int,
             rows: int) -> Any:
        grid = Grid(self, name)
        return self._run(_call("grid", grid.name, _int(x), _int(y), _int(width), _int(height),
                               _int(columns), _int(rows)), convert=lambda _: grid)

    def sensitivity(self, sensitivity: int) -> Any:
        return self._run(_call("sensitivity", _int(sensitivity)))

    def check_sensitivity(self) -> Any:
        return self._run("check_sensitivity()", "sensitivity")

    def threshold(self, threshold: int) -> Any:
        return self._run(_call("threshold", _int(threshold)))

    def check_threshold(self) -> Any:
        # Takes one parameter and ignores it.
        return self._run("check_threshold(0)", "threshold")

    def get_lan(self) -> Any:
        return self._run("get_lan()", "lan", lambda text: [n for n in text.split(",") if n])


# --- One command's exchange ---------------------------------------------------

class Exchange:
    """Follows the messages that answer one command text. Only one command is
    in flight at a time, so every error before the answer is this command's.
    A command without an answer of its own is followed by whoareyou(), whose
    string tells that Tessary has taken it."""

    def __init__(self, statement: str, answer: Optional[str]):
        self.answer = answer
        self.text = statement if answer else statement + ";whoareyou()"
        # What a timeout names: never the code.
        self.shown = ("the login (another client may hold the seat)" if answer == "login"
                      else repr(statement))
        if len(frame(self.text)) > LONGEST_TEXT:
            raise ValueError("a statement this long would reach Tessary cut in two: %.40r..."
                             % statement)
        self._wanted = answer or "string"
        self.errors: List[str] = []
        self.events: List[Event] = []
        self.reply: Optional[Message] = None

    def take(self, message: Message) -> bool:
        """True once the exchange is complete."""
        if message.kind in EVENT_KINDS or message.kind == "message":
            self.events.append(message.event())
        elif message.kind == "error" and message.value == GRID_TRUNCATED:
            self.events.append(Event("error", None, message.value))
        elif message.kind == "error":
            self.errors.append(message.value)
            return self.answer is not None  # a refused query gets no answer besides
        elif message.kind == self._wanted:
            self.reply = message
            return True
        return False

    def result(self, convert: Optional[Callable[[Any], Any]]) -> Any:
        if self.answer == "login":
            if self.errors:
                raise LoginError(self.errors[0])
            if self.reply is None or self.reply.value != "successful":
                raise LoginError("wrong code: Tessary answered that the login failed")
            return None
        if self.errors:
            raise CommandError(self.errors)
        if self.answer is None:
            return convert(None) if convert else None
        value = self.reply.value if self.reply else None
        return convert(value) if convert else value
