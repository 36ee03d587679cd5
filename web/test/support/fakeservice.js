// A stand-in for quorix-voted's web face in the browser tests: serves the pages as the service does
// (/overlay/{ch}/{sub}, /vote/{ch}/{sub}, /assets/...) and answers the API and both WebSockets as the
// contract describes, with states the test sets and pushes. As quorix-voted with keys it takes the
// token only as `Authorization: Bearer` and opens WebSockets only with a ticket bought with it, and
// it records every request's address so a test can look for a token in any of them.
import { readFile } from 'node:fs/promises';
import http from 'node:http';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { randomBytes } from 'node:crypto';
import { WebSocketServer } from 'ws';

export const webRoot = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
// Tokens shaped as JSON Web Tokens: good until 2100, and one that expired in 2001.
const jwt = (claims) => ['{"alg":"HS256"}', JSON.stringify(claims), 'signature'].map((part) => Buffer.from(part).toString('base64url')).join('.');
export const kGoodToken = jwt({ sub: '9', exp: 4102444800 });
export const kExpiredToken = jwt({ sub: '9', exp: 1000000000 });
// Good, but its scope lacks events: the vote state is refused 403 naming the scope.
export const kVoteOnlyToken = jwt({ sub: '9', exp: 4102444800, scope: 'vote' });

// The policy quorix-voted sends with the pages, so a page that breaks it fails here too.
const kPagePolicy = "default-src 'self'; img-src 'self' data:; base-uri 'none'; object-src 'none'; frame-ancestors 'none'";
const kTypes = { '.html': 'text/html; charset=utf-8', '.js': 'text/javascript; charset=utf-8', '.css': 'text/css; charset=utf-8' };

export class FakeService {
  constructor() {
    this.vote = null;
    this.history = [];
    this.seq = 0;
    this.eventClients = new Set();
    this.sessionClients = new Set();
    this.received = [];
    this.answer = (request) => ({ result: 0, request });
    this.tickets = null;
    this.sold = new Set();
    this.urls = [];
    this.port = 0;
  }

  get origin() {
    return `http://127.0.0.1:${this.port}`;
  }

  async start() {
    this.server = http.createServer((request, response) => this.serve(request, response));
    this.sockets = new WebSocketServer({ noServer: true });
    this.server.on('upgrade', (request, socket, head) => this.upgrade(request, socket, head));
    await new Promise((resolve) => this.server.listen(this.port, '127.0.0.1', resolve));
    this.port = this.server.address().port;
    return this;
  }

  // Drops every connection and stops listening, as a killed service does.
  async stop() {
    for (const client of [...this.eventClients, ...this.sessionClients]) client.terminate();
    this.server.closeAllConnections();
    await new Promise((resolve) => this.server.close(resolve));
  }

  // As quorix-voted with keys: the uid is required (400), the bearer token must be good (401, with
  // the reason word). Null when the request may go on.
  refusal(url, request) {
    if (!url.searchParams.has('uid')) return { status: 400, error: 'uid missing' };
    const token = /^Bearer (.+)$/.exec(request.headers.authorization ?? '')?.[1];
    if (token === kGoodToken) return null;
    if (token === kVoteOnlyToken) return { status: 403, error: 'token lacks the scope events', field: 'scope' };
    const reason = token === undefined ? 'missing' : token === kExpiredToken ? 'expired' : 'bad-signature';
    return { status: 401, error: `token refused: ${reason}` };
  }

  // A ticket opens one WebSocket: it is gone once used.
  spend(url) {
    return this.sold.delete(url.searchParams.get('ticket'));
  }

  async serve(request, response) {
    const url = new URL(request.url, this.origin);
    this.urls.push(request.url);
    if (url.pathname === '/api/v1/tickets') return this.sellTicket(request, response);
    const api = /^\/api\/v1\/channels\/(\d+)\/(.*)$/.exec(url.pathname);
    if (api) return this.serveApi(url, request, api[2], response);
    const page = /^\/(overlay|vote)\/\d+\/\d+$/.exec(url.pathname);
    const file = page ? `${page[1]}.html` : url.pathname.startsWith('/assets/') ? url.pathname.slice(1) : null;
    if (!file || file.includes('..')) return send(response, 404, 'text/plain', 'not found');
    try {
      const body = await readFile(path.join(webRoot, file));
      if (page) response.setHeader('Content-Security-Policy', kPagePolicy);
      send(response, 200, kTypes[path.extname(file)] ?? 'application/octet-stream', body);
    } catch {
      send(response, 404, 'text/plain', 'not found');
    }
  }

