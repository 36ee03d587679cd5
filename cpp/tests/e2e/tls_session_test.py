#!/usr/bin/env python3
"""The vote session over TLS: quorix-voted with a certificate of a private CA made for this run.

Hosts given the CA (--ca-file, tls://) connect and vote as usual, the web face answers HTTPS and its
event stream and viewer session run over WSS; a host without the CA, and one meeting a certificate
issued for another name, connect nowhere, say why and stop trying. With tcpdump installed the
loopback traffic is captured meanwhile and must not carry a token, a nick or a vote's name in the
clear. Python 3 standard library and the openssl command.
"""

import argparse
import json
import os
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import time
import urllib.error
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "scripts", "e2e"))
import quorix_e2e as e2e  # noqa: E402
from quorix_e2e import StepFailed, wait_until  # noqa: E402

UNTRUSTED = "投票服务的证书不可信"
STRANGER = {"uid": 20009, "imid": 90009, "nick": "陌生观众", "role": 20}
CAPTURE_MARKER = b"QUORIX-PLAINTEXT-CAPTURE-MARKER"


def openssl(*arguments, cwd):
    subprocess.run(["openssl"] + list(arguments), cwd=cwd, check=True, capture_output=True)


def make_certificates(folder):
    """A private CA, a server certificate for 127.0.0.1 and localhost, one for another name only."""
    openssl("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-days", "2",
            "-subj", "/CN=Quorix test CA", "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign", "-keyout", "ca.key", "-out", "ca.pem", cwd=folder)
    for name, names in (("server", "DNS:localhost,IP:127.0.0.1"), ("other", "DNS:other.invalid")):
        openssl("req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-subj", "/CN=" + name,
                "-keyout", name + ".key", "-out", name + ".csr", cwd=folder)
        with open(os.path.join(folder, name + ".ext"), "w") as out:
            out.write("subjectAltName=%s\nextendedKeyUsage=serverAuth\n" % names)
        openssl("x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                "-days", "2", "-extfile", name + ".ext", "-out", name + ".pem", cwd=folder)
    path = lambda file: os.path.join(folder, file)
    return {"ca": path("ca.pem"), "cert": path("server.pem"), "key": path("server.key"),
            "other_cert": path("other.pem"), "other_key": path("other.key")}


class PacketCapture:
    """tcpdump on the loopback interface for the given ports, or nothing when it cannot run."""

    def __init__(self, folder, ports):
        self.path = os.path.join(folder, "loopback.pcap")
        self.process = None
        self.skipped = None
        program = shutil.which("tcpdump")
        if not program:
            self.skipped = "tcpdump is not installed"
            return
        expression = " or ".join("tcp port %d" % port for port in ports)
        self.stderr_path = os.path.join(folder, "tcpdump.stderr")
        with open(self.stderr_path, "w") as err:
            self.process = subprocess.Popen([program, "-i", "lo", "-U", "-s", "0", "-w", self.path, expression],
                                            stdout=subprocess.DEVNULL, stderr=err)
        try:
            wait_until(self._listening, 10, "tcpdump listens on lo")
        except StepFailed:
            self.stop()
            self.skipped = "tcpdump could not capture: " + open(self.stderr_path).read().strip()

    def _listening(self):
        if self.process.poll() is not None:
            raise StepFailed("tcpdump exited with status %d" % self.process.returncode)
        return "listening on" in open(self.stderr_path).read()

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGINT)
            self.process.wait(10)

    def captured(self):
        with open(self.path, "rb") as capture:
            return capture.read()


