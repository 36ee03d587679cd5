// A real quorix-voted for the pages to talk to: started with a secret, its host transport and its web
// face on free loopback ports, and a manager connected over the host transport to create votes
// (the web API has no create) while the pages and the API do the rest. With `durable` the votes live
// in SQLite under the run folder, and a restart after kill() comes back on the same two ports.
import { execFileSync, spawn } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { randomBytes } from 'node:crypto';

export const kChannel = 888;
export const kSub = 1;
const kHelloMajor = 1;
const kHello = 1;
const kWelcome = 2;

function u32(value) {
  const bytes = Buffer.alloc(4);
  bytes.writeUInt32LE(value);
  return bytes;
}

function varstr(text) {
  const bytes = Buffer.from(text, 'utf8');
  const length = Buffer.alloc(2);
  length.writeUInt16LE(bytes.length);
  return Buffer.concat([length, bytes]);
}

function frame(major, minor, payload) {
  const head = Buffer.alloc(10);
  head.writeUInt32LE(major, 0);
  head.writeUInt32LE(minor, 4);
  head.writeUInt16LE(payload.length, 8);
  return Buffer.concat([u32(10 + payload.length), head, payload]);
}

export class RealService {
  constructor(votedPath, wirePath, { durable = false } = {}) {
    this.voted = votedPath;
    this.durable = durable;
    this.wire = wirePath;
    this.dir = mkdtempSync(path.join(os.tmpdir(), 'quorix-pages-'));
    this.secret = path.join(this.dir, 'secret');
    writeFileSync(this.secret, `${randomBytes(32).toString('hex')}\n`, { mode: 0o600 });
  }

  async start() {
    const storage = this.durable ? ['--data', path.join(this.dir, 'data')] : ['--memory'];
    const tcp = this.tcpPort ?? 0;
    const http = this.origin ? new URL(this.origin).port : 0;
    // The browser, the hosts and the tests all connect from 127.0.0.1: no per-address limits.
    const unlimited = ['--max-connections-per-address', '0', '--max-new-connections-per-address-per-second', '0'];
    this.process = spawn(this.voted, ['--listen', `127.0.0.1:${tcp}`, '--http', `127.0.0.1:${http}`, ...storage, '--secret-file', this.secret, ...unlimited]);
    let log = '';
    await new Promise((resolve, reject) => {
      const timer = setTimeout(() => reject(new Error(`quorix-voted did not start:\n${log}`)), 10000);
      const read = (chunk) => {
        log += chunk;
        const tcp = /listening on 127\.0\.0\.1:(\d+)/.exec(log);
        const web = /http listening on 127\.0\.0\.1:(\d+)/.exec(log);
        if (tcp && web) {
          clearTimeout(timer);
          this.tcpPort = Number(tcp[1]);
          this.origin = `http://127.0.0.1:${web[1]}`;
          resolve();
        }
      };
      this.process.stdout.on('data', read);
      this.process.stderr.on('data', read);
      this.process.on('exit', (code) => reject(new Error(`quorix-voted exited with ${code}:\n${log}`)));
    });
    return this;
  }

  // Ends the service at once, as a crash would; start() brings it back.
  async kill() {
    if (this.process?.exitCode !== null) return;
    const exited = new Promise((resolve) => this.process.once('exit', resolve));
    this.process.kill('SIGKILL');
    await exited;
  }

  async stop() {
    this.manager?.destroy();
    if (this.process && this.process.exitCode === null) {
      const exited = new Promise((resolve) => this.process.once('exit', resolve));
      this.process.kill('SIGTERM');
      await exited;
    }
    // QUORIX_KEEP_RUN=1 keeps the run folder (hosts' logs, the SQLite file) to look at after a failure.
    if (!process.env.QUORIX_KEEP_RUN) rmSync(this.dir, { recursive: true, force: true });
  }

  // A token of `quorix-voted token` for the user: every scope the role may have unless scope says
  // otherwise ("events vote"), for ttl seconds when given.
  token({ uid, imid = uid, role = 0 }, channel = kChannel, { scope, ttl } = {}) {
    const args = ['token', '--secret-file', this.secret, '--uid', uid, '--imid', imid, '--role', role, '--channel', channel];
    if (scope) args.push('--scope', scope);
    if (ttl) args.push('--ttl', ttl);
    return execFileSync(this.voted, args.map(String), { encoding: 'utf8' }).trim();
  }

  // The identity a page's query or an API request of this user carries (the token goes elsewhere).
  query(user) {
    const { uid, imid = uid, role = 0 } = user;
    return `uid=${uid}&imid=${imid}&role=${role}`;
  }

  // A page's link as hosts hand it out: the identity in the query, the token in the fragment.
  link(page, user, token = this.token(user)) {
    return `${this.origin}/${page}/${kChannel}/${kSub}?${this.query(user)}#token=${encodeURIComponent(token)}`;
  }

  // A request of the API; `body`, when given, is sent as JSON. A 204's body is null.
  async api(method, pathAndQuery, user, { token = this.token(user), body } = {}) {
    const separator = pathAndQuery.includes('?') ? '&' : '?';
    const headers = { Authorization: `Bearer ${token}` };
    if (body !== undefined) headers['Content-Type'] = 'application/json';
    const response = await fetch(`${this.origin}/api/v1${pathAndQuery}${separator}${this.query(user)}`, {
      method,
      headers,
      body: body === undefined ? undefined : JSON.stringify(body),
    });
    return { status: response.status, body: response.status === 204 ? null : await response.json() };
  }

  // A manager's host-transport session; resolves once the service has welcomed it.
  async connectManager(user) {
    const socket = net.connect(this.tcpPort, '127.0.0.1');
    const hello = Buffer.concat([
      u32(user.uid), u32(user.uid), varstr('主持人'), u32(user.role), u32(kChannel), u32(kSub), varstr(this.token(user)),
    ]);
    await new Promise((resolve, reject) => {
      socket.once('error', reject);
      socket.once('connect', resolve);
    });
    socket.write(frame(kHelloMajor, kHello, hello));
    const welcome = await new Promise((resolve) => socket.once('data', resolve));
    if (welcome.readUInt32LE(8) !== kWelcome || welcome.readUInt32LE(14) !== 0) throw new Error('WELCOME refused');
    socket.on('data', () => {});
    this.manager = socket;
  }

  // Sends one vote message, given as quorix-wire's JSON, over the manager's session.
  sendAsManager(message) {
    const hex = execFileSync(this.wire, ['encode'], { input: JSON.stringify(message), encoding: 'utf8' }).trim();
    const bytes = Buffer.from(hex, 'hex');
    this.manager.write(Buffer.concat([u32(bytes.length), bytes]));
  }
}