  sellTicket(request, response) {
    if (request.method !== 'POST') return sendJson(response, 405, { error: 'method not allowed' });
    if (request.headers.authorization !== `Bearer ${kGoodToken}`) return sendJson(response, 401, { error: 'token refused: missing' });
    const ticket = randomBytes(24).toString('hex');
    this.sold.add(ticket);
    return sendJson(response, 200, { ticket, expiresIn: 30 });
  }

  serveApi(url, request, rest, response) {
    const refused = this.refusal(url, request);
    if (refused) return sendJson(response, refused.status, { error: refused.error, field: refused.field });
    if (/^subchannels\/\d+\/vote$/.test(rest)) {
      return this.vote ? sendJson(response, 200, this.vote) : sendJson(response, 404, { error: 'no vote' });
    }
    if (rest === 'history') return sendJson(response, 200, { history: this.history });
    return sendJson(response, 404, { error: 'no such path' });
  }

  upgrade(request, socket, head) {
    const url = new URL(request.url, this.origin);
    this.urls.push(request.url);
    const events = /^\/api\/v1\/channels\/\d+\/events$/.test(url.pathname);
    if ((!events && url.pathname !== '/api/v1/session') || !url.searchParams.has('uid') || !this.spend(url)) {
      socket.end('HTTP/1.1 401 Unauthorized\r\nConnection: close\r\n\r\n');
      return;
    }
    this.sockets.handleUpgrade(request, socket, head, (client) => {
      if (events) this.openEvents(client);
      else this.openSession(client);
    });
  }

  openEvents(client) {
    this.eventClients.add(client);
    client.on('close', () => this.eventClients.delete(client));
    client.seq = 0;
    this.sendEvent(client, 'snapshot', this.vote ?? { vote: null });
  }

  sendEvent(client, type, body) {
    client.seq += 1;
    client.send(JSON.stringify({ seq: client.seq, type, channelId: 888, subChannelId: 1, ...body }));
  }

  openSession(client) {
    this.sessionClients.add(client);
    client.on('close', () => this.sessionClients.delete(client));
    client.on('message', (data) => this.onSessionMessage(client, JSON.parse(String(data))));
    if (this.vote) client.send(JSON.stringify({ type: 'vote', ...this.vote }));
  }

  onSessionMessage(client, message) {
    Object.defineProperty(message, 'client', { value: client });
    this.received.push(message);
    if (message.type === 'tickets') {
      if (this.tickets) client.send(JSON.stringify({ type: 'tickets', id: message.id, voteId: message.voteId, ...this.tickets }));
      return;
    }
    const { result } = this.answer(message);
    if (result !== null) this.reply(message, result);
  }

  // The answer to a request; a test that held it back (answer gave result null) sends it here.
  reply(request, result) {
    request.client.send(JSON.stringify({ type: 'result', id: request.id, request: request.type, result, reason: 'r' }));
  }

  // A new state for everybody: an event of the given type on the stream and a broadcast on sessions.
  push(type, state) {
    this.vote = state;
    for (const client of this.eventClients) this.sendEvent(client, type, state);
    for (const client of this.sessionClients) client.send(JSON.stringify({ type: 'vote', ...state }));
  }

  close() {
    const closed = { voteId: this.vote?.vote.voteId ?? 0, jiFangId: this.vote?.jiFangId ?? 0 };
    this.vote = null;
    for (const client of this.eventClients) this.sendEvent(client, 'vote.close', closed);
    for (const client of this.sessionClients) client.send(JSON.stringify({ type: 'close', ...closed }));
  }
}

function send(response, status, type, body) {
  response.writeHead(status, { 'Content-Type': type, 'Cache-Control': 'no-store' });
  response.end(body);
}

function sendJson(response, status, body) {
  send(response, status, 'application/json', JSON.stringify(body));
}
