// The stack under test: scripts/run started in the background on a free
// loopback port, in a run folder of its own under the build folder, with a
// login made for this run; stopped again by stopStack (also when a test
// failed). Nothing else is started here.
import { execFileSync } from 'node:child_process';
import { randomBytes } from 'node:crypto';
import { readFileSync } from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

export const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..', '..');
export const BUILD_DIR = path.resolve(process.env.BUILD_DIR || path.join(ROOT, 'build'));
export const WORK_DIR = path.join(BUILD_DIR, 'browser');
const RUN_DIR = path.join(WORK_DIR, 'run');

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

function runScript(args, env) {
  return execFileSync(path.join(ROOT, 'scripts', 'run'), args, {
    cwd: ROOT,
    env: { ...process.env, RUN_DIR, BUILD_DIR, ...env },
    encoding: 'utf8',
    stdio: ['ignore', 'pipe', 'pipe'],
  });
}

export async function startStack() {
  const user = 'admin';
  const password = randomBytes(12).toString('hex');
  const port = await freePort();
  runScript(['start'], { PORT: String(port), ADMIN_USER: user, ADMIN_PASSWORD: password });
  return {
    url: `http://127.0.0.1:${port}`,
    user,
    password,
    runDir: RUN_DIR,
    policy: readFileSync(path.join(ROOT, 'install', 'content-security-policy'), 'utf8').trim(),
  };
}

export function stopStack() {
  runScript(['stop'], {});
}
