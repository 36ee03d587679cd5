"""Just enough of RFC 6455 for the tests: the handshake, masked text frames out, frames in.

Pings are answered as they are read. Over TLS (WSS) give an ssl.SSLContext. Python 3 standard
library only.
"""

import base64
import hashlib
import json
import os
import queue
import socket
import struct
import threading
import time

GUID = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11"


class WebSocketClient:
    def __init__(self, port, target, timeout=5, ssl_context=None):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        if ssl_context is not None:
            self.sock = ssl_context.wrap_socket(self.sock, server_hostname="127.0.0.1")
        self.timeout = timeout
        # One TLS connection must not read and write at the same time: reads then poll under this
        # lock and sends take it too.
        self._tls_lock = threading.Lock() if ssl_context is not None else None
        self._send_lock = threading.Lock()
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall((f"GET {target} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nUpgrade: websocket\r\n"
                           f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
                           "Sec-WebSocket-Version: 13\r\n\r\n").encode())
        self.buffer = b""
        while b"\r\n\r\n" not in self.buffer:
            self.buffer += self._recv()
        head, self.buffer = self.buffer.split(b"\r\n\r\n", 1)
        lines = head.decode("latin-1").split("\r\n")
        assert lines[0].startswith("HTTP/1.1 101"), lines[0]
        headers = {name.lower(): value.strip() for name, _, value in (line.partition(":") for line in lines[1:])}
        accept = base64.b64encode(hashlib.sha1((key + GUID).encode()).digest()).decode()
        assert headers.get("sec-websocket-accept") == accept, headers

    def wait_forever(self):
        """Reads wait without a time limit from now on."""
        self.timeout = None
        if self._tls_lock is None:
            self.sock.settimeout(None)

    def _recv(self):
        chunk = self._recv_tls() if self._tls_lock is not None else self.sock.recv(65536)
        if not chunk:
            raise AssertionError("the service closed the WebSocket connection")
        return chunk

    def _recv_tls(self):
        deadline = None if self.timeout is None else time.monotonic() + self.timeout
        while True:
            with self._tls_lock:
                self.sock.settimeout(0.05)
                try:
                    return self.sock.recv(65536)
                except socket.timeout:
                    pass
            if deadline is not None and time.monotonic() > deadline:
                raise socket.timeout("timed out")
            time.sleep(0.005)

    def _take(self, n):
        while len(self.buffer) < n:
            self.buffer += self._recv()
        taken, self.buffer = self.buffer[:n], self.buffer[n:]
        return taken

    def _send_frame(self, opcode, payload):
        header = bytes([0x80 | opcode])
        if len(payload) < 126:
            header += bytes([0x80 | len(payload)])
        else:
            header += bytes([0x80 | 126]) + struct.pack(">H", len(payload))
        mask = os.urandom(4)
        frame = header + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
        with self._send_lock:
            if self._tls_lock is None:
                return self.sock.sendall(frame)
            with self._tls_lock:
                self.sock.settimeout(self.timeout or 5)
                self.sock.sendall(frame)

    def send(self, message):
        self._send_frame(0x1, json.dumps(message).encode())

    def receive(self):
        """The next text message as JSON."""
        while True:
            first, second = self._take(2)
            length = second & 0x7F
            if length == 126:
                (length,) = struct.unpack(">H", self._take(2))
            elif length == 127:
                (length,) = struct.unpack(">Q", self._take(8))
            payload = self._take(length)
            opcode = first & 0x0F
            if opcode == 0x1:
                return json.loads(payload.decode("utf-8"))
            if opcode == 0x8:
                raise AssertionError(f"closed by the service: {payload!r}")
            if opcode == 0x9:
                self._send_frame(0xA, payload)

    def receive_type(self, kind):
        while True:
            message = self.receive()
            if message.get("type") == kind:
                return message

    def close(self):
        self.sock.close()


class WebSocketListener:
    """Reads a WebSocket on a thread of its own (answering pings) and keeps every message."""

    def __init__(self, port, target, ssl_context=None):
        self.client = WebSocketClient(port, target, ssl_context=ssl_context)
        self.client.wait_forever()
        self.messages = queue.Queue()
        self.seen = []
        self._thread = threading.Thread(target=self._read, daemon=True)
        self._thread.start()

    def _read(self):
        try:
            while True:
                self.messages.put(self.client.receive())
        except (AssertionError, OSError, ValueError):
            self.messages.put(None)

    def wait_for(self, matches, timeout, what):
        """The first message, seen before or arriving within timeout, for which matches() is true."""
        for message in self.seen:
            if matches(message):
                return message
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                message = self.messages.get(timeout=max(0.01, min(deadline - time.monotonic(), 0.5)))
            except queue.Empty:
                continue
            if message is None:
                raise AssertionError("the WebSocket ended while waiting for " + what)
            self.seen.append(message)
            if matches(message):
                return message
        raise AssertionError("timed out waiting for " + what)

    def send(self, message):
        self.client.send(message)

    def close(self):
        try:
            self.client.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.client.close()
