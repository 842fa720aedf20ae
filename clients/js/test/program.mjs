// Starts the tessary program on the demo camera for a test: its own runtime
// folder (so its own single-copy guard), code file and ephemeral port.
import { spawn } from 'node:child_process';
import { accessSync, constants, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

export const CODE = 's3cret';
const repository = resolve(dirname(fileURLToPath(import.meta.url)), '../../..');

function programPath() {
  const path = process.env.TESSARY_PROGRAM || join(repository, 'build/release/src/shell/tessary');
  try {
    accessSync(path, constants.X_OK);
  } catch {
    throw new Error(`the tessary program is missing at ${path}: build it (bash tools/run.sh --version) or name it in TESSARY_PROGRAM`);
  }
  return path;
}

export async function startProgram() {
  const folder = mkdtempSync(join(tmpdir(), 'tessary-client-'));
  const codeFile = join(folder, 'code.dat');
  writeFileSync(codeFile, CODE);
  const child = spawn(programPath(), ['--camera', 'demo', '--headless', '--listen', '127.0.0.1', '--port', '0',
                                      '--web-port', 'off', '--code-file', codeFile],
                      { env: { ...process.env, XDG_RUNTIME_DIR: folder, XDG_CONFIG_HOME: folder },
                        stdio: ['ignore', 'pipe', 'pipe'] });
  let errors = '';
  child.stderr.on('data', (chunk) => { errors += chunk; });
  const exited = new Promise((done) => child.once('exit', done));
  const port = await new Promise((done, fail) => {
    let output = '';
    const timer = setTimeout(() => fail(new Error(`no listening line: ${output} ${errors}`)), 15000);
    child.stdout.on('data', (chunk) => {
      output += chunk;
      const match = / listening on port (\d+)\n/.exec(output);
      if (match) { clearTimeout(timer); done(Number(match[1])); }
    });
    child.once('exit', () => { clearTimeout(timer); fail(new Error(`the program ended: ${errors}`)); });
  });
  return {
    port,
    signal: (name) => child.kill(name),
    async stop() {
      if (child.exitCode === null && child.signalCode === null) {
        child.kill('SIGCONT');
        child.kill('SIGTERM');
        const timer = setTimeout(() => child.kill('SIGKILL'), 10000);
        await exited;
        clearTimeout(timer);
      }
      rmSync(folder, { recursive: true, force: true });
    },
  };
}

export const sleep = (ms) => new Promise((done) => setTimeout(done, ms));
