// A client of Tessary (motion-sensitive zones in a webcam's picture) for
// Node 18 or later over TCP and for browsers over the WebSocket /client.
// One ES module, no dependencies.
//
//   import { connect } from './tessary.mjs';
//   const c = await connect({ host: '127.0.0.1', port: 2152, code: 's3cret' });
//   c.on('hit', zone => console.log(zone));
//   await c.displaySize(160, 120); await c.add('door', 20, 50, 120, 20);
//
// Every command method returns a promise: it resolves once Tessary has taken
// the command (to the answer, for a query) and rejects with CommandError,
// Tessary's text, when Tessary refuses it. Commands go out in the order they
// were called; those called while others are answered leave together.

export class TessaryError extends Error {
  constructor(message) {
    super(message);
    this.name = new.target.name;
  }
}

/** Tessary refused a command; `text` is Tessary's own (`texts` when several). */
export class CommandError extends TessaryError {
  constructor(texts) {
    super(texts.join('; '));
    this.texts = texts;
    this.text = texts[0];
  }
}

/** The login code was wrong, or Tessary has none stored. */
export class LoginError extends TessaryError {}

/** The connection ended: Tessary went away or the client was closed. */
export class ConnectionClosed extends TessaryError {}

/** Tessary did not answer in time; the connection is then closed, since a late
 * answer could not be told apart from the next one. */
export class AnswerTimeout extends TessaryError {}

// Tessary reads at most this much of a connection per tick (and takes no
// longer WebSocket frame); a longer text would be cut in two.
const LONGEST_TEXT = 2047;

// The one error Tessary sends for a command it carried out: the grid is made,
// cut down. It is delivered as an 'error' event instead of a rejection.
const GRID_TRUNCATED = "Width/Height/Subdivisions don't match exactly, grid truncated.";
const EVENT_KINDS = new Set(['hit', 'motion', 'status']);

// --- The two reply forms -------------------------------------------------------

const toBool = (v) => v === 'true';
const SCRIPT_FIXED = [
  [/^login=(successful|failed);$/s, 'login', String],
  [/^motion=(true|false);$/s, 'motion_status', toBool],
  [/^mirror=(true|false);$/s, 'mirror', toBool],
  [/^flip=(true|false);$/s, 'flip', toBool],
  [/^data=(commands)$/s, 'data', String],
  [/^sensitivity=(-?\d+)$/s, 'sensitivity', Number],
  [/^threshold=(-?\d+)$/s, 'threshold', Number],
];
const SCRIPT_RENDER_AREA = /^render_area\((-?\d+),(-?\d+),(-?\d+),(-?\d+)\)$/;
const SCRIPT_CONTENT = /^(string|error|lan|zone)\((.*)\);$/s;
const SCRIPT_HIT = /^(.*)\.hit\(\);$/s;
const SCRIPT_MOTION = /^(.*)\.motion\((\d+)\);$/s;
const SCRIPT_STATUS = /^([^.]*)\.(.*);$/s;
const XML = /^<(\w+) (.*)>$/s;
const XML_NAME_AMOUNT = /^name="(.*)" amount="(\d+)"$/s;
const XML_NAME_STATUS = /^name="(.*)" status="(.*)"$/s;
const XML_ZONE_INFO = new RegExp('^name="(.*)" status="(.*)" x="(-?\\d+)" y="(-?\\d+)" ' +
  'width="(-?\\d+)" height="(-?\\d+)" threshold="(-?\\d+)" sensitivity="(-?\\d+)"$', 's');
const XML_NAME = /^name="(.*)"$/s;
const XML_STATUS = /^status="(.*)"$/s;
const XML_CONTENT = /^content="(.*)"$/s;
const XML_RENDER_AREA = /^x="(-?\d+)" y="(-?\d+)" w="(-?\d+)" h="(-?\d+)"$/;
const XML_STATUS_VALUE = {
  login: String, data: String, sensitivity: Number, threshold: Number, mirror: toBool, flip: toBool,
};

