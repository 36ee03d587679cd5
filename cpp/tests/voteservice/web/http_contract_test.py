#!/usr/bin/env python3
"""The web face of quorix-voted against its documents: starts the service with --http and a secret,
runs a vote through the host transport and the HTTP API, stores, reads, replaces and deletes votes of
each kind over the API, and checks every JSON answer against the schema docs/openapi.yaml gives for its
path, method and status, the history CSV with Python's csv
module, the first event of the SSE stream, /metrics with prometheus_client's parser, stream tickets,
the scope and origin refusals and the header set. The web face's tokens are JSON Web Tokens made by
Python's jwt, an implementation independent of the service's.

usage: http_contract_test.py --voted PATH --wire PATH --openapi PATH
"""

import argparse
import csv
import hashlib
import hmac
import http.server
import http.client
import io
import json
import os
import re
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.error
import urllib.parse
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support", "python"))
from websocketclient import WebSocketClient  # noqa: E402

import jsonschema
import jwt
import yaml
from prometheus_client.parser import text_string_to_metric_families

ARGS = None
CHANNEL = 888
SUB = 1
MANAGER = {"uid": 10001, "imid": 90001, "role": 255}
VIEWER = {"uid": 20001, "imid": 90002, "role": 20}

VOTE_MAJOR = 2500
CONTROL_MAJOR = 1
HELLO, WELCOME = 1, 2
CREATE_REQ, CREATE_RES = 1, 2
USER_VOTE_REQ, USER_VOTE_RES = 13, 14
BROADCAST_VOTE = 27


# ---- the OpenAPI document ---------------------------------------------------------------------


class OpenApi:
    """Response schemas of docs/openapi.yaml as JSON Schema, $refs resolved, nullable translated."""

    def __init__(self, path):
        with open(path, encoding="utf-8") as f:
            self.document = yaml.safe_load(f)

    def resolve(self, node):
        if isinstance(node, dict):
            if "$ref" in node:
                target = self.document
                for part in node["$ref"].lstrip("#/").split("/"):
                    target = target[part]
                return self.resolve(target)
            resolved = {key: self.resolve(value) for key, value in node.items() if key != "nullable"}
            if node.get("nullable"):
                return {"anyOf": [resolved, {"type": "null"}]}
            return resolved
        if isinstance(node, list):
            return [self.resolve(item) for item in node]
        return node

    def response(self, path, method, status):
        operation = self.document["paths"][path][method.lower()]
        responses = operation["responses"]
        if str(status) not in responses:
            raise AssertionError(f"{method} {path} answered {status}, which the document does not list")
        return self.resolve(responses[str(status)])

    def schema(self, path, method, status, content_type):
        content = self.response(path, method, status).get("content", {})
        if content_type not in content:
            raise AssertionError(f"{method} {path} {status}: {content_type} not documented ({list(content)})")
        return content[content_type]["schema"]

    def component(self, name):
        return self.resolve({"$ref": "#/components/schemas/" + name})


# ---- the service ------------------------------------------------------------------------------


class Service:
    """quorix-voted with --http on free ports; its log is read on a thread."""

    def __init__(self, folder, storage=("--memory",)):
        self.secret = os.path.join(folder, "secret")
        with open(self.secret, "w") as f:
            f.write("contract-test-secret-0123456789abcdef\n")
        os.chmod(self.secret, 0o600)
        self.log = []
        self.ports = {}
        self.ready = threading.Event()
        # Every request is a fresh loopback connection: no per-address limits.
        self.process = subprocess.Popen(
            [ARGS.voted, "--listen", "127.0.0.1:0", "--http", "127.0.0.1:0", "--secret-file", self.secret,
             *storage, "--max-connections-per-address", "0", "--max-new-connections-per-address-per-second", "0"],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, encoding="utf-8")
        threading.Thread(target=self._read_log, daemon=True).start()
        if not self.ready.wait(20):
            self.stop()
            raise AssertionError("no listening lines in the log:\n" + "".join(self.log))

    def _read_log(self):
        for line in self.process.stderr:
            self.log.append(line)
            tcp = re.search(r" listening on 127\.0\.0\.1:(\d+),", line)
            http = re.search(r"http listening on 127\.0\.0\.1:(\d+)", line)
            if tcp:
                self.ports["tcp"] = int(tcp.group(1))
            if http:
                self.ports["http"] = int(http.group(1))
            if "tcp" in self.ports and "http" in self.ports:
                self.ready.set()

    def web_token(self, who, scope="events vote manage", lifetime=600):
        """A JSON Web Token of who's claims, signed by Python's jwt, for the web face and the HELLO."""
        with open(self.secret) as f:
            key = f.read().rstrip("\r\n")
        now = int(time.time())
        claims = {"sub": str(who["uid"]), "imid": who["imid"], "role": who["role"], "channel": CHANNEL,
                  "scope": scope, "iat": now, "exp": now + lifetime}
        return jwt.encode(claims, key, algorithm="HS256")

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


