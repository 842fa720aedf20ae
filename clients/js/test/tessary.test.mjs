// The module against the real program on the demo camera, whose square moves
// only in picture rows 44 to 75. Run with: node --test clients/js/test/tessary.test.mjs
import assert from 'node:assert/strict';
import { after, before, describe, test } from 'node:test';

import {
  AnswerTimeout, CommandError, ConnectionClosed, LoginError, TessaryError, connect,
} from '../tessary.mjs';
import { CODE, sleep, startProgram } from './program.mjs';

function record(client) {
  const events = [];
  for (const kind of ['hit', 'motion', 'status', 'error']) client.on(kind, (...args) => events.push([kind, ...args]));
  return events;
}

describe('one program, one client at a time', () => {
  let program;
  before(async () => { program = await startProgram(); });
  after(async () => { await program.stop(); });
  const open = (options = {}) => connect({ host: '127.0.0.1', port: program.port, code: CODE, ...options });

  test('the README example prints hits for the zone in the band, none for a still one', async () => {
    const hits = new Map();
    const c = await connect({ host: '127.0.0.1', port: program.port, code: 's3cret' });
    c.on('hit', (zone) => hits.set(zone, (hits.get(zone) ?? 0) + 1));
    c.displaySize(160, 120); c.add('door', 20, 50, 120, 20); c.add('still', 0, 0, 160, 30);
    await sleep(3000);
    await c.close();
    assert.ok(hits.get('door') >= 5, `door: ${hits.get('door')}`);
    assert.equal(hits.get('still'), undefined);
  });

  test('a grid reports its cells and motion amounts', async () => {
    const c = await open();
    const events = record(c);
    await c.statusMessages('add', 'delete');
    const band = await c.grid('band', 0, 44, 160, 32, 4, 1);
    await c.motion(true);
    await sleep(3000);
    assert.deepEqual(events[0], ['status', 'band', 'Created']);
    const hits = new Set(events.filter(([kind]) => kind === 'hit').map(([, zone]) => zone));
    assert.ok(hits.size > 0);
    for (const zone of hits) assert.match(zone, /^band_[0-3]$/);
    const amounts = events.filter(([kind]) => kind === 'motion').map(([, , amount]) => amount);
    assert.ok(amounts.length > 0);
    for (const amount of amounts) assert.ok(Number.isInteger(amount) && amount >= 1 && amount <= 100, String(amount));

    const cell = await c.checkZone('band_1');
    assert.deepEqual([cell.name, cell.x, cell.y, cell.width, cell.height], ['band_1', 40, 44, 40, 32]);
    await band.delete();
    assert.equal((await c.checkZone('band_1')).status, 'Deleted');
    assert.equal(await c.checkZone('nothing'), null);
    assert.ok(events.some(([kind, zone, status]) => kind === 'status' && zone === 'band' && status === 'Deleted'));
    await c.close();
  });

  test('a refused command rejects with Tessary\'s text and the client goes on', async () => {
    const c = await open();
    const events = record(c);
    const door = await c.add('door', 20, 50, 120, 20);
    await assert.rejects(c.add('door', 0, 0, 10, 10),
                         (e) => e instanceof CommandError && e.text === "Duplicate zone name 'door'.");
    await assert.rejects(c.displaySize(320, 240), { message: 'display_size: must be set before any zones are created' });
    await assert.rejects(c.zone('ghost').move(1, 2), { message: "Invalid zone or grid name 'ghost'." });
    await assert.rejects(door.pause(-1), { message: 'pause: illegal parameter' });
    await assert.rejects(c.statusMessages('add', 'bogus', 'worse'),
                         (e) => e.texts.length === 2 && e.text === 'status_messages: illegal parameter');
    // Commands called together leave together; each refusal still finds its own command.
    const together = await Promise.allSettled([
      c.add('a', 0, 0, 10, 10), c.add('a', 0, 0, 10, 10), c.checkSensitivity(), c.zone('ghost').delete(),
      c.checkZone('a'), c.statusMessages('bogus'), c.getMirror()]);
    assert.deepEqual(together.map((r) => (r.status === 'fulfilled' ? r.value : r.reason.message)),
                     [c.zone('a'), "Duplicate zone name 'a'.", 50, "Invalid zone or grid name 'ghost'.",
                      { name: 'a', status: 'Created', x: 0, y: 0, width: 10, height: 10, threshold: 20, sensitivity: 50 },
                      'status_messages: illegal parameter', false]);
    // A grid cut down is made: its text comes as an 'error' event.
    await c.grid('odd', 0, 0, 100, 100, 3, 1);
    await c.checkSensitivity();
    assert.ok(events.some(([kind, zone, status]) => kind === 'status' && zone === 'odd' && status === 'Created'));
    assert.ok(events.some(([kind, text]) => kind === 'error' && text.endsWith('grid truncated.')));
    // Names that would split a statement never reach Tessary.
    assert.throws(() => c.add('a;b', 0, 0, 1, 1), RangeError);
    assert.throws(() => c.add('door2', 1.5, 0, 1, 1), TypeError);
    assert.throws(() => c.add('x'.repeat(3000), 0, 0, 1, 1), /cut in two/);

    assert.match(await c.whoareyou(), /^Tessary /);
    assert.equal(await c.checkDataType(), 'commands');
    assert.deepEqual(await Promise.all([c.checkSensitivity(), c.checkThreshold(), c.getMirror()]), [50, 20, false]);
    await c.renderArea(10, 20, 100, 50);
    assert.deepEqual(await c.getRenderArea(), { x: 10, y: 20, width: 100, height: 50 });
    assert.ok(Array.isArray(await c.getLan()));
    // The XML form parses as well.
    await c.setDataType('xml');
    await c.reducedMotion(false);
    assert.equal(await c.checkDataType(), 'xml');
    assert.equal((await c.checkZone('door')).status, 'Created');
    await assert.rejects(c.add('door', 0, 0, 10, 10), { message: "Duplicate zone name 'door'." });
    events.length = 0;
    await sleep(1500);
    assert.ok(events.some(([kind, zone]) => kind === 'hit' && zone === 'door'));
    await c.close();
  });

  test('a wrong code rejects after Tessary\'s answer', async () => {
    await assert.rejects(open({ code: 'wrong' }), (e) => e instanceof LoginError && /wrong code/.test(e.message));
    const c = await open();  // the seat is free again
    await assert.rejects(c.login('wrong'), LoginError);
    await assert.rejects(c.checkSensitivity(), { message: 'Command unavailable, please login.' });
    await c.close();
  });
});

