// A real tovo-host in automation mode (offscreen) connected to a RealService, driven through its
// automation socket with the same JSON commands tovo-hostctl sends.
import { spawn } from 'node:child_process';
import net from 'node:net';
import path from 'node:path';
import { kChannel, kSub } from './realservice.js';

export const kChannelWindow = 'channelWindow';
export const kManagement = '频道投票设置';
export const kNormal = '普通投票';

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Polls probe until it gives a true value; `what` (text, or a function giving it) names the failure.
export async function until(probe, what, timeout = 10000) {
  const deadline = Date.now() + timeout;
  let last;
  for (;;) {
    last = await probe();
    if (last) return last;
    if (Date.now() > deadline) throw new Error(`${typeof what === 'function' ? await what() : what} (waited ${timeout} ms)`);
    await sleep(100);
  }
}

export class RealHost {
  // user: { uid, imid, nick, role }.
  constructor(hostPath, service, name, user) {
    this.name = name;
    this.user = user;
    this.socketPath = path.join(service.dir, `${name}.sock`);
    this.log = '';
    const args = ['--offscreen', '--automation', this.socketPath, '--service', `127.0.0.1:${service.tcpPort}`,
      '--web-url', service.origin, '--uid', user.uid, '--imid', user.imid, '--nick', user.nick, '--role', user.role,
      '--channel', kChannel, '--subchannel', kSub];
    this.process = spawn(hostPath, args.map(String), {
      env: { ...process.env, QT_QPA_PLATFORM: 'offscreen', QUORIX_TOKEN: service.token(user), FENBASE_LOG_FILE: path.join(service.dir, `${name}.log`) },
    });
    this.process.stdout.on('data', (chunk) => { this.log += chunk; });
    this.process.stderr.on('data', (chunk) => { this.log += chunk; });
    this.pending = [];
    this.buffer = '';
  }

  async connect() {
    await until(() => new Promise((resolve) => {
      if (this.process.exitCode !== null) throw new Error(`${this.name}: tovo-host exited:\n${this.log}`);
      const socket = net.connect(this.socketPath);
      socket.once('connect', () => { this.socket = socket; resolve(true); });
      socket.once('error', () => resolve(false));
    }), `${this.name}: automation socket`);
    this.socket.setEncoding('utf8');
    this.socket.on('data', (chunk) => {
      this.buffer += chunk;
      for (let end = this.buffer.indexOf('\n'); end >= 0; end = this.buffer.indexOf('\n')) {
        const line = this.buffer.slice(0, end);
        this.buffer = this.buffer.slice(end + 1);
        this.pending.shift()?.(JSON.parse(line));
      }
    });
  }

  command(request) {
    return new Promise((resolve) => {
      this.pending.push(resolve);
      this.socket.write(`${JSON.stringify(request)}\n`);
    });
  }

  async must(request) {
    const answer = await this.command(request);
    if (!answer.ok) throw new Error(`${this.name}: ${JSON.stringify(request)} failed: ${answer.error}`);
    return answer;
  }

  async text(window, widget) {
    const answer = await this.command({ cmd: 'text', window, widget });
    return answer.ok ? answer.text : null;
  }

  async click(window, widget) {
    await this.must({ cmd: 'hover', window, widget });
    await this.must({ cmd: 'click', window, widget });
  }

  async ready() {
    await this.connect();
    await until(async () => {
      const state = await this.must({ cmd: 'state' });
      return state.addonLoaded && state.connected;
    }, `${this.name}: add-on loaded and connected`, 25000);
  }

  async shown(title) {
    const { windows } = await this.must({ cmd: 'windows' });
    return windows.some((window) => window.title === title && window.visible);
  }

  // { option text: count text } as the host's normal vote window shows them.
  async normalCounts() {
    const counts = {};
    for (let i = 0; i < 10; i += 1) {
      const name = await this.text(kNormal, `LableLeft${i}`);
      if (name) counts[name] = await this.text(kNormal, `LableRight${i}`);
    }
    return counts;
  }

  async quit() {
    if (this.process.exitCode !== null) return;
    const exited = new Promise((resolve) => this.process.once('exit', resolve));
    if (this.socket) this.socket.write('{"cmd":"quit"}\n');
    else this.process.kill('SIGTERM');
    const timer = setTimeout(() => this.process.kill('SIGKILL'), 10000);
    await exited;
    clearTimeout(timer);
    this.socket?.destroy();
  }
}