class HostClient:
    """A host on the TCP transport; vote bodies are built and read by quorix-wire."""

    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=5)
        self.buffer = b""

    @staticmethod
    def varstr(text):
        data = text.encode("utf-8")
        return struct.pack("<H", len(data)) + data

    def send_frame(self, major, minor, payload):
        frame = struct.pack("<IIH", major, minor, len(payload)) + payload
        self.sock.sendall(struct.pack("<I", len(frame)) + frame)

    def read_frame(self):
        while True:
            if len(self.buffer) >= 4:
                (length,) = struct.unpack_from("<I", self.buffer)
                if len(self.buffer) >= 4 + length:
                    frame = self.buffer[4:4 + length]
                    self.buffer = self.buffer[4 + length:]
                    major, minor, _ = struct.unpack_from("<IIH", frame)
                    return major, minor, frame
            chunk = self.sock.recv(65536)
            if not chunk:
                raise AssertionError("the service closed the connection")
            self.buffer += chunk

    def hello(self, who, token, nick, sub=SUB):
        body = struct.pack("<II", who["uid"], who["imid"]) + self.varstr(nick)
        body += struct.pack("<III", who["role"], CHANNEL, sub) + self.varstr(token)
        self.send_frame(CONTROL_MAJOR, HELLO, body)
        major, minor, frame = self.read_frame()
        assert (major, minor) == (CONTROL_MAJOR, WELCOME), (major, minor)
        return struct.unpack_from("<I", frame, 10)[0]

    def send_vote(self, minor, body):
        document = json.dumps({"maxType": VOTE_MAJOR, "minType": minor, "body": body})
        hex_frame = subprocess.run([ARGS.wire, "encode"], input=document, check=True, capture_output=True,
                                   text=True).stdout.strip()
        frame = bytes.fromhex(hex_frame)
        self.sock.sendall(struct.pack("<I", len(frame)) + frame)

    def wait_for(self, minor):
        while True:
            major, got, frame = self.read_frame()
            if major == VOTE_MAJOR and got == minor:
                decoded = subprocess.run([ARGS.wire, "decode", "--hex", frame.hex()], check=True,
                                         capture_output=True, text=True).stdout
                return json.loads(decoded)["body"]

    def close(self):
        self.sock.close()


# ---- HTTP -------------------------------------------------------------------------------------


class Answer:
    def __init__(self, status, headers, body):
        self.status = status
        self.headers = headers
        self.body = body

    @property
    def content_type(self):
        return self.headers.get("Content-Type", "").split(";")[0].strip()

    def json(self):
        return json.loads(self.body.decode("utf-8"))


def request(method, target, token=None, headers=None, body=None):
    url = f"http://127.0.0.1:{SERVICE.ports['http']}{target}"
    sent = dict(headers or {})
    if token:
        sent["Authorization"] = "Bearer " + token
    if body is not None:
        sent["Content-Type"] = "application/json"
    req = urllib.request.Request(url, method=method, headers=sent, data=body)
    try:
        with urllib.request.urlopen(req, timeout=10) as response:
            return Answer(response.status, response.headers, response.read())
    except urllib.error.HTTPError as error:
        return Answer(error.code, error.headers, error.read())


def query(who, **extra):
    parameters = {"uid": who["uid"], "imid": who["imid"], "role": who["role"]}
    parameters.update(extra)
    return "?" + urllib.parse.urlencode(parameters)


def metric_values(text):
    values = {}
    for family in text_string_to_metric_families(text):
        for sample in family.samples:
            values[(sample.name, tuple(sorted(sample.labels.items())))] = sample.value
    return values


SERVICE = None
OPENAPI = None


class HttpContractTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        global SERVICE, OPENAPI
        cls.folder = tempfile.TemporaryDirectory()
        OPENAPI = OpenApi(ARGS.openapi)
        SERVICE = Service(cls.folder.name)
        cls.manager_token = SERVICE.web_token(MANAGER)
        cls.viewer_token = SERVICE.web_token(VIEWER, "events vote")

    @classmethod
    def tearDownClass(cls):
        SERVICE.stop()
        cls.folder.cleanup()

    def documented(self, answer, path, method="GET"):
        """Checks the answer against the document; returns its JSON body (None for other types)."""
        documented_types = OPENAPI.response(path, method, answer.status).get("content", {})
        if not documented_types:
            self.assertEqual(answer.body, b"", f"{method} {path} {answer.status} has no documented body")
            return None
        self.assertIn(answer.content_type, documented_types,
                      f"{method} {path} {answer.status}: {answer.content_type} not documented")
        if answer.content_type != "application/json":
            return None
        body = answer.json()
        jsonschema.validate(body, OPENAPI.schema(path, method, answer.status, "application/json"))
        return body

    def metrics(self):
        answer = request("GET", "/metrics")
        self.assertEqual(answer.status, 200)
        self.documented(answer, "/metrics")
        self.assertIn("version=0.0.4", answer.headers.get("Content-Type", ""))
        return metric_values(answer.body.decode("utf-8"))

    def test_a_vote_through_both_faces(self):
        vote_path = "/api/v1/channels/{ch}/subchannels/{sub}/vote"
        state_target = f"/api/v1/channels/{CHANNEL}/subchannels/{SUB}/vote"
        health = request("GET", "/healthz")
        self.assertEqual(health.status, 200)
        self.assertEqual(self.documented(health, "/healthz"), {"status": "ok"})
        before = self.metrics()

        manager = HostClient(SERVICE.ports["tcp"])
        viewer = HostClient(SERVICE.ports["tcp"])
        self.assertEqual(manager.hello(MANAGER, self.manager_token, "频道管理员"), 0)
        self.assertEqual(viewer.hello(VIEWER, self.viewer_token, "观众甲"), 0)
        options = {"1": "甲, \"first\"", "2": "乙\r\nsecond line", "3": "=SUM(A1)"}
        manager.send_vote(CREATE_REQ, {"channelId": CHANNEL, "subChannelId": SUB, "vote": {
            "name": "今晚最佳, \"live\"", "limitTime": 300, "voteType": 0, "limits": {"0": 1, "1": 1},
            "options": options}})
        created = manager.wait_for(CREATE_RES)
        self.assertEqual(created["result"], 0)
        vote_id = created["voteId"]

        nothing = request("GET", state_target + query(VIEWER), self.viewer_token)
        self.assertEqual(nothing.status, 404)
        self.assertEqual(self.documented(nothing, vote_path)["error"], "no vote")

        listed = request("GET", f"/api/v1/channels/{CHANNEL}/votes" + query(MANAGER, sub=SUB), self.manager_token)
        self.assertEqual(listed.status, 200)
        votes = self.documented(listed, "/api/v1/channels/{ch}/votes")["votes"]
        self.assertEqual([vote["voteId"] for vote in votes], [vote_id])
        self.assertEqual(votes[0]["options"], options)

        manage = "/api/v1/channels/{ch}/votes/{id}/"
        # The starter's nick (the history's started_by) comes from the query, as a HELLO's does.
        started = request("POST", f"/api/v1/channels/{CHANNEL}/votes/{vote_id}/start"
                          + query(MANAGER, sub=SUB, nick="频道管理员"), self.manager_token)
        self.assertEqual(started.status, 200, started.body)
        started_body = self.documented(started, manage + "start", "POST")
        self.assertEqual(started_body["result"], 0)
        round_id = started_body["jiFangId"]
        again = request("POST", f"/api/v1/channels/{CHANNEL}/votes/{vote_id}/start" + query(MANAGER, sub=SUB),
                        self.manager_token)
        self.assertEqual(again.status, 409)
        self.assertEqual(self.documented(again, manage + "start", "POST")["result"], 4)

        opening = viewer.wait_for(BROADCAST_VOTE)
        viewer.send_vote(USER_VOTE_REQ, {"channelId": CHANNEL, "subChannelId": SUB, "voteId": vote_id,
                                         "voteType": 0, "jiFangId": opening["jiFangId"], "uid": VIEWER["uid"],
                                         "optionId": 2, "tickets": 1})
        self.assertEqual(viewer.wait_for(USER_VOTE_RES)["result"], 0)
        viewer.send_vote(USER_VOTE_REQ, {"channelId": CHANNEL, "subChannelId": SUB, "voteId": vote_id,
                                         "voteType": 0, "jiFangId": opening["jiFangId"], "uid": VIEWER["uid"],
                                         "optionId": 1, "tickets": 1})
        self.assertEqual(viewer.wait_for(USER_VOTE_RES)["result"], 11)  # no tickets left

        state = request("GET", state_target + query(VIEWER), self.viewer_token)
        self.assertEqual(state.status, 200)
        shown = self.documented(state, vote_path)
        self.assertEqual((shown["channelId"], shown["subChannelId"], shown["status"]), (CHANNEL, SUB, "running"))
        self.assertEqual(shown["jiFangId"], opening["jiFangId"])
        self.assertEqual(shown["vote"]["optionTickets"]["2"], 1)
        self.assertGreater(shown["remainingSeconds"], 0)
        self.first_event_is_a_snapshot_of(shown)

        after = self.metrics()
        moved = lambda name, **labels: (after.get((name, tuple(sorted(labels.items()))), 0)
                                        - before.get((name, tuple(sorted(labels.items()))), 0))
        self.assertEqual(moved("quorix_votes_accepted_total"), 1)
        self.assertEqual(moved("quorix_requests_total", message="vote", result="0"), 1)
        self.assertEqual(moved("quorix_requests_total", message="vote", result="11"), 1)
        self.assertEqual(moved("quorix_requests_total", message="start", result="0"), 1)
        self.assertEqual(moved("quorix_requests_total", message="start", result="4"), 1)
        self.assertGreaterEqual(moved("quorix_broadcasts_total"), 1)
        self.assertGreater(moved("quorix_bytes_sent_total", transport="tcp"), 0)
        self.assertEqual(after[("quorix_sessions", (("transport", "tcp"),))], 2)
        self.assertGreater(after[("process_start_time_seconds", ())], 1.7e9)

        # Stop takes the running vote's round; the ended vote's close names it (from the start answer).
        for action, parameters in (("stop", {}), ("close", {"jiFangId": round_id})):
            done = request("POST", f"/api/v1/channels/{CHANNEL}/votes/{vote_id}/{action}"
                           + query(MANAGER, sub=SUB, **parameters), self.manager_token)
            self.assertEqual(done.status, 200, done.body)
            self.documented(done, manage + action, "POST")
        gone = request("POST", f"/api/v1/channels/{CHANNEL}/votes/{vote_id}/close"
                       + query(MANAGER, sub=SUB, jiFangId=round_id), self.manager_token)
        self.assertEqual(gone.status, 404)
        self.documented(gone, manage + "close", "POST")

        self.history_shows(vote_id, options)
        manager.close()
        viewer.close()

    def ticket(self, token):
        answer = request("POST", "/api/v1/tickets", token)
        self.assertEqual(answer.status, 200, answer.body)
        body = self.documented(answer, "/api/v1/tickets", "POST")
        self.assertEqual(body["expiresIn"], 30)
        return body["ticket"]

    def first_event_is_a_snapshot_of(self, shown):
        target = f"/api/v1/channels/{CHANNEL}/events" + query(VIEWER, sub=SUB, ticket=self.ticket(self.viewer_token))
        url = f"http://127.0.0.1:{SERVICE.ports['http']}{target}"
        req = urllib.request.Request(url, headers={"Accept": "text/event-stream"})
        with urllib.request.urlopen(req, timeout=10) as stream:
            self.assertEqual(stream.status, 200)
            self.assertEqual(stream.headers.get("Content-Type", "").split(";")[0], "text/event-stream")
            fields = {}
            for raw in stream:
                line = raw.decode("utf-8").rstrip("\r\n")
                if not line:
                    break
                name, _, value = line.partition(": ")
                fields[name] = value
        self.assertEqual((fields.get("id"), fields.get("event")), ("1", "snapshot"))
        event = json.loads(fields["data"])
        jsonschema.validate(event, OPENAPI.component("Event"))
        self.assertEqual((event["seq"], event["type"]), (1, "snapshot"))
        self.assertEqual({key: event[key] for key in ("status", "jiFangId")},
                         {key: shown[key] for key in ("status", "jiFangId")})
        self.assertEqual(event["vote"]["optionTickets"], shown["vote"]["optionTickets"])

    def history_shows(self, vote_id, options):
        path = "/api/v1/channels/{ch}/history"
        target = f"/api/v1/channels/{CHANNEL}/history" + query(VIEWER, sub=SUB)
        answer = request("GET", target, self.viewer_token)
        self.assertEqual(answer.status, 200)
        history = self.documented(answer, path)["history"]
        self.assertEqual(len(history), 1)
        record = history[0]
        self.assertEqual(record["name"], "今晚最佳, \"live\"")
        self.assertEqual(record["adminNick"], "频道管理员")
        self.assertEqual(record["optionTickets"], {"1": 0, "2": 1, "3": 0})

        answer = request("GET", target + "&format=csv", self.viewer_token)
        self.assertEqual(answer.status, 200)
        self.documented(answer, path)
        self.assertEqual(answer.content_type, "text/csv")
        self.assertTrue(answer.body.startswith(b"\xef\xbb\xbf"), "no byte-order mark")
        text = answer.body.decode("utf-8-sig")
        self.assertTrue(text.endswith("\r\n"))
        outside_quotes = re.sub(r'"(?:[^"]|"")*"', "", text)
        self.assertIsNone(re.search(r"\r(?!\n)|(?<!\r)\n", outside_quotes), "a record not ended by CRLF")
        rows = list(csv.reader(io.StringIO(text, newline="")))
        self.assertEqual(rows[0], ["time", "vote_id", "name", "kind", "started_by", "option_id", "option", "tickets"])
        expected = [[record["timeText"], str(record["recordKey"]), "今晚最佳, \"live\"", "normal", "频道管理员",
                     option_id, ("'" + text_) if text_.startswith("=") else text_,
                     str(record["optionTickets"][option_id])]
                    for option_id, text_ in sorted(options.items(), key=lambda item: int(item[0]))]
        self.assertEqual(rows[1:], expected)

        bad = request("GET", target + "&format=xml", self.viewer_token)
        self.assertEqual(bad.status, 400)
        self.assertEqual(self.documented(bad, path)["field"], "format")

    def test_b_viewer_votes_over_the_session_websocket(self):
        sub = 2
        manager = HostClient(SERVICE.ports["tcp"])
        self.assertEqual(manager.hello(MANAGER, self.manager_token, "频道管理员", sub), 0)
        manager.send_vote(CREATE_REQ, {"channelId": CHANNEL, "subChannelId": sub, "vote": {
            "name": "session", "limitTime": 300, "voteType": 0, "limits": {"0": 1, "1": 1},
            "options": {"1": "a", "2": "b"}}})
        vote_id = manager.wait_for(CREATE_RES)["voteId"]
        started = request("POST", f"/api/v1/channels/{CHANNEL}/votes/{vote_id}/start" + query(MANAGER, sub=sub),
                          self.manager_token)
        self.assertEqual(started.status, 200, started.body)

        before = self.metrics()
        viewer = WebSocketClient(SERVICE.ports["http"], "/api/v1/session"
                                 + query(VIEWER, channel=CHANNEL, sub=sub, ticket=self.ticket(self.viewer_token)))
        message_schema = OPENAPI.component("SessionMessage")
        shown = viewer.receive_type("vote")
        jsonschema.validate(shown, message_schema)
        jsonschema.validate({key: value for key, value in shown.items() if key != "type"},
                            OPENAPI.component("VoteState"))
        self.assertEqual((shown["status"], shown["vote"]["voteId"]), ("running", vote_id))

        exchanges = [
            ({"id": 1, "type": "vote", "voteId": vote_id, "optionId": 2, "tickets": 1},
             {"type": "result", "id": 1, "request": "vote", "result": 0}),
            ({"id": "again", "type": "vote", "voteId": vote_id, "optionId": 1},
             {"type": "result", "id": "again", "request": "vote", "result": 11}),
            ({"id": 3, "type": "vote", "voteId": vote_id},
             {"type": "error", "id": 3, "field": "optionId"}),
            ({"id": 4, "type": "shout", "voteId": vote_id},
             {"type": "error", "id": 4, "field": "type"}),
            ({"id": 5, "type": "tickets", "voteId": vote_id},
             {"type": "tickets", "id": 5, "voteId": vote_id, "remaining": 0}),
        ]
        for sent, expected in exchanges:
            with self.subTest(sent=sent):
                viewer.send(sent)
                answer = viewer.receive()
                while answer["type"] == "vote":  # count broadcasts may come in between
                    answer = viewer.receive()
                jsonschema.validate(answer, message_schema)
                self.assertEqual({key: answer.get(key) for key in expected}, expected)
        during = self.metrics()
        viewer.close()

        moved = lambda name, **labels: (during.get((name, tuple(sorted(labels.items()))), 0)
                                        - before.get((name, tuple(sorted(labels.items()))), 0))
        self.assertEqual(moved("quorix_sessions", transport="websocket"), 1)
        self.assertEqual(moved("quorix_votes_accepted_total"), 1)
        self.assertEqual(moved("quorix_requests_total", message="vote", result="11"), 1)
        self.assertGreater(moved("quorix_bytes_sent_total", transport="websocket"), 0)
        self.assertGreater(moved("quorix_bytes_sent_total", transport="http"), 0)  # the first /metrics
        manager.close()

    def test_c_votes_created_read_replaced_and_deleted(self):
        sub = 3
        votes = f"/api/v1/channels/{CHANNEL}/votes"
        one = "/api/v1/channels/{ch}/votes/{id}"
        as_manager = query(MANAGER, sub=sub)
        created = []
        target_of = {
            "list": lambda: votes + as_manager,
            "batch": lambda: votes + ":batchDelete" + as_manager,
            "first": lambda: f"{votes}/{created[0]}" + as_manager,
            "unknown": lambda: f"{votes}/9999" + as_manager,
        }
        normal = {"name": "歌曲", "limitTime": 300, "voteType": 0, "limits": {"0": 2, "1": 1},
                  "options": {"0": "甲", "1": "乙", "2": "丙"}}
        group = {"name": "Teams", "limitTime": 60, "voteType": 1, "limits": {"0": 1, "1": 1},
                 "options": {"0": "a", "1": "b", "2": "c"}, "optionGroup": {"0": 0, "1": 0, "2": 1},
                 "groupNames": {"0": "Red", "1": "Blue"}}
        judge = {"name": "Judged", "limitTime": 120, "voteType": 2, "limits": {"0": 1, "1": 1},
                 "judges": {str(uid): {"uid": uid, "imid": uid, "nick": f"judge {uid}", "points": 0, "auxMap": {}}
                            for uid in (501, 502)},
                 "judgeOrder": {"0": 501, "1": 502}}
        eleven = dict(normal, options={str(i): f"o{i}" for i in range(11)})
        no_manage = SERVICE.web_token(MANAGER, "events vote")
        rows = [
            # (what, method, document path, target, token, body, status, field)
            ("create a normal vote", "POST", "/api/v1/channels/{ch}/votes", "list", None, normal, 201, None),
            ("create a group vote", "POST", "/api/v1/channels/{ch}/votes", "list", None, group, 201, None),
            ("create a judge vote", "POST", "/api/v1/channels/{ch}/votes", "list", None, judge, 201, None),
            ("read", "GET", one, "first", None, None, 200, None),
            ("replace", "PUT", one, "first", None, lambda: dict(normal, name="歌曲 2", voteId=created[0]), 200, None),
            ("replace naming another", "PUT", one, "first", None, dict(normal, voteId=9999), 400, "voteId"),
            ("bad JSON", "POST", "/api/v1/channels/{ch}/votes", "list", None, b"{", 400, "body"),
            ("too many options", "POST", "/api/v1/channels/{ch}/votes", "list", None, eleven, 409, "options"),
            ("a viewer creates", "POST", "/api/v1/channels/{ch}/votes", "list", "viewer", normal, 403, None),
            ("no manage scope", "POST", "/api/v1/channels/{ch}/votes", "list", no_manage, normal, 403, "scope"),
            ("read an unknown id", "GET", one, "unknown", None, None, 404, None),
            ("body too large", "PUT", one, "first", None, b" " * (65 * 1024), 413, None),
            ("delete", "DELETE", one, "first", None, None, 204, None),
            ("delete again", "DELETE", one, "first", None, None, 404, None),
            ("batch delete", "POST", "/api/v1/channels/{ch}/votes:batchDelete", "batch", None,
             lambda: {"voteIds": created[1:]}, 200, None),
            ("batch delete again", "POST", "/api/v1/channels/{ch}/votes:batchDelete", "batch", None,
             lambda: {"voteIds": created[1:]}, 404, None),
            ("batch of nothing", "POST", "/api/v1/channels/{ch}/votes:batchDelete", "batch", None,
             {"voteIds": []}, 400, "voteIds"),
        ]
        for what, method, path, target, token, body, status, field in rows:
            with self.subTest(what):
                body = body() if callable(body) else body
                data = body if isinstance(body, bytes) or body is None else json.dumps(body).encode("utf-8")
                token = {None: self.manager_token, "viewer": self.viewer_token}.get(token, token)
                target_text = target_of[target]()
                if token == self.viewer_token:
                    target_text = target_text.replace(as_manager, query(VIEWER, sub=sub))
                answer = request(method, target_text, token, body=data)
                self.assertEqual(answer.status, status, answer.body)
                shown = self.documented(answer, path, method)
                if field is not None:
                    self.assertEqual(shown.get("field"), field, shown)
                if status == 201:
                    created.append(shown["voteId"])
                    self.assertEqual(answer.headers.get("Location"), f"{votes}/{shown['voteId']}")
                    self.assertEqual({key: shown[key] for key in body}, body)
        listed = request("GET", votes + as_manager, self.manager_token)
        self.assertEqual(self.documented(listed, "/api/v1/channels/{ch}/votes")["votes"], [])

    def test_d_a_scheduled_start_and_a_narrower_token(self):
        sub = 4
        votes = f"/api/v1/channels/{CHANNEL}/votes"
        as_manager = query(MANAGER, sub=sub)
        created = request("POST", votes + as_manager, self.manager_token, body=json.dumps(
            {"name": "later", "limitTime": 60, "voteType": 0, "limits": {"0": 1, "1": 1},
             "options": {"0": "a", "1": "b"}}).encode())
        self.assertEqual(created.status, 201, created.body)
        vote_id = created.json()["voteId"]
        start = "/api/v1/channels/{ch}/votes/{id}/start"
        at = int(time.time()) + 3600
        scheduled = request("POST", f"{votes}/{vote_id}/start" + as_manager, self.manager_token,
                            body=json.dumps({"at": at}).encode())
        self.assertEqual(scheduled.status, 200, scheduled.body)
        self.assertEqual(self.documented(scheduled, start, "POST")["schedule"], {"at": at, "state": "pending"})
        listed = request("GET", votes + as_manager, self.manager_token)
        self.assertEqual(self.documented(listed, "/api/v1/channels/{ch}/votes")["votes"][0]["schedule"]["at"], at)
        passed = request("POST", f"{votes}/{vote_id}/start" + query(MANAGER, sub=sub, at=at - 7200),
                         self.manager_token)
        self.assertEqual(passed.status, 400, passed.body)
        self.assertEqual(self.documented(passed, start, "POST")["field"], "at")
        schedule = "/api/v1/channels/{ch}/votes/{id}/schedule"
        self.assertEqual(request("DELETE", f"{votes}/{vote_id}/schedule" + as_manager, self.manager_token).status, 204)
        none = request("DELETE", f"{votes}/{vote_id}/schedule" + as_manager, self.manager_token)
        self.assertEqual((none.status, self.documented(none, schedule, "DELETE")["result"]), (404, 25))

        tokens = "/api/v1/channels/{ch}/tokens"
        minted = request("POST", f"/api/v1/channels/{CHANNEL}/tokens", self.manager_token,
                         body=json.dumps({"scope": "events", "subChannelId": sub}).encode())
        self.assertEqual(minted.status, 200, minted.body)
        grant = self.documented(minted, tokens, "POST")
        self.assertEqual((grant["scope"], grant["subChannelId"]), ("events", sub))
        wider = request("POST", f"/api/v1/channels/{CHANNEL}/tokens", grant["token"],
                        body=json.dumps({"scope": "events"}).encode())
        self.assertEqual(wider.status, 403, wider.body)
        self.assertEqual(self.documented(wider, tokens, "POST")["field"], "scope")

    def test_refusals_have_the_error_body(self):
        vote_path = "/api/v1/channels/{ch}/subchannels/{sub}/vote"
        votes_path = "/api/v1/channels/{ch}/votes"
        user_path = "/api/v1/channels/{ch}/users/{imid}"
        cases = [
            # (what, path template, target, token, status)
            ("no token", vote_path, f"/api/v1/channels/{CHANNEL}/subchannels/{SUB}/vote" + query(VIEWER), None, 401),
            ("token for other claims", vote_path,
             f"/api/v1/channels/{CHANNEL}/subchannels/{SUB}/vote" + query(MANAGER), self.viewer_token, 401),
            ("forged token", vote_path, f"/api/v1/channels/{CHANNEL}/subchannels/{SUB}/vote" + query(VIEWER),
             self.viewer_token[:-4] + "AAAA", 401),
            ("old token", vote_path, f"/api/v1/channels/{CHANNEL}/subchannels/{SUB}/vote" + query(VIEWER),
             "4102444800." + "0" * 64, 401),
            ("token in the query", vote_path, f"/api/v1/channels/{CHANNEL}/subchannels/{SUB}/vote"
             + query(VIEWER, token=self.viewer_token), None, 401),
            ("another channel", vote_path,
             f"/api/v1/channels/{CHANNEL + 1}/subchannels/{SUB}/vote" + query(VIEWER, channel=CHANNEL),
             self.viewer_token, 401),
            ("viewer lists votes", votes_path, f"/api/v1/channels/{CHANNEL}/votes" + query(VIEWER), self.viewer_token,
             403),
            ("manager's token without manage", votes_path, f"/api/v1/channels/{CHANNEL}/votes" + query(MANAGER),
             SERVICE.web_token(MANAGER, "events vote"), 403),
            ("vote state without events", vote_path, f"/api/v1/channels/{CHANNEL}/subchannels/{SUB}/vote",
             SERVICE.web_token(VIEWER, "vote"), 403),
            ("viewer looks a user up", user_path, f"/api/v1/channels/{CHANNEL}/users/{MANAGER['imid']}" + query(VIEWER),
             self.viewer_token, 403),
            ("user the directory lacks", user_path, f"/api/v1/channels/{CHANNEL}/users/4242" + query(MANAGER),
             self.manager_token, 404),
            ("uid not a number", vote_path, f"/api/v1/channels/{CHANNEL}/subchannels/{SUB}/vote?uid=x",
             self.viewer_token, 400),
        ]
        for what, path, target, token, status in cases:
            with self.subTest(what):
                answer = request("GET", target, token)
                self.assertEqual(answer.status, status, answer.body)
                body = self.documented(answer, path)
                self.assertTrue(body["error"])
                self.assertNotIn(self.viewer_token, answer.body.decode("utf-8"))

        identity_from_token = request("GET", f"/api/v1/channels/{CHANNEL}/subchannels/{SUB}/vote", self.viewer_token)
        self.assertIn(identity_from_token.status, (200, 404))
        self.documented(identity_from_token, vote_path)

        # A manager's own session records its user: the look-up finds it.
        found = request("GET", f"/api/v1/channels/{CHANNEL}/users/{MANAGER['imid']}" + query(MANAGER),
                        self.manager_token)
        self.assertEqual(found.status, 200, found.body)
        self.assertEqual(self.documented(found, user_path)["uid"], MANAGER["uid"])

        unknown = request("GET", "/api/v1/nothing")
        self.assertEqual(unknown.status, 404)
        self.assertEqual(unknown.content_type, "application/json")
        self.assertTrue(unknown.json()["error"])
        head = request("HEAD", "/healthz")
        self.assertEqual((head.status, head.body), (200, b""))
        self.assertEqual(head.headers.get("Content-Length"), str(len(request("GET", "/healthz").body)))

        # A WebSocket version the service does not speak: 426 naming the one it does.
        connection = http.client.HTTPConnection("127.0.0.1", SERVICE.ports["http"], timeout=10)
        events = f"/api/v1/channels/{CHANNEL}/events" + query(VIEWER, sub=SUB, ticket=self.ticket(self.viewer_token))
        connection.request("GET", events,
                           headers={"Upgrade": "websocket", "Connection": "Upgrade",
                                    "Sec-WebSocket-Key": "dGhlIHNhbXBsZSBub25jZQ==", "Sec-WebSocket-Version": "8"})
        reply = connection.getresponse()
        old_version = Answer(reply.status, reply.headers, reply.read())
        connection.close()
        self.assertEqual(old_version.status, 426)
        self.assertEqual(old_version.headers.get("Sec-WebSocket-Version"), "13")
        self.assertTrue(self.documented(old_version, "/api/v1/channels/{ch}/events")["error"])

        wrong_method = request("POST", "/healthz")
        self.assertEqual(wrong_method.status, 405)
        self.assertEqual(wrong_method.headers.get("Allow"), "GET, HEAD")
        self.assertTrue(wrong_method.json()["error"])

    def test_tickets_origins_and_headers(self):
        tickets = "/api/v1/tickets"
        unbought = request("POST", tickets)
        self.assertEqual(unbought.status, 401)
        self.assertEqual(self.documented(unbought, tickets, "POST")["error"], "token refused: missing")
        cross = request("POST", tickets, self.viewer_token, {"Origin": "http://evil.example"})
        self.assertEqual(cross.status, 403)
        self.assertEqual(self.documented(cross, tickets, "POST")["field"], "Origin")
        own = request("POST", tickets, self.viewer_token, {"Origin": f"http://127.0.0.1:{SERVICE.ports['http']}"})
        self.assertEqual(own.status, 200)

        ticket = self.ticket(self.viewer_token)
        events = f"/api/v1/channels/{CHANNEL}/events?sub={SUB}&ticket="
        for what, target, status in [("bought", events + ticket, 200), ("spent", events + ticket, 401),
                                     ("unknown", events + "0" * 48, 401)]:
            with self.subTest(what):
                answer = request("GET", target, headers={"Accept": "text/event-stream"}) if status != 200 else None
                if answer is None:
                    url = f"http://127.0.0.1:{SERVICE.ports['http']}{target}"
                    with urllib.request.urlopen(urllib.request.Request(
                            url, headers={"Accept": "text/event-stream"}), timeout=10) as stream:
                        self.assertEqual(stream.status, 200)
                    continue
                self.assertEqual(answer.status, status)
                self.assertEqual(self.documented(answer, "/api/v1/channels/{ch}/events")["error"],
                                 "ticket refused: unknown, spent or expired")

        # The same header set on every kind of answer.
        answers = [request("GET", "/healthz"), request("GET", "/metrics"), request("GET", "/api/v1/nothing"),
                   request("POST", "/healthz"), unbought, cross,
                   request("GET", f"/api/v1/channels/{CHANNEL}/history?sub={SUB}&format=csv", self.viewer_token)]
        for answer in answers:
            with self.subTest(status=answer.status, type=answer.content_type):
                self.assertEqual(answer.headers.get("X-Content-Type-Options"), "nosniff")
                self.assertEqual(answer.headers.get("Referrer-Policy"), "no-referrer")
                self.assertIn("frame-ancestors 'none'", answer.headers.get("Content-Security-Policy", ""))