describe('the program goes away', () => {
  let program;
  before(async () => { program = await startProgram(); });
  after(async () => { await program.stop(); });

  test('a silent program times out, one that ends closes the client', async () => {
    let c = await connect({ port: program.port, code: CODE, timeout: 1000 });
    await c.add('door', 20, 50, 120, 20);
    program.signal('SIGSTOP');
    const started = Date.now();
    await assert.rejects(c.checkSensitivity(), (e) => e instanceof AnswerTimeout && /within 1 s/.test(e.message));
    assert.ok(Date.now() - started < 3000);
    assert.equal(await c.closed, 'no answer in time');
    await assert.rejects(c.checkSensitivity(), ConnectionClosed);
    program.signal('SIGCONT');

    c = await connect({ port: program.port, code: CODE });
    await c.add('door', 20, 50, 120, 20);
    const closes = [];
    c.on('close', (reason) => closes.push(reason));
    program.signal('SIGKILL');
    const reason = await Promise.race([c.closed, sleep(5000).then(() => 'still open after 5 s')]);
    assert.equal(reason, 'Tessary closed the connection');
    assert.deepEqual(closes, [reason]);
    await assert.rejects(c.add('window', 0, 0, 10, 10), (e) => e instanceof ConnectionClosed && /closed the connection/.test(e.message));
  });

  test('no program and no WebSocket are clear errors', async () => {
    await program.stop();
    await assert.rejects(connect({ port: program.port, code: CODE }), { code: 'ECONNREFUSED' });
    await assert.rejects(connect({ url: 'ws://127.0.0.1:1/client', code: CODE, WebSocket: null }),
                         (e) => e instanceof TessaryError && /no WebSocket here/.test(e.message));
  });
});
