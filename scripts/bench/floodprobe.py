#!/usr/bin/env python3
"""Measures what hostile clients cost quorix-voted on loopback.

  floodprobe.py move QUORIX_VOTED [--seconds 5] [--vote] [--reconnect]
      One client sends MOVE frames (sub-channel 20 and 21 in turn) as fast as it can for a fixed
      time; with --vote a manager first starts a vote in sub-channel 20. Prints the frames and bytes
      sent, the bytes that came back, how long the connection lasted, and the service's processor
      time (utime + stime from /proc). With --reconnect a dropped flooder connects again.

  floodprobe.py partial QUORIX_VOTED [--clients 1000] [--wait 8]
      That many clients each send the first 65000 bytes of a 65545-byte frame after WELCOME and
      stop. Prints the service's resident memory before, with the frames parked, and --wait seconds
      later, with the number of connections still open.
"""

import argparse
import os
import resource
import select
import socket
import struct
import subprocess
import threading
import time


def frame(major, minor, payload):
    body = struct.pack("<IIH", major, minor, len(payload)) + payload
    return struct.pack("<I", len(body)) + body


def varstr(text):
    data = text.encode()
    return struct.pack("<H", len(data)) + data


def hello(uid, role, sub, channel=10):
    payload = struct.pack("<II", uid, uid + 90000) + varstr("user%d" % uid)
    payload += struct.pack("<III", role, channel, sub) + varstr("")
    return frame(1, 1, payload)


def u32map(entries):
    out = struct.pack("<I", len(entries))
    for key, value in sorted(entries.items()):
        out += struct.pack("<I", key) + (varstr(value) if isinstance(value, str) else struct.pack("<I", value))
    return out


def normal_vote(name, options, limit_seconds):
    out = struct.pack("<III", 0, 0, 0) + varstr(name) + varstr("") + struct.pack("<IIII", limit_seconds, 0, 0, 0)
    out += varstr("") + varstr("") + varstr("") + struct.pack("<I", 0)
    out += u32map({0: 1, 1: 1}) + u32map({i: "option %d" % i for i in range(options)})
    out += u32map({}) * 5  # optionTickets, optionGroup, groupNames, judgeOrder, judges
    out += u32map({})  # auxMap
    return out


def read_frame(sock):
    def exact(n):
        data = b""
        while len(data) < n:
            chunk = sock.recv(n - len(data))
            if not chunk:
                raise ConnectionError("closed")
            data += chunk
        return data

    length = struct.unpack("<I", exact(4))[0]
    body = exact(length)
    major, minor, size = struct.unpack("<IIH", body[:10])
    return major, minor, body[10:]


def wait_for(sock, minor):
    while True:
        got_major, got_minor, payload = read_frame(sock)
        if got_major == 2500 and got_minor == minor:
            return payload


def connect(port, uid, role, sub):
    sock = socket.create_connection(("127.0.0.1", port))
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    sock.sendall(hello(uid, role, sub))
    major, minor, payload = read_frame(sock)
    result = struct.unpack("<I", payload[:4])[0]
    if (major, minor, result) != (1, 2, 0):
        raise RuntimeError("not welcomed: %d" % result)
    return sock


def start_service(binary, extra=()):
    raise_limit()
    # Every client is on 127.0.0.1: without lifting the per-address limits most would be refused.
    proc = subprocess.Popen([binary, "--listen", "127.0.0.1:0", "--memory", "--max-connections-per-address", "0",
                             "--max-new-connections-per-address-per-second", "0", *extra],
                            stderr=subprocess.PIPE, text=True)
    line = proc.stderr.readline()
    port = int(line.split("listening on 127.0.0.1:")[1].split(",")[0])
    threading.Thread(target=lambda: [None for _ in proc.stderr], daemon=True).start()
    return proc, port


def raise_limit():
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))


def cpu_seconds(pid):
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def rss_kib(pid):
    for line in open("/proc/%d/status" % pid):
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0