class TlsScenario(e2e.Scenario):
    def __init__(self, bin_dir, out_dir, run_dir):
        super().__init__(bin_dir, out_dir, run_dir, tls=make_certificates(run_dir))
        self.capture = None
        self.other_service = None

    def step_capture_starts(self):
        self.capture = PacketCapture(self.run_dir, [self.service.port, self.service.http_port])
        self.note(("packet capture skipped: " + self.capture.skipped) if self.capture.skipped
                  else "tcpdump captures ports %d and %d on lo" % (self.service.port, self.service.http_port))

    def https_get(self, target, context, token=None):
        url = "https://127.0.0.1:%d%s" % (self.service.http_port, target)
        headers = {"Authorization": "Bearer " + token} if token else {}
        with urllib.request.urlopen(urllib.request.Request(url, headers=headers), context=context, timeout=5) as answer:
            return answer.status, json.loads(answer.read().decode())

    def step_https_with_the_ca_only(self):
        target = self.web_target("/api/v1/channels/%d/subchannels/%d/vote" % (e2e.CHANNEL, e2e.SUBCHANNEL),
                                 e2e.VIEWER_A)
        status, body = self.https_get(target, self.web_ssl_context(), self.service.token(e2e.VIEWER_A))
        if status != 200 or body.get("vote", {}).get("name") != "最佳歌手" or body.get("status") != "running":
            raise StepFailed("HTTPS GET of the vote state answered %d %s" % (status, body))
        try:
            self.https_get("/healthz", ssl.create_default_context())
            raise StepFailed("HTTPS with the system's CAs only accepted the test CA's certificate")
        except urllib.error.URLError as error:
            if "CERTIFICATE_VERIFY_FAILED" not in str(error):
                raise StepFailed("HTTPS without the CA failed otherwise than on the certificate: %s" % error)
        with socket.create_connection(("127.0.0.1", self.service.http_port), timeout=5) as plain:
            plain.sendall(b"GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" + CAPTURE_MARKER)
            if plain.recv(4096).startswith(b"HTTP/"):
                raise StepFailed("the TLS port answered plain HTTP")
        self.note("HTTPS GET with the CA: 200, the running vote 最佳歌手; without it: certificate verify failed; "
                  "plain HTTP to the port: no HTTP answer")

    def handshake_failures(self):
        with open(self.service.log_path) as log:
            return sum(1 for line in log if "TLS handshake with" in line)

    def expect_untrusted(self, host, why):
        label = lambda: host.text(e2e.CHANNEL_WINDOW, "connectionLabel") or ""
        wait_until(lambda: UNTRUSTED in label(), 15, "%s: the channel window says %s" % (host.name, UNTRUSTED))
        if why not in label():
            raise StepFailed("%s: the window does not say why (%r): %s" % (host.name, why, label()))
        events = host.text(e2e.CHANNEL_WINDOW, "eventLog") or ""
        if "的证书不可信：" not in events or "不再重试" not in events:
            raise StepFailed("%s: the event log lacks the refusal: %s" % (host.name, events))
        if host.state().get("connected"):
            raise StepFailed("%s: connected despite the certificate" % host.name)

    def expect_stderr_once(self, host, why):
        host.stderr.flush()
        with open(host.stderr.name) as err:
            lines = [line for line in err if "has a certificate this host does not trust" in line]
        if len(lines) != 1 or why not in lines[0] or "not retrying" not in lines[0]:
            raise StepFailed("%s: standard error should say once why it does not trust: %s" % (host.name, lines))

    def step_host_without_the_ca_refuses(self):
        before = self.handshake_failures()
        host = e2e.Host("noCa", STRANGER, self.bin_dir, self.run_dir,
                        ["--service", "tls://127.0.0.1:%d" % self.service.port], self.service.token(STRANGER))
        self.hosts[host.name] = host
        self.expect_untrusted(host, "issuer certificate")
        self.expect_stderr_once(host, "issuer certificate")
        # A host that kept retrying would fail a handshake every backoff step (0.5 s, 1 s, ...).
        time.sleep(2.5)
        failures = self.handshake_failures() - before
        if failures != 1:
            raise StepFailed("the service saw %d failed handshakes from the host without the CA, not 1" % failures)
        self.note("host without the CA: %s…, once on stderr, one failed handshake in the service's log, "
                  "no retries" % UNTRUSTED)
        self.shot(host, e2e.CHANNEL_WINDOW, "untrusted-certificate")

    def step_host_meeting_another_name_refuses(self):
        folder = os.path.join(self.run_dir, "other")
        os.makedirs(folder)
        self.other_service = e2e.Service(self.bin_dir, folder, ["--tls-cert", self.tls["other_cert"], "--tls-key",
                                                                self.tls["other_key"]])
        self.other_service.start()
        host = e2e.Host("wrongName", STRANGER, self.bin_dir, self.run_dir,
                        ["--service", "tls://127.0.0.1:%d" % self.other_service.port, "--ca-file", self.tls["ca"]],
                        self.other_service.token(STRANGER))
        self.hosts[host.name] = host
        self.expect_untrusted(host, "host name did not match")
        self.expect_stderr_once(host, "host name did not match")
        self.note("host with the CA meeting a certificate for other.invalid: refused, host name did not match")

    def step_no_secret_on_the_wire(self):
        tokens = [host.process.args[host.process.args.index("--token") + 1] for host in self.everyone()]
        self.stop_everything()
        if self.capture.skipped:
            self.note("not checked: " + self.capture.skipped)
            return
        self.capture.stop()
        captured = self.capture.captured()
        if CAPTURE_MARKER not in captured:
            raise StepFailed("the capture does not hold the plain bytes sent to the web port: it sees no payload")
        if b"\x17\x03\x03" not in captured:
            raise StepFailed("the capture holds no TLS application data")
        clear = [token for token in tokens if token.encode() in captured or token.split(".")[1].encode() in captured]
        for text in ("频道管理员", "观众甲", "最佳歌手", "一号歌手"):
            if text.encode() in captured:
                clear.append(text)
        if clear:
            raise StepFailed("the capture holds in the clear: %s" % clear)
        self.note("%d bytes captured, TLS application data and the plain control marker in them; no token, "
                  "nick or vote text in the clear" % len(captured))

    def stop_everything(self):
        super().stop_everything()
        if self.other_service:
            self.other_service.stop()
        if self.capture:
            self.capture.stop()

    STEPS = [
        ("packet capture on loopback", step_capture_starts),
        ("service with TLS; hosts with the CA connect", e2e.Scenario.step_start_everything),
        ("manager makes a normal vote in the editor", e2e.Scenario.step_normal_vote_created_in_editor),
        ("manager starts it; WSS event stream and viewer session see it",
         e2e.Scenario.step_normal_vote_started_from_list),
        ("viewers vote on the hosts and over WSS", e2e.Scenario.step_viewers_vote_within_and_beyond_allowance),
        ("HTTPS answers with the CA only", step_https_with_the_ca_only),
        ("a host without the CA refuses the service once", step_host_without_the_ca_refuses),
        ("a host meeting another name's certificate refuses it", step_host_meeting_another_name_refuses),
        ("no token, nick or vote text on the wire", step_no_secret_on_the_wire),
    ]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin-dir", required=True, help="folder with tovo-host, quorix-voted and the add-on")
    parser.add_argument("--out", default="out/tls", help="folder for screenshots, report.txt and the logs")
    options = parser.parse_args()
    if not shutil.which("openssl"):
        print("openssl command not found: install openssl (scripts/setup)", file=sys.stderr)
        return 1
    out_dir = os.path.abspath(options.out)
    os.makedirs(out_dir, exist_ok=True)
    return e2e.run_in_scratch_folder(lambda run_dir: TlsScenario(os.path.abspath(options.bin_dir), out_dir, run_dir),
                                     out_dir, False, "quorix-tls-")


if __name__ == "__main__":
    sys.exit(main())