# ---- webhooks ---------------------------------------------------------------------------------


class WebhookReceiver:
    """An HTTP receiver of webhook requests on a fixed port that can go down and come back."""

    def __init__(self):
        self.requests = []
        self.arrived = threading.Condition()
        self.server = None
        self.port = None
        self.up()

    def up(self):
        receiver = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
                with receiver.arrived:
                    receiver.requests.append((dict(self.headers), body))
                    receiver.arrived.notify_all()
                self.send_response(204)
                self.end_headers()

            def log_message(self, *args):
                pass

        http.server.HTTPServer.allow_reuse_address = True
        self.server = http.server.HTTPServer(("127.0.0.1", self.port or 0), Handler)
        self.port = self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def down(self):
        self.server.shutdown()
        self.server.server_close()

    def wait_for(self, count, seconds):
        with self.arrived:
            self.arrived.wait_for(lambda: len(self.requests) >= count, seconds)
            return list(self.requests)


class WebhookDeliveryTest(unittest.TestCase):
    """A channel's webhook over the API, and its events at a receiver: signed, in order, and those
    queued while the receiver was down delivered once it is back, across a service restart."""

    path = "/api/v1/channels/{ch}/webhook"
    target = f"/api/v1/channels/{CHANNEL}/webhook" + query(MANAGER)

    @classmethod
    def setUpClass(cls):
        global OPENAPI
        OPENAPI = OpenApi(ARGS.openapi)
        cls.folder = tempfile.TemporaryDirectory()
        cls.data = os.path.join(cls.folder.name, "data")
        os.mkdir(cls.data, 0o700)
        cls.audit = os.path.join(cls.folder.name, "audit.log")
        cls.receiver = WebhookReceiver()
        cls.start_service()

    @classmethod
    def start_service(cls):
        global SERVICE
        SERVICE = Service(cls.folder.name, ("--data", cls.data, "--webhook-allow-http", "--audit-log", cls.audit))
        cls.manager_token = SERVICE.web_token(MANAGER)

    @classmethod
    def tearDownClass(cls):
        SERVICE.stop()
        cls.receiver.down()
        cls.folder.cleanup()

    documented = HttpContractTest.documented

    def put(self, body, token=None):
        data = body if isinstance(body, bytes) else json.dumps(body).encode("utf-8")
        return request("PUT", self.target, token or self.manager_token, body=data)

    def run_vote(self, name):
        """Creates, starts, stops and closes a vote over the API; its id."""
        vote = {"name": name, "limitTime": 300, "voteType": 0, "limits": {"0": 1, "1": 1},
                "options": {"0": "a", "1": "b"}}
        created = request("POST", f"/api/v1/channels/{CHANNEL}/votes" + query(MANAGER, sub=SUB), self.manager_token,
                          body=json.dumps(vote).encode("utf-8"))
        self.assertEqual(created.status, 201, created.body)
        vote_id = created.json()["voteId"]
        round_id = None
        for action in ("start", "stop", "close"):
            target = f"/api/v1/channels/{CHANNEL}/votes/{vote_id}/{action}"
            parameters = {"jiFangId": round_id} if action == "close" else {}
            answer = request("POST", target + query(MANAGER, sub=SUB, **parameters), self.manager_token)
            self.assertEqual(answer.status, 200, (action, answer.body))
            round_id = round_id or answer.json()["jiFangId"]
        return vote_id

    def check_signed(self, headers, body, secret):
        timestamp = headers["X-Quorix-Timestamp"]
        self.assertLess(abs(int(timestamp) - time.time()), 120)
        expected = hmac.new(secret.encode(), timestamp.encode() + b"." + body, hashlib.sha256).hexdigest()
        self.assertEqual(headers["X-Quorix-Signature"], "sha256=" + expected)

    def events_of(self, requests, secret):
        events = []
        for headers, body in requests:
            self.check_signed(headers, body, secret)
            event = json.loads(body)
            events.append((event["type"], event["voteId"], event["channelId"], event["subChannelId"]))
        return events

    def test_a_webhook_refusals_name_the_field(self):
        no_manage = SERVICE.web_token(MANAGER, "events vote")
        viewer = SERVICE.web_token(VIEWER, "events vote manage")
        viewer_target = f"/api/v1/channels/{CHANNEL}/webhook" + query(VIEWER)
        rows = [
            # (what, method, target, token, body, status, field)
            ("none yet", "GET", self.target, None, None, 404, None),
            ("not JSON", "PUT", self.target, None, b"{", 400, "body"),
            ("no url", "PUT", self.target, None, {"progress": True}, 400, "url"),
            ("url not a string", "PUT", self.target, None, {"url": 5}, 400, "url"),
            ("not http", "PUT", self.target, None, {"url": "ftp://127.0.0.1/"}, 400, "url"),
            ("a user in the url", "PUT", self.target, None, {"url": "http://me@127.0.0.1/"}, 400, "url"),
            ("url too long", "PUT", self.target, None, {"url": "http://127.0.0.1/" + "a" * 2048}, 400, "url"),
            ("progress not a boolean", "PUT", self.target, None, {"url": "http://127.0.0.1/", "progress": 1},
             400, "progress"),
            ("an unknown member", "PUT", self.target, None, {"url": "http://127.0.0.1/", "events": []}, 400,
             "events"),
            ("a viewer", "PUT", viewer_target, viewer, {"url": "http://127.0.0.1/"}, 403, "role"),
            ("no manage scope", "PUT", self.target, no_manage, {"url": "http://127.0.0.1/"}, 403, "scope"),
            ("created", "PUT", self.target, None, {"url": "http://127.0.0.1:9/"}, 201, None),
            ("replaced, its secret kept", "PUT", self.target, None, {"url": "http://127.0.0.1:9/x"}, 200, None),
            ("shown", "GET", self.target, None, None, 200, None),
            ("removed", "DELETE", self.target, None, None, 204, None),
            ("removed again", "DELETE", self.target, None, None, 404, None),
        ]
        for what, method, target, token, body, status, field in rows:
            with self.subTest(what):
                data = body if isinstance(body, bytes) or body is None else json.dumps(body).encode("utf-8")
                answer = request(method, target, token or self.manager_token, body=data)
                self.assertEqual(answer.status, status, answer.body)
                shown = self.documented(answer, self.path, method)
                if field is not None:
                    self.assertEqual(shown.get("field"), field, shown)
                if status in (200, 201):
                    self.assertEqual("secret" in shown, status == 201, shown)
                if status == 201:
                    self.assertRegex(shown["secret"], "^[0-9a-f]{64}$")

    def test_b_events_signed_in_order_and_kept_while_the_receiver_is_down(self):
        created = self.put({"url": f"http://127.0.0.1:{self.receiver.port}/hook"})
        self.assertEqual(created.status, 201, created.body)
        secret = created.json()["secret"]
        first = self.run_vote("first")
        got = self.receiver.wait_for(3, 20)
        self.assertEqual(self.events_of(got, secret),
                         [(kind, first, CHANNEL, SUB) for kind in ("vote.begin", "vote.end", "vote.close")])
        begin, end = json.loads(got[0][1]), json.loads(got[1][1])
        self.assertEqual(begin["state"]["status"], "running")
        self.assertEqual(end["state"]["status"], "ended")
        self.assertEqual(set(end["state"]["vote"]["options"].values()), {"a", "b"})
        self.assertEqual(begin["jiFangId"], end["jiFangId"])

        # Down: the events wait in the queue, and in the database over a restart.
        self.receiver.down()
        second = self.run_vote("second")
        third = self.run_vote("third")
        time.sleep(1.5)
        SERVICE.stop()
        self.start_service()
        self.receiver.up()
        got = self.receiver.wait_for(9, 60)
        ids = [int(headers["X-Quorix-Delivery"]) for headers, _ in got]
        self.assertEqual(ids, sorted(set(ids)), "each event once, in order")
        self.assertEqual(self.events_of(got[3:], secret),
                         [(kind, vote, CHANNEL, SUB) for vote in (second, third)
                          for kind in ("vote.begin", "vote.end", "vote.close")])
        # The receiver holds the last event before the sender has read its answer.
        delivered = ("quorix_webhook_events_total", (("outcome", "delivered"),))
        deadline = time.time() + 10
        while HttpContractTest.metrics(self)[delivered] < 6 and time.time() < deadline:
            time.sleep(0.1)
        self.assertEqual(HttpContractTest.metrics(self)[delivered], 6)
        with open(self.audit) as f:
            actions = [json.loads(line)["action"] for line in f]
        self.assertIn("webhook.set", actions)
        self.assertIn("webhook.remove", actions)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--voted", required=True)
    parser.add_argument("--wire", required=True)
    parser.add_argument("--openapi", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