def start_vote(port):
    manager = connect(port, 1, 255, 20)
    manager.sendall(frame(2500, 1, struct.pack("<II", 10, 20) + normal_vote("flood", 3, 9999) + u32map({})))
    vote_id = struct.unpack("<II", wait_for(manager, 2)[:8])[1]
    manager.sendall(frame(2500, 5, struct.pack("<IIII", 10, 20, vote_id, 1) + u32map({})))
    wait_for(manager, 6)
    return manager


class Flooder:
    def __init__(self, port, seconds, reconnect):
        self.port, self.seconds, self.reconnect = port, seconds, reconnect
        self.frames = self.sent = self.received = self.connections = 0
        self.first_cut_after = None

    def run(self):
        batch = (frame(1, 3, struct.pack("<I", 20)) + frame(1, 3, struct.pack("<I", 21))) * 4096
        per_batch = 2 * 4096
        start = time.monotonic()
        deadline = start + self.seconds
        while time.monotonic() < deadline and self.frames < 1_000_000_000:
            sock = connect(self.port, 2, 0, 21)
            self.connections += 1
            reader = threading.Thread(target=self.drain, args=(sock,), daemon=True)
            reader.start()
            try:
                while time.monotonic() < deadline and self.frames < 1_000_000_000:
                    sock.sendall(batch)
                    self.frames += per_batch
                    self.sent += len(batch)
            except OSError:
                if self.first_cut_after is None:
                    self.first_cut_after = time.monotonic() - start
            self.elapsed = time.monotonic() - start
            sock.close()
            reader.join(2)
            if not self.reconnect:
                break

    def drain(self, sock):
        try:
            while True:
                data = sock.recv(1 << 16)
                if not data:
                    return
                self.received += len(data)
        except OSError:
            return


def move_flood(args):
    proc, port = start_service(args.binary)
    try:
        manager = start_vote(port) if args.vote else None
        before = cpu_seconds(proc.pid)
        flooder = Flooder(port, args.seconds, args.reconnect)
        flooder.run()
        time.sleep(0.5)
        spent = cpu_seconds(proc.pid) - before
        print("MOVE frames sent %d (%.1f MB) in %.1f s over %d connection(s); first cut after %s"
              % (flooder.frames, flooder.sent / 1e6, flooder.elapsed, flooder.connections,
                 "%.2f s" % flooder.first_cut_after if flooder.first_cut_after is not None else "never"))
        print("bytes back to the flooder %d; service processor time %.2f s" % (flooder.received, spent))
        if manager:
            manager.close()
    finally:
        proc.terminate()
        proc.wait()


def parked_partials(args):
    proc, port = start_service(args.binary, ["--max-sessions", str(args.clients + 100)])
    try:
        time.sleep(0.3)
        idle = rss_kib(proc.pid)
        head = struct.pack("<IIIH", 65545, 2500, 28, 65535)
        part = head + b"x" * (65000 - len(head))
        clients = []
        for i in range(args.clients):
            sock = connect(port, 1000 + i, 0, 20)
            sock.sendall(part)
            clients.append(sock)
        time.sleep(1.0)
        parked = rss_kib(proc.pid)
        time.sleep(args.wait)
        later = rss_kib(proc.pid)
        still_open = 0
        for sock in clients:
            readable, _, _ = select.select([sock], [], [], 0)
            try:
                closed = bool(readable) and sock.recv(1) == b""
            except OSError:
                closed = True
            still_open += not closed
        print("RSS idle %d KiB, %d partial frames parked %d KiB (+%d KiB), %.0f s later %d KiB; %d of %d "
              "connections still open" % (idle, args.clients, parked, parked - idle, args.wait + 1, later,
                                          still_open, args.clients))
        for sock in clients:
            sock.close()
    finally:
        proc.terminate()
        proc.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("mode", choices=["move", "partial"])
    parser.add_argument("binary")
    parser.add_argument("--seconds", type=float, default=5)
    parser.add_argument("--vote", action="store_true")
    parser.add_argument("--reconnect", action="store_true")
    parser.add_argument("--clients", type=int, default=1000)
    parser.add_argument("--wait", type=float, default=8)
    args = parser.parse_args()
    move_flood(args) if args.mode == "move" else parked_partials(args)


if __name__ == "__main__":
    main()