function zoneInfo([name, status, ...numbers]) {
  const [x, y, width, height, threshold, sensitivity] = numbers.map(Number);
  return { name, status, x, y, width, height, threshold, sensitivity };
}

function area(numbers) {
  const [x, y, width, height] = numbers.map(Number);
  return { x, y, width, height };
}

/** Classifies one message, in either form: { kind, zone, value }. */
export function parse(text) {
  if (text.startsWith('<')) return parseXml(text);
  for (const [pattern, kind, convert] of SCRIPT_FIXED) {
    const match = pattern.exec(text);
    if (match) return { kind, value: convert(match[1]) };
  }
  let match = SCRIPT_RENDER_AREA.exec(text);
  if (match) return { kind: 'render_area', value: area(match.slice(1)) };
  if ((match = SCRIPT_CONTENT.exec(text))) {
    const [, tag, content] = match;
    if (tag !== 'zone') return { kind: tag, value: content };
    const parts = rsplit(content, ', ', 7);
    return { kind: 'zone', value: parts.length === 8 ? zoneInfo(parts) : null };  // "illegal zone ID"
  }
  if ((match = SCRIPT_HIT.exec(text))) return { kind: 'hit', zone: match[1] };
  if ((match = SCRIPT_MOTION.exec(text))) return { kind: 'motion', zone: match[1], value: Number(match[2]) };
  if ((match = SCRIPT_STATUS.exec(text))) return { kind: 'status', zone: match[1], value: match[2] };
  return { kind: 'message', value: text };
}

function rsplit(text, separator, limit) {
  const parts = text.split(separator);
  if (parts.length <= limit + 1) return parts;
  return [parts.slice(0, parts.length - limit).join(separator), ...parts.slice(parts.length - limit)];
}

function parseXml(text) {
  const match = XML.exec(text);
  const unknown = { kind: 'message', value: text };
  if (!match) return unknown;
  const [, tag, body] = match;
  let m;
  if (tag === 'hit') {
    if ((m = XML_NAME.exec(body))) return { kind: 'hit', zone: m[1] };
  } else if (tag === 'motion') {
    if ((m = XML_NAME_AMOUNT.exec(body))) return { kind: 'motion', zone: m[1], value: Number(m[2]) };
    if ((m = XML_NAME.exec(body))) return { kind: 'motion', zone: m[1], value: null };
    if ((m = XML_STATUS.exec(body))) return { kind: 'motion_status', value: toBool(m[1]) };
  } else if (tag === 'zone' || tag === 'grid') {
    if (tag === 'zone' && body === 'illegal zone ID') return { kind: 'zone', value: null };
    if (tag === 'zone' && (m = XML_ZONE_INFO.exec(body))) return { kind: 'zone', value: zoneInfo(m.slice(1)) };
    if ((m = XML_NAME_STATUS.exec(body))) return { kind: 'status', zone: m[1], value: m[2] };
  } else if (tag in XML_STATUS_VALUE) {
    if ((m = XML_STATUS.exec(body))) return { kind: tag, value: XML_STATUS_VALUE[tag](m[1]) };
  } else if (tag === 'string' || tag === 'error' || tag === 'lan') {
    if ((m = XML_CONTENT.exec(body))) return { kind: tag, value: m[1] };
  } else if (tag === 'render_area') {
    if ((m = XML_RENDER_AREA.exec(body))) return { kind: 'render_area', value: area(m.slice(1)) };
  }
  return unknown;
}

// --- Building statements -------------------------------------------------------

function text(value, what) {
  if (typeof value !== 'string') throw new TypeError(`${what} must be a string, not ${typeof value}`);
  if (/[,;\0]/.test(value)) throw new RangeError(`${what} may not contain ',', ';' or NUL: ${JSON.stringify(value)}`);
  return value;
}

function name(value) {
  const checked = text(value, 'a zone or grid name');
  if (checked === '' || checked.startsWith(' ') || /[().\r\n]/.test(checked)) {
    throw new RangeError("a zone or grid name may not be empty, start with a blank or contain '(', ')', '.' " +
                         `or a line end: ${JSON.stringify(checked)}`);
  }
  return checked;
}

function int(value) {
  if (!Number.isInteger(value)) throw new TypeError(`expected an integer, not ${String(value)}`);
  return String(value);
}

function seconds(value) {
  if (typeof value !== 'number' || Number.isNaN(value)) throw new TypeError(`expected a number of seconds, not ${String(value)}`);
  return String(value);
}

const flag = (value, on = 'true', off = 'false') => (value ? on : off);
const call = (keyword, ...parameters) => `${keyword}(${parameters.join(',')})`;

/** A zone or grid by name; its methods are the zone and grid methods. */
export class Zone {
  #client;
  constructor(client, zoneName) {
    this.#client = client;
    this.name = name(zoneName);
  }
  #method(method, ...parameters) { return this.#client.run(`${this.name}.${call(method, ...parameters)}`); }
  delete() { return this.#method('delete'); }
  move(x, y) { return this.#method('move', int(x), int(y)); }
  resize(width, height) { return this.#method('resize', int(width), int(height)); }
  movesize(x, y, width, height) { return this.#method('movesize', int(x), int(y), int(width), int(height)); }
  sensitivity(s) { return this.#method('sensitivity', int(s)); }
  threshold(t) { return this.#method('threshold', int(t)); }
  pause(s) { return this.#method('pause', seconds(s)); }
  activate(on) { return this.#method('activate', flag(on)); }
  duplicate(newName) { return this.#method('duplicate', name(newName)); }
}

/** A grid: the zone methods but duplicate. */
export class Grid extends Zone {
  duplicate() { throw new TypeError('a grid has no duplicate method'); }
}

const encoder = new TextEncoder();
const textSize = (value) => encoder.encode(value).length;

// --- One command's exchange ----------------------------------------------------

// Follows the messages that answer one command text. Only one command is in
// flight at a time, so every error before the answer is this command's. A
// command without an answer of its own is followed by whoareyou(), whose
// string tells that Tessary has taken it.
class Exchange {
  constructor(statement, answer) {
    this.answer = answer;
    this.text = answer ? statement : `${statement};whoareyou()`;
    // What a timeout names: never the code.
    this.shown = answer === 'login' ? 'the login (another client may hold the seat)' : statement;
    if (textSize(this.text) + 1 > LONGEST_TEXT) {
      throw new RangeError(`a statement this long would reach Tessary cut in two: ${statement.slice(0, 40)}...`);
    }
    this.wanted = answer || 'string';
    this.errors = [];
    this.reply = null;
  }

  // True once complete; events it meets go to `emit`.
  take(message, emit) {
    if (EVENT_KINDS.has(message.kind) || message.kind === 'message') {
      emit(message);
    } else if (message.kind === 'error' && message.value === GRID_TRUNCATED) {
      emit(message);
    } else if (message.kind === 'error') {
      this.errors.push(message.value);
      return Boolean(this.answer);  // a refused query gets no answer besides
    } else if (message.kind === this.wanted) {
      this.reply = message;
      return true;
    }
    return false;
  }

  result() {
    if (this.answer === 'login') {
      if (this.errors.length) throw new LoginError(this.errors[0]);
      if (!this.reply || this.reply.value !== 'successful') {
        throw new LoginError('wrong code: Tessary answered that the login failed');
      }
      return undefined;
    }
    if (this.errors.length) throw new CommandError(this.errors);
    return this.answer ? this.reply.value : undefined;
  }
}

// --- The client ----------------------------------------------------------------

export class Client {
  #transport;
  #listeners = new Map();
  #queue = [];
  #inFlight = [];
  #timer = null;
  #sendPending = false;
  #closing = null;
  #closedReason = null;
  #resolveClosed;

  constructor(transport, timeout) {
    this.timeout = timeout;
    /** Resolves, with the reason, when the connection has ended. */
    this.closed = new Promise((resolve) => { this.#resolveClosed = resolve; });
    this.#transport = transport;
    transport.onmessage = (message) => this.#received(message);
    transport.onclose = (reason) => this.#ended(reason);
  }

  /**
   * Listens for 'hit' (zone), 'motion' (zone, amount; null in the XML form
   * with reduced motion), 'status' (zone or grid, status text), 'error' (text
   * of an error no command waits for), 'message' (every message, as it came)
   * and 'close' (reason).
   */
  on(kind, listener) {
    if (!this.#listeners.has(kind)) this.#listeners.set(kind, new Set());
    this.#listeners.get(kind).add(listener);
    return this;
  }

  off(kind, listener) {
    this.#listeners.get(kind)?.delete(listener);
    return this;
  }

  /** Ends the connection once the commands already called are answered. */
  close() {
    if (!this.#closing) {
      this.#closing = this.#settled().then(() => this.#end('the client closed the connection'));
    }
    return this.closed.then(() => undefined);
  }

  async #settled() {
    while (this.#inFlight.length || this.#queue.length) {
      await Promise.allSettled([...this.#inFlight, ...this.#queue].map((command) => command.promise));
    }
  }

  #emit(kind, ...args) {
    for (const listener of this.#listeners.get(kind) ?? []) {
      try {
        listener(...args);
      } catch (error) {
        queueMicrotask(() => { throw error; });  // the listener's fault, reported as such
      }
    }
  }

  #event(message) {
    if (message.kind === 'error') this.#emit('error', message.value);
    else if (message.kind === 'status') this.#emit('status', message.zone, message.value);
    else if (message.kind === 'hit') this.#emit('hit', message.zone);
    else if (message.kind === 'motion') this.#emit('motion', message.zone, message.value);
  }

  // Messages answer the commands in flight in order: each belongs to the
  // first one not yet complete.
  #received(raw) {
    this.#emit('message', raw);
    const message = parse(raw);
    const head = this.#inFlight[0];
    if (head) {
      if (head.exchange.take(message, (event) => this.#event(event))) this.#finishHead();
    } else if (EVENT_KINDS.has(message.kind) || message.kind === 'error') {
      this.#event(message);
    }
  }

  #finishHead() {
    const command = this.#inFlight.shift();
    try {
      const value = command.exchange.result();
      command.resolve(command.convert ? command.convert(value) : value);
    } catch (error) {
      command.reject(error);
    }
    if (!this.#inFlight.length) {
      clearTimeout(this.#timer);
      this.#next();
    }
  }

  // The commands waiting go out together, as one text no longer than one of
  // Tessary's reads, so they all take one of its ticks.
  #next() {
    if (this.#inFlight.length || !this.#queue.length || this.#closedReason !== null) return;
    let size = 0;
    while (this.#queue.length) {
      const next = this.#queue[0];
      if (this.#inFlight.length && size + next.size > LONGEST_TEXT) break;
      this.#inFlight.push(this.#queue.shift());
      size += next.size;
    }
    const batch = this.#inFlight;
    this.#timer = setTimeout(() => {
      const head = this.#inFlight.shift();
      head.reject(new AnswerTimeout(`Tessary did not answer ${head.exchange.shown} within ` +
                                    `${head.timeout / 1000} s; the connection is closed`));
      this.#end('no answer in time');
    }, Math.max(...batch.map((command) => command.timeout)));
    this.#transport.send(batch.map((command) => command.exchange.text).join(';'));
  }

  #end(reason) {
    if (this.#closedReason !== null) return;
    this.#transport.close();
    this.#ended(reason);
  }

  #ended(reason) {
    if (this.#closedReason !== null) return;
    this.#closedReason = reason;
    clearTimeout(this.#timer);
    const pending = [...this.#inFlight, ...this.#queue];
    this.#inFlight = [];
    this.#queue = [];
    for (const command of pending) command.reject(new ConnectionClosed(reason));
    this.#emit('close', reason);
    this.#resolveClosed(reason);
  }

  /** Sends one statement (see the module's comment); `answer` is the reply's kind. */
  run(statement, answer = null, convert = null, timeout = this.timeout) {
    if (this.#closedReason !== null) return Promise.reject(new ConnectionClosed(`not connected: ${this.#closedReason}`));
    if (this.#closing) return Promise.reject(new ConnectionClosed('not connected: the client is closing'));
    const exchange = new Exchange(statement, answer);
    const command = { exchange, convert, timeout, size: textSize(exchange.text) + 1 };
    command.promise = new Promise((resolve, reject) => Object.assign(command, { resolve, reject }));
    this.#queue.push(command);
    // Commands called one after another in the same turn leave together.
    if (!this.#sendPending) {
      this.#sendPending = true;
      queueMicrotask(() => {
        this.#sendPending = false;
        this.#next();
      });
    }
    return command.promise;
  }

  zone(zoneName) { return new Zone(this, zoneName); }

  whoareyou() { return this.run('whoareyou()', 'string'); }
  login(code) { return this.run(call('login', text(code, 'the login code')), 'login'); }
  watch(on) { return this.run(call('watch', flag(on))); }
  watchBorder(left, top, right, bottom) { return this.run(call('watch_border', int(left), int(top), int(right), int(bottom))); }
  flip(on) { return this.run(call('flip', flag(on))); }
  getFlip() { return this.run('get_flip()', 'flip'); }
  mirror(on) { return this.run(call('mirror', flag(on))); }
  getMirror() { return this.run('get_mirror()', 'mirror'); }
  zoneMovement(on) { return this.run(call('zone_movement', flag(on))); }
  statusMessages(...options) { return this.run(call('status_messages', ...options.map((o) => text(o, 'an option')))); }
  displaySize(width, height) { return this.run(call('display_size', int(width), int(height))); }
  renderArea(x, y, width, height) { return this.run(call('render_area', int(x), int(y), int(width), int(height))); }
  getRenderArea() { return this.run('get_render_area()', 'render_area'); }
  overlay(on) { return this.run(call('overlay', flag(on, 'on', 'off'))); }
  overlayColour(red, green, blue) { return this.run(call('overlay_colour', int(red), int(green), int(blue))); }
  overlayColor(red, green, blue) { return this.overlayColour(red, green, blue); }
  blend(red, green, blue) { return this.run(call('blend', int(red), int(green), int(blue))); }
  setDataType(form) { return this.run(call('set_data_type', text(form, 'the data type'))); }
  checkDataType() { return this.run('check_data_type()', 'data'); }
  checkZone(zoneName) { return this.run(call('check_zone', name(zoneName)), 'zone'); }
  motion(on) { return this.run(call('motion', flag(on))); }
  reducedMotion(on) { return this.run(call('reduced_motion', flag(on))); }
  add(zoneName, x, y, width, height) {
    const zone = new Zone(this, zoneName);
    return this.run(call('add', zone.name, int(x), int(y), int(width), int(height)), null, () => zone);
  }
  grid(gridName, x, y, width, height, columns, rows) {
    const grid = new Grid(this, gridName);
    return this.run(call('grid', grid.name, int(x), int(y), int(width), int(height), int(columns), int(rows)),
                    null, () => grid);
  }
  sensitivity(s) { return this.run(call('sensitivity', int(s))); }
  checkSensitivity() { return this.run('check_sensitivity()', 'sensitivity'); }
  threshold(t) { return this.run(call('threshold', int(t))); }
  checkThreshold() { return this.run('check_threshold(0)', 'threshold'); }  // takes one parameter, ignored
  getLan() { return this.run('get_lan()', 'lan', (list) => list.split(',').filter(Boolean)); }
}

// --- Transports ------------------------------------------------------------------

// Each has send(text), close(), and calls onmessage(text) and onclose(reason).

async function openTcp(host, port, timeout) {
  const net = await import('node:net');
  const socket = net.connect({ host, port });
  await new Promise((resolve, reject) => {
    const timer = setTimeout(() => {
      socket.destroy();
      reject(new TessaryError(`no connection to ${host}:${port} within ${timeout / 1000} s`));
    }, timeout);
    socket.once('connect', () => { clearTimeout(timer); resolve(); });
    socket.once('error', (error) => { clearTimeout(timer); reject(error); });
  });
  const transport = {
    onmessage: null,
    onclose: null,
    send: (message) => socket.write(message + '\0', 'utf8'),
    close: () => socket.destroy(),
  };
  let pending = Buffer.alloc(0);
  let why = 'Tessary closed the connection';
  socket.on('data', (chunk) => {
    pending = Buffer.concat([pending, chunk]);
    let end;
    while ((end = pending.indexOf(0)) >= 0) {
      const message = pending.subarray(0, end).toString('utf8');
      pending = pending.subarray(end + 1);
      transport.onmessage(message);
    }
  });
  socket.on('error', (error) => { why = `Tessary went away (${error.message})`; });
  socket.on('close', () => transport.onclose(why));
  return transport;
}

async function openWebSocket(url, timeout, WebSocketClass) {
  if (!WebSocketClass) {
    throw new TessaryError('no WebSocket here: in Node give host and port (TCP), or a WebSocket class as options.WebSocket');
  }
  const socket = new WebSocketClass(url);
  await new Promise((resolve, reject) => {
    const timer = setTimeout(() => {
      socket.close();
      reject(new TessaryError(`no connection to ${url} within ${timeout / 1000} s`));
    }, timeout);
    socket.onopen = () => { clearTimeout(timer); resolve(); };
    socket.onerror = () => { clearTimeout(timer); reject(new TessaryError(`cannot connect to ${url}`)); };
    socket.onclose = (event) => {
      clearTimeout(timer);
      reject(new TessaryError(`cannot connect to ${url} (${event.code}${event.reason ? ': ' + event.reason : ''})`));
    };
  });
  const transport = {
    onmessage: null,
    onclose: null,
    send: (message) => socket.send(message),
    close: () => socket.close(),
  };
  socket.onerror = null;
  socket.onmessage = (event) => { if (typeof event.data === 'string') transport.onmessage(event.data); };
  // A page the browser keeps for going back (its back/forward cache) would
  // keep the connection, and with it Tessary's only seat: a page that is
  // left closes it.
  const leave = () => socket.close(1000, 'the page was left');
  globalThis.addEventListener?.('pagehide', leave);
  socket.onclose = (event) => {
    globalThis.removeEventListener?.('pagehide', leave);
    transport.onclose(event.code === 1000 || event.code === 1005
      ? 'Tessary closed the connection'
      : `the connection closed (${event.code}${event.reason ? ': ' + event.reason : ''})`);
  };
  return transport;
}

/**
 * Connects, chooses the script form of the messages and logs in with `code`
 * (when given). { host, port } connect over TCP (Node); { url } over a
 * WebSocket (browsers, or Node with options.WebSocket). Rejects with
 * LoginError after Tessary's answer to a wrong code. `timeout` (ms) bounds the
 * connecting and each command's answer; `loginTimeout` the login's answer,
 * which Tessary paces after wrong codes and which waits while another client
 * holds the seat.
 */
export async function connect({
  host = '127.0.0.1', port = 2152, url, code, timeout = 10000, loginTimeout = 40000,
  WebSocket: WebSocketClass = globalThis.WebSocket,
} = {}) {
  if (code !== undefined) text(code, 'the login code');
  let transport;
  if (url) {
    transport = await openWebSocket(url, timeout, WebSocketClass);
  } else if (typeof process !== 'undefined' && process.versions?.node) {
    transport = await openTcp(host, port, timeout);
  } else {
    throw new TessaryError('a browser connects over a WebSocket: give url, e.g. ws://127.0.0.1:2153/client');
  }
  const client = new Client(transport, timeout);
  try {
    if (code === undefined) await client.run('set_data_type(commands)', null, null, loginTimeout);
    else await client.run(`set_data_type(commands);login(${code})`, 'login', null, loginTimeout);
  } catch (error) {
    transport.close();
    await client.closed;
    throw error;
  }
  return client;
}
