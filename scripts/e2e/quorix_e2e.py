#!/usr/bin/env python3
"""Plays a whole channel's vote session against real processes and checks every step.

Starts quorix-voted on a free loopback port with a secret and its web face, and three tovo-host
processes in one channel and sub-channel (a manager and two viewers, each with its own token), then
drives them through their automation sockets: a normal vote created in the editor (followed on the
web face's event stream and voted on by a web viewer through /session), a group vote started from
its editor, a judge vote scored twice (once with an abstention), a sub-channel switch during a vote,
the history for the manager and for a viewer, and a restart of the vote service.

Each step writes numbered screenshots and a line to report.txt in the output folder; the overlay and a
web viewer's page (opened from the link a host's webLink command gives) are shot in headless chromium
when web/node_modules and /usr/bin/chromium are there (scripts/setup installs them). The first
failing check stops the run with status 1 and names its step. Python 3 standard library only.
"""

import argparse
import json
import os
import secrets
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

REPOSITORY = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
sys.path.insert(0, os.path.join(REPOSITORY, "cpp", "tests", "support", "python"))
from websocketclient import WebSocketListener  # noqa: E402

CHANNEL = 888
SUBCHANNEL = 1
# The channel window by its object name: its title ("tovo-host - 频道 888 - 观众甲 (20)") names the
# user and role.
CHANNEL_WINDOW = "channelWindow"
# With a display the three channel windows (480 pixels wide) stand side by side.
PLAY_POSITIONS = [(20, 40), (520, 40), (1020, 40)]
MANAGEMENT = "频道投票设置"
HISTORY = "投票记录"
NORMAL = "普通投票"
GROUP = "对战投票"
JUDGE = "评委投票"


class StepFailed(Exception):
    pass


def wait_until(probe, timeout, what):
    """Calls probe until it returns a true value; fails the step with `what` after timeout."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        try:
            last = probe()
        except StepFailed as error:
            last = None
            reason = str(error)
        else:
            reason = None
        if last:
            return last
        if time.monotonic() > deadline:
            raise StepFailed("%s (waited %.0f s)%s" % (what, timeout, ": " + reason if reason else ""))
        time.sleep(0.1)


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Service:
    """quorix-voted with a secret and its web face, on fixed loopback ports so a restart keeps them.

    extra_arguments go to quorix-voted as well (for example its TLS certificate and key)."""

    def __init__(self, bin_dir, run_dir, extra_arguments=()):
        self.program = os.path.join(bin_dir, "quorix-voted")
        self.secret_file = os.path.join(run_dir, "secret")
        with open(os.open(self.secret_file, os.O_WRONLY | os.O_CREAT, 0o600), "w") as out:
            out.write(secrets.token_hex(32) + "\n")
        self.port = free_port()
        self.http_port = free_port()
        self.log_path = os.path.join(run_dir, "service.log")
        self.extra_arguments = list(extra_arguments)
        self.process = None

    def token(self, identity, scope=None):
        command = [self.program, "token", "--secret-file", self.secret_file, "--uid", str(identity["uid"]),
                   "--imid", str(identity["imid"]), "--role", str(identity["role"]), "--channel", str(CHANNEL)]
        if scope:
            command += ["--scope", scope]
        return subprocess.run(command, check=True, capture_output=True, text=True).stdout.strip()

    def start(self):
        log = open(self.log_path, "a")
        # Hosts, the browser and the scenario's own requests all come from 127.0.0.1: no per-address limits.
        self.process = subprocess.Popen([self.program, "--listen", "127.0.0.1:%d" % self.port, "--memory",
                                         "--http", "127.0.0.1:%d" % self.http_port,
                                         "--secret-file", self.secret_file,
                                         "--max-connections-per-address", "0",
                                         "--max-new-connections-per-address-per-second", "0"]
                                        + self.extra_arguments,
                                        stdout=log, stderr=log)
        log.close()
        wait_until(self._accepts, 10, "quorix-voted accepts connections on port %d" % self.port)

    def _accepts(self):
        if self.process.poll() is not None:
            raise StepFailed("quorix-voted exited with status %d" % self.process.returncode)
        try:
            with socket.create_connection(("127.0.0.1", self.port), timeout=0.2):
                return True
        except OSError:
            return False

    def kill(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait(5)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.kill()


class Host:
    """One tovo-host process and its automation socket; service_options name the vote service."""

    def __init__(self, name, identity, bin_dir, run_dir, service_options, token, offscreen=True, position=None):
        self.name = name
        self.identity = identity
        self.socket_path = os.path.join(run_dir, name + ".sock")
        self.log_path = os.path.join(run_dir, name + ".log")
        env = dict(os.environ, FENBASE_LOG_FILE=self.log_path, FENBASE_LOG_LEVEL="2")
        arguments = [os.path.join(bin_dir, "tovo-host")] + (["--offscreen"] if offscreen else []) + [
                     "--automation", self.socket_path,
                     "--token", token,
                     "--uid", str(identity["uid"]), "--imid", str(identity["imid"]), "--nick", identity["nick"],
                     "--role", str(identity["role"]), "--channel", str(CHANNEL),
                     "--subchannel", str(SUBCHANNEL)]
        arguments += list(service_options)
        if position is not None:
            arguments += ["--position", "%d,%d" % position]
        self.stderr = open(os.path.join(run_dir, name + ".stderr"), "w")
        self.process = subprocess.Popen(arguments, env=env, stdout=self.stderr, stderr=self.stderr)
        self.connection = None
        self.buffer = b""

    def _connect(self):
        if self.process.poll() is not None:
            raise StepFailed("%s: tovo-host exited with status %d" % (self.name, self.process.returncode))
        try:
            connection = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            connection.connect(self.socket_path)
        except OSError:
            return False
        connection.settimeout(15)
        self.connection = connection
        return True

    def command(self, **request):
        """Sends one automation command and returns its answer (a dict)."""
        if self.connection is None:
            wait_until(self._connect, 10, "%s: automation socket" % self.name)
        self.connection.sendall(json.dumps(request, ensure_ascii=False).encode() + b"\n")
        while b"\n" not in self.buffer:
            try:
                chunk = self.connection.recv(65536)
            except socket.timeout:
                chunk = b""
            if not chunk:
                raise StepFailed("%s: no answer to %s" % (self.name, request))
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return json.loads(line.decode())

    def must(self, **request):
        answer = self.command(**request)
        if not answer.get("ok"):
            raise StepFailed("%s: %s failed: %s" % (self.name, request, answer.get("error")))
        return answer

    def text(self, window, widget):
        answer = self.command(cmd="text", window=window, widget=widget)
        return answer.get("text") if answer.get("ok") else None

    def click(self, window, widget):
        self.must(cmd="hover", window=window, widget=widget)
        self.must(cmd="click", window=window, widget=widget)

    def window(self, title):
        for window in self.must(cmd="windows")["windows"]:
            if window["title"] == title:
                return window
        return None

    def shown(self, title):
        window = self.window(title)
        return bool(window and window["visible"])

    def state(self):
        return self.must(cmd="state")

    def quit(self):
        if self.process.poll() is None:
            try:
                self.command(cmd="quit")
            except (StepFailed, OSError):
                pass
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(5)
        self.stderr.close()
        return self.process.returncode


MANAGER = {"uid": 10001, "imid": 90001, "nick": "频道管理员", "role": 255}
VIEWER_A = {"uid": 20001, "imid": 90002, "nick": "观众甲", "role": 20}
VIEWER_B = {"uid": 20002, "imid": 90003, "nick": "观众乙", "role": 20}
# A viewer in a browser: the /session WebSocket of the service's web face.
VIEWER_WEB = {"uid": 20003, "imid": 90004, "nick": "网页观众", "role": 20}

NORMAL_OPTIONS = ["一号歌手", "二号歌手", "三号歌手", "四号歌手"]
GROUP_A = ["红队一号", "红队二号"]
GROUP_B = ["蓝队一号", "蓝队二号"]


class Scenario:
    """The scripted session; each public step method is one numbered step of the report."""

    def __init__(self, bin_dir, out_dir, run_dir, tls=None):
        """tls: None, or {"cert", "key", "ca": PEM files} for TLS on both of the service's ports."""
        self.bin_dir = bin_dir
        self.out_dir = out_dir
        self.run_dir = run_dir
        self.tls = tls
        self.service = Service(bin_dir, run_dir,
                               ["--tls-cert", tls["cert"], "--tls-key", tls["key"]] if tls else [])
        self.hosts = {}
        self.events = None  # the sub-channel's event stream on the web face
        self.web_viewer = None
        self.shots = 0
        self.report = []
        self.browser_missing = self.find_browser_missing()

    # ---- helpers -------------------------------------------------------------------------

    @property
    def manager(self):
        return self.hosts["manager"]

    @property
    def viewers(self):
        return [self.hosts["viewerA"], self.hosts["viewerB"]]

    def everyone(self):
        return [self.manager] + self.viewers

    def host_service_options(self):
        """tovo-host's options naming the service and its web face: tls:// and the test CA when the service
        has TLS."""
        web = ["--web-url", self.web_base()]
        if self.tls:
            return ["--service", "tls://127.0.0.1:%d" % self.service.port, "--ca-file", self.tls["ca"]] + web
        return ["--service", "127.0.0.1:%d" % self.service.port] + web

    def web_base(self):
        return "%s://127.0.0.1:%d" % ("https" if self.tls else "http", self.service.http_port)

    def web_ssl_context(self):
        return ssl.create_default_context(cafile=self.tls["ca"]) if self.tls else None

    def note(self, text):
        self.report.append("    " + text)

    def shot(self, host, title, name):
        self.shots += 1
        path = os.path.join(self.out_dir, "%02d-%s.png" % (self.shots, name))
        host.must(cmd="grab", window=title, file=path)
        self.note("screenshot " + os.path.basename(path))

    @staticmethod
    def find_browser_missing():
        """What the browser screenshots lack, or None when they can be taken."""
        if shutil.which("node") is None:
            return "node"
        if not os.path.isdir(os.path.join(REPOSITORY, "web", "node_modules", "playwright-core")):
            return "web/node_modules (npm ci in web/)"
        if not os.path.exists("/usr/bin/chromium"):
            return "/usr/bin/chromium"
        return None

    def browser_shot(self, url, name, size, selector):
        """A numbered screenshot of a page of the service's web face, as headless chromium shows it."""
        if self.browser_missing:
            self.note("browser screenshot %s skipped: %s missing (scripts/setup installs it)" % (name, self.browser_missing))
            return
        if self.tls:
            self.note("browser screenshot %s skipped: chromium does not trust the test's private CA" % name)
            return
        self.shots += 1
        path = os.path.join(self.out_dir, "%02d-%s.png" % (self.shots, name))
        tool = os.path.join(REPOSITORY, "web", "tools", "pageshot.js")
        done = subprocess.run(["node", tool, url, path, size, selector], capture_output=True, text=True, timeout=60)
        if done.returncode != 0:
            raise StepFailed("browser screenshot %s: %s" % (name, done.stderr.strip()))
        self.note("screenshot " + os.path.basename(path))

    def web_url(self, path, identity, scope=None):
        """A page's link: the identity in the query, the token in the fragment (never sent anywhere)."""
        token = self.service.token(identity, scope)
        return self.web_base() + self.web_target(path, identity) + "#token=" + urllib.parse.quote(token, safe="")

    def overlay_shot(self, name, selector):
        self.browser_shot(self.web_url("/overlay/%d/%d" % (CHANNEL, SUBCHANNEL), MANAGER, "events"), name,
                          "1920x1080", selector)

    def expect_text(self, host, window, widget, expected, timeout=10):
        wait_until(lambda: host.text(window, widget) == expected, timeout,
                   "%s: %s/%s reads %r (it reads %r)" % (host.name, window, widget, expected,
                                                          host.text(window, widget)))

    def expect_shown(self, host, title, shown=True, timeout=10):
        wait_until(lambda: host.shown(title) == shown, timeout,
                   "%s: window %s %s" % (host.name, title, "shown" if shown else "hidden"))

    def mgmt(self, widget):
        return self.manager.text(MANAGEMENT, widget)

    def mgmt_click(self, widget):
        self.manager.click(MANAGEMENT, widget)

    def fill_options(self, list_name, add_link, texts):
        """Gives an editor's option list exactly `texts`; the editor keeps the rows of its last use."""
        rows = self.option_rows(list_name)
        if rows > len(texts):
            raise StepFailed("the %s editor already has %d option rows, more than %d" % (list_name, rows, len(texts)))
        for count in range(rows + 1, len(texts) + 1):
            self.mgmt_click(add_link)
            wait_until(lambda: self.option_rows(list_name) == count, 5, "%s has %d option rows" % (list_name, count))
        for i, text in enumerate(texts):
            self.manager.must(cmd="setText", window=MANAGEMENT, widget="%s/voteOption[%d]" % (list_name, i),
                              text=text)

    def option_rows(self, list_name):
        rows = 0
        while self.manager.text(MANAGEMENT, "%s/voteOption[%d]" % (list_name, rows)) is not None:
            rows += 1
        return rows

    def normal_counts(self, host):
        """{option text: count text} as the host's normal vote window shows them."""
        counts = {}
        for i in range(10):
            name = host.text(NORMAL, "LableLeft%d" % i)
            if name:
                counts[name] = host.text(NORMAL, "LableRight%d" % i)
        return counts

    def expect_normal_counts(self, hosts, expected, timeout=10):
        for host in hosts:
            wait_until(lambda: self.normal_counts(host) == expected, timeout,
                       "%s: normal vote counts %s (they are %s)" % (host.name, expected, self.normal_counts(host)))

    def web_target(self, path, identity, **extra):
        parameters = {"uid": identity["uid"], "imid": identity["imid"], "role": identity["role"],
                      "nick": identity["nick"], "sub": SUBCHANNEL}
        parameters.update(extra)
        return path + "?" + urllib.parse.urlencode(parameters)

    def ticket(self, identity):
        """A single-use ticket for one WebSocket, bought with the identity's token as a browser page does."""
        request = urllib.request.Request(self.web_base() + "/api/v1/tickets", method="POST",
                                         headers={"Authorization": "Bearer " + self.service.token(identity)})
        with urllib.request.urlopen(request, timeout=10, context=self.web_ssl_context()) as answer:
            return json.loads(answer.read())["ticket"]

    def open_web_watchers(self):
        port = self.service.http_port
        try:
            context = self.web_ssl_context()
            self.events = WebSocketListener(port, self.web_target("/api/v1/channels/%d/events" % CHANNEL, VIEWER_A,
                                                                  ticket=self.ticket(VIEWER_A)), context)
            self.web_viewer = WebSocketListener(port, self.web_target("/api/v1/session", VIEWER_WEB, channel=CHANNEL,
                                                                      ticket=self.ticket(VIEWER_WEB)), context)
        except AssertionError as error:
            raise StepFailed("the web face refused a WebSocket: %s" % error)

    def close_web_watchers(self):
        for listener in (self.events, self.web_viewer):
            if listener:
                listener.close()
        self.events = self.web_viewer = None

    def expect_event(self, listener, matches, what, timeout=10):
        try:
            return listener.wait_for(matches, timeout, what)
        except AssertionError as error:
            raise StepFailed(str(error))

    def web_counts(self, message):
        """{option text: count} of a vote state on the web face."""
        vote = message.get("vote") or {}
        tickets = vote.get("optionTickets", {})
        return {text: str(tickets.get(key, 0)) for key, text in vote.get("options", {}).items()}

    def vote_normal(self, host, option):
        host.click(NORMAL, "Button%d" % option)


    def visible(self, host, window, widget):
        answer = host.command(cmd="text", window=window, widget=widget)
        return bool(answer.get("ok") and answer.get("visible"))

    def expect_visible(self, host, window, widget, timeout=10):
        wait_until(lambda: self.visible(host, window, widget), timeout, "%s: %s/%s visible" % (host.name, window, widget))

    def row_link(self, row):
        return "voteListCtrl/START_LABEL[%d]" % row

    def click_row(self, row, expected_before, expected_after):
        """Clicks the start/stop/close link of a vote list row and waits for its next state."""
        self.manager.must(cmd="hover", window=MANAGEMENT, widget="voteListCtrl/CHECK_BOX[%d]" % row)
        self.expect_text(self.manager, MANAGEMENT, self.row_link(row), expected_before)
        self.mgmt_click(self.row_link(row))
        if expected_after is not None:
            self.expect_text(self.manager, MANAGEMENT, self.row_link(row), expected_after)

    def open_list_page(self):
        """Shows the vote list; a save or start switches to it by itself once the service answered."""
        try:
            self.expect_visible(self.manager, MANAGEMENT, "voteListVoteNumberLabel", timeout=3)
            return
        except StepFailed:
            pass
        if not self.visible(self.manager, MANAGEMENT, "voteListLabel"):
            self.open_main_page()
        self.mgmt_click("voteListLabel")
        self.expect_visible(self.manager, MANAGEMENT, "voteListVoteNumberLabel")

    def open_main_page(self):
        for back in ("voteListMainBtn", "voteRecordMainBtn", "createNormalVoteMainBtn", "createGroupVoteMainBtn",
                     "createJudgeVoteMainBtn"):
            if self.visible(self.manager, MANAGEMENT, back):
                self.mgmt_click(back)
                break
        self.expect_visible(self.manager, MANAGEMENT, "nomalVote")

    def list_count(self):
        return self.mgmt("voteListVoteNumberLabel")

    def group_scores(self, host):
        return host.text(GROUP, "AGroupScore"), host.text(GROUP, "BGroupScore")

    def judge_card(self, host, index):
        return host.text(JUDGE, "Judger%d" % index), host.text(JUDGE, "Judging%d" % index), \
            host.text(JUDGE, "JudgeCount%d" % index)

    def score(self, host, points):
        host.must(cmd="hover", window=JUDGE, widget="pointBtn")
        host.click(JUDGE, "pointList/%d[1]" % points)
        host.click(JUDGE, "pointBtn")

    # ---- steps ---------------------------------------------------------------------------

    def step_start_everything(self):
        self.service.start()
        self.note("quorix-voted on 127.0.0.1:%d with a secret" % self.service.port)
        for name, identity in (("manager", MANAGER), ("viewerA", VIEWER_A), ("viewerB", VIEWER_B)):
            token = self.service.token(identity)
            self.hosts[name] = Host(name, identity, self.bin_dir, self.run_dir, self.host_service_options(), token)
        for host in self.everyone():
            wait_until(lambda: host.state().get("addonLoaded"), 20, "%s: add-on loaded" % host.name)
            wait_until(lambda: host.state().get("connected"), 20, "%s: connected to the vote service" % host.name)
            state = host.state()
            if (state["channelId"], state["subChannelId"], state["uid"]) != (CHANNEL, SUBCHANNEL,
                                                                               host.identity["uid"]):
                raise StepFailed("%s: unexpected place or identity %s" % (host.name, state))
            self.expect_text(host, CHANNEL_WINDOW, "quorixItem", "投票2.0")
        self.note("manager uid %d, viewers uid %d and %d, channel %d sub-channel %d, all connected" %
                  (MANAGER["uid"], VIEWER_A["uid"], VIEWER_B["uid"], CHANNEL, SUBCHANNEL))
        self.shot(self.manager, CHANNEL_WINDOW, "manager-channel-window")

    def step_normal_vote_created_in_editor(self):
        self.manager.must(cmd="addon")
        self.expect_shown(self.manager, MANAGEMENT)
        self.shot(self.manager, MANAGEMENT, "management-start-page")
        self.mgmt_click("nomalVote")
        self.expect_visible(self.manager, MANAGEMENT, "startNormalVoteBtn")
        self.manager.must(cmd="setText", window=MANAGEMENT, widget="createNormalVotePage/voteName", text="最佳歌手")
        self.manager.must(cmd="select", window=MANAGEMENT, widget="createNormalVotePage/maxTicket", index=2)
        self.manager.must(cmd="select", window=MANAGEMENT, widget="createNormalVotePage/maxOptionTicket", index=1)
        self.fill_options("normalVoteCreateList", "addNormalOptionBtn", NORMAL_OPTIONS)
        self.shot(self.manager, MANAGEMENT, "normal-vote-editor")
        self.mgmt_click("voteListAddNormalVoteLable")
        self.open_list_page()
        wait_until(lambda: self.list_count() == "1", 10, "the vote list counts one vote (%s)" % self.list_count())
        self.note("normal vote 最佳歌手 with four options saved: 3 tickets a person, 2 an option")
        self.shot(self.manager, MANAGEMENT, "vote-list-one-vote")

    def step_normal_vote_started_from_list(self):
        self.open_web_watchers()
        self.click_row(0, "开启", "停止")
        for viewer in self.viewers:
            self.expect_shown(viewer, NORMAL)
            self.expect_text(viewer, NORMAL, "title", "最佳歌手")
            self.expect_text(viewer, NORMAL, "Ticket", "3")
        self.expect_shown(self.manager, NORMAL)
        self.expect_normal_counts(self.everyone(), {text: "0" for text in NORMAL_OPTIONS})
        named = lambda kind: lambda m: m.get("type") == kind and (m.get("vote") or {}).get("name") == "最佳歌手"
        self.expect_event(self.events, named("vote.begin"), "vote.begin of 最佳歌手 on the event stream")
        self.expect_event(self.web_viewer, named("vote"), "the running vote on the web viewer's /session")
        self.note("the normal vote window came up for the manager who started it and for both viewers, "
                  "the viewers with 3 tickets; every count 0; the web face's event stream had vote.begin and "
                  "the web viewer's /session the running vote")
        self.shot(self.manager, MANAGEMENT, "vote-list-running")
        self.shot(self.hosts["viewerA"], NORMAL, "viewerA-normal-vote-open")

    def step_viewers_vote_within_and_beyond_allowance(self):
        a, b = self.viewers
        for option in (0, 0, 0, 1, 2):  # the third vote for option 0 and the vote for 2 exceed the allowance
            self.vote_normal(a, option)
        for option in (1, 1, 3, 3):  # the last one exceeds the three tickets a person has
            self.vote_normal(b, option)
        self.vote_on_the_web(NORMAL_OPTIONS[2])
        expected = {NORMAL_OPTIONS[0]: "2", NORMAL_OPTIONS[1]: "3", NORMAL_OPTIONS[2]: "1", NORMAL_OPTIONS[3]: "1"}
        self.expect_normal_counts(self.everyone(), expected)
        self.expect_event(self.events, lambda m: m.get("type") == "vote.progress" and self.web_counts(m) == expected,
                          "vote.progress with the counts %s" % expected)
        for viewer in self.viewers:
            self.expect_text(viewer, NORMAL, "Ticket", "0")
        self.note("counts reached everyone, the desktop windows and the event stream: %s; both desktop viewers "
                  "have 0 tickets left" % expected)
        self.shot(self.hosts["viewerB"], NORMAL, "viewerB-normal-vote-counted")
        self.overlay_shot("overlay-normal-vote", ".option-row")
        link = self.hosts["viewerA"].must(cmd="webLink")["url"]
        if not link.startswith("%s/vote/%d/%d?" % (self.web_base(), CHANNEL, SUBCHANNEL)):
            raise StepFailed("viewer A's web viewer link is not its page on the web face: %s" % link)
        self.browser_shot(link, "viewerA-web-viewer-page", "390x844", ".option .count")
        self.note("viewer A's webLink command gave its page on the web face; it shows the same counts")

    def vote_on_the_web(self, option_text):
        """The web viewer spends one ticket on the option through /session; the service must accept it."""
        vote = self.expect_event(self.web_viewer, lambda m: m.get("type") == "vote", "the running vote")["vote"]
        option_id = next(int(key) for key, text in vote["options"].items() if text == option_text)
        self.web_viewer.send({"id": 1, "type": "vote", "voteId": vote["voteId"], "optionId": option_id, "tickets": 1})
        answer = self.expect_event(self.web_viewer, lambda m: m.get("type") == "result" and m.get("id") == 1,
                                   "the answer to the web viewer's vote")
        if answer.get("result") != 0:
            raise StepFailed("the web viewer's vote was refused: %s" % answer)

    def step_normal_vote_stopped_and_closed(self):
        self.click_row(0, "停止", "关闭")
        self.expect_event(self.events, lambda m: m.get("type") == "vote.end", "vote.end on the event stream")
        for viewer in self.viewers:
            self.expect_text(viewer, NORMAL, "Timer", "投票已结束")
            self.expect_text(viewer, NORMAL, "TicketRecord", "投票记录")
        self.shot(self.hosts["viewerA"], NORMAL, "viewerA-normal-vote-ended")
        self.click_row(0, "关闭", "开启")
        for host in self.everyone():
            self.expect_shown(host, NORMAL, False)
        self.expect_event(self.events, lambda m: m.get("type") == "vote.close", "vote.close on the event stream")
        self.expect_event(self.web_viewer, lambda m: m.get("type") == "close", "the close on the web viewer's /session")
        self.close_web_watchers()
        self.note("stopped: viewers read 投票已结束; closed: every normal window hidden, row reads 开启 again; "
                  "the event stream had vote.end and vote.close, the web viewer the close")

    def step_group_vote_started_from_editor(self):
        self.open_main_page()
        self.mgmt_click("groupVote")
        self.expect_visible(self.manager, MANAGEMENT, "startGroupVoteBtn")
        page = "createGroupVotePage/"
        self.manager.must(cmd="setText", window=MANAGEMENT, widget=page + "voteName", text="红蓝对决")
        self.manager.must(cmd="select", window=MANAGEMENT, widget=page + "maxTicket", index=2)
        self.manager.must(cmd="select", window=MANAGEMENT, widget=page + "maxOptionTicket", index=1)
        self.manager.must(cmd="setText", window=MANAGEMENT, widget=page + "ANameLineEdit", text="红队")
        self.manager.must(cmd="setText", window=MANAGEMENT, widget=page + "BNameLineEdit", text="蓝队")
        self.fill_options("GroupVoteCreateListA", "addAGroupOptionBtn", GROUP_A)
        self.fill_options("groupVoteCreateListB", "addBGroupOptionBtn", GROUP_B)
        self.shot(self.manager, MANAGEMENT, "group-vote-editor")
        self.mgmt_click("startGroupVoteBtn")
        for viewer in self.viewers:
            self.expect_shown(viewer, GROUP)
            self.expect_text(viewer, GROUP, "title", "红蓝对决")
            self.expect_text(viewer, GROUP, "AGroupName", "红队")
            self.expect_text(viewer, GROUP, "BGroupName", "蓝队")
            self.expect_text(viewer, GROUP, "Ticket", "3")
        self.open_list_page()
        self.expect_text(self.manager, MANAGEMENT, self.row_link(1), "停止")
        self.note("group vote 红蓝对决 saved and started from its editor; both viewers' windows came up")

    def group_vote(self, host, team, option):
        host.click(GROUP, "optionList%s/option%d/Button" % (team, option))

    def expect_group_scores(self, hosts, a, b):
        for host in hosts:
            wait_until(lambda: self.group_scores(host) == (a, b), 10,
                       "%s: group scores %s:%s (they are %s)" % (host.name, a, b, self.group_scores(host)))

    def step_viewers_vote_on_both_teams(self):
        a, b = self.viewers
        for team, option in (("A", 0), ("A", 0), ("B", 0)):
            self.group_vote(a, team, option)
        for team, option in (("B", 0), ("B", 1)):
            self.group_vote(b, team, option)
        self.expect_group_scores(self.everyone(), "2", "3")
        self.expect_text(a, GROUP, "Ticket", "0")
        self.expect_text(b, GROUP, "Ticket", "1")
        self.note("red 2 : blue 3 for everyone; viewer B keeps one ticket")
        self.shot(a, GROUP, "viewerA-group-vote")
        self.overlay_shot("overlay-group-vote", ".team-total")

    def step_viewer_switches_subchannel_and_back(self):
        b = self.hosts["viewerB"]
        b.must(cmd="subchannel", id=2)
        self.expect_shown(b, GROUP, False)
        wait_until(lambda: b.state().get("subChannelId") == 2, 10, "viewer B in sub-channel 2")
        self.shot(b, CHANNEL_WINDOW, "viewerB-in-subchannel-2")
        b.must(cmd="subchannel", id=SUBCHANNEL)
        self.expect_shown(b, GROUP)
        self.expect_group_scores([b], "2", "3")
        self.expect_text(b, GROUP, "Ticket", "1")
        self.group_vote(b, "B", 1)
        self.expect_group_scores(self.everyone(), "2", "4")
        self.shot(b, GROUP, "viewerB-group-vote-back")
        self.note("viewer B's window closed in sub-channel 2 and came back in 1 with its last ticket; "
                  "it voted again: red 2 : blue 4")

    def step_group_vote_stopped_and_closed(self):
        self.click_row(1, "停止", "关闭")
        for viewer in self.viewers:
            self.expect_text(viewer, GROUP, "TimerMark", "投票已停止")
        self.shot(self.hosts["viewerB"], GROUP, "viewerB-group-vote-stopped")
        self.click_row(1, "关闭", "开启")
        for host in self.everyone():
            self.expect_shown(host, GROUP, False)
        self.note("stopped: viewers read 投票已停止; closed: every group window hidden")

    def step_judge_vote_created_with_two_judges(self):
        self.open_main_page()
        self.mgmt_click("judgeVote")
        self.expect_visible(self.manager, MANAGEMENT, "startJudgeVoteBtn")
        page = "createJudgeVotePage/"
        self.manager.must(cmd="setText", window=MANAGEMENT, widget=page + "voteName", text="评委打分")
        for count, viewer in enumerate((VIEWER_A, VIEWER_B), start=1):
            self.manager.must(cmd="setText", window=MANAGEMENT, widget=page + "voteTovoName",
                              text=str(viewer["imid"]))
            self.mgmt_click(page + "lableJudge")
            wait_until(lambda: self.manager.text(MANAGEMENT, "judgeListCtrl/Lable[%d]" % (count - 1)) is not None,
                       10, "judge %s listed in the editor" % viewer["nick"])
        self.shot(self.manager, MANAGEMENT, "judge-vote-editor")
        self.mgmt_click("voteListAddJudgeVoteLable")
        self.open_list_page()
        wait_until(lambda: self.list_count() == "3", 10, "the vote list counts three votes (%s)" % self.list_count())
        self.note("judge vote 评委打分 saved with judges %d and %d" % (VIEWER_A["imid"], VIEWER_B["imid"]))

    def start_judge_vote(self):
        self.click_row(2, "开启", "停止")
        for viewer in self.viewers:
            self.expect_shown(viewer, JUDGE)
            self.expect_text(viewer, JUDGE, "Judger0", VIEWER_A["nick"])
            self.expect_text(viewer, JUDGE, "Judger1", VIEWER_B["nick"])
            self.expect_text(viewer, JUDGE, "totalPoint", "0")

    def expect_total(self, total):
        for viewer in self.everyone():
            self.expect_text(viewer, JUDGE, "totalPoint", str(total))

    def step_judges_score(self):
        self.start_judge_vote()
        a, b = self.viewers
        self.shot(a, JUDGE, "viewerA-judge-vote-open")
        self.score(a, 4)
        self.score(b, 5)
        self.expect_total(9)
        for viewer in self.viewers:
            self.expect_text(viewer, JUDGE, "JudgeCount0", "4")
            self.expect_text(viewer, JUDGE, "JudgeCount1", "5")
        self.shot(b, JUDGE, "viewerB-judge-vote-scored")
        self.click_row(2, "停止", "关闭")
        self.click_row(2, "关闭", "开启")
        for host in self.everyone():
            self.expect_shown(host, JUDGE, False)
        self.note("judges scored 4 and 5: total 9 for everyone")

    def step_judge_abstains(self):
        self.start_judge_vote()
        a, b = self.viewers
        self.score(a, 3)
        self.expect_total(3)
        self.overlay_shot("overlay-judge-vote-scoring", ".judge-word")
        self.click_row(2, "停止", "关闭")
        for viewer in self.everyone():
            self.expect_text(viewer, JUDGE, "Judging1", "弃权")
            self.expect_text(viewer, JUDGE, "JudgeCount0", "3")
        self.shot(a, JUDGE, "viewerA-judge-vote-abstention")
        self.note("second run: judge A scored 3, judge B abstained and shows 弃权; total 3")

    def history_rows(self, host, window, list_name):
        rows = []
        while True:
            name = host.text(window, "%s/NAME_LABEL[%d]" % (list_name, len(rows)))
            if name is None:
                return rows
            rows.append((name, host.text(window, "%s/TICKETS_LABEL[%d]" % (list_name, len(rows)))))

    def expect_history(self, host, window, list_name):
        expected = [("评委打分", "3"), ("评委打分", "9"), ("红蓝对决", "6"), ("最佳歌手", "7")]
        wait_until(lambda: self.history_rows(host, window, list_name) == expected, 10,
                   "%s: history %s (it is %s)" % (host.name, expected, self.history_rows(host, window, list_name)))
        return expected

    def step_history_for_manager_and_viewer(self):
        a = self.hosts["viewerA"]
        a.click(JUDGE, "VoteRecord")
        self.expect_shown(a, HISTORY)
        expected = self.expect_history(a, HISTORY, "voteRecordListCtrl")
        self.shot(a, HISTORY, "viewerA-history")
        self.click_row(2, "关闭", "开启")
        self.open_main_page()
        self.mgmt_click("mainWinVoteRecordLabel")
        self.expect_visible(self.manager, MANAGEMENT, "voteRecordVotedayLabel")
        self.expect_history(self.manager, MANAGEMENT, "voteRecordListCtrl")
        self.mgmt_click("voteRecordListCtrl/NAME_LABEL[3]")
        wait_until(lambda: self.manager.command(cmd="hover", window=MANAGEMENT,
                                                widget="voteRecordListCtrl/RECORD_LIST_ROW_DETAIL_LAYOUTER").get("ok"),
                   10, "the normal vote's history row unfolds its options")
        self.shot(self.manager, MANAGEMENT, "manager-history-unfolded")
        self.note("history, newest first, to viewer A (through 投票记录) and to the manager: %s" % expected)

    def step_service_restart_and_next_vote(self):
        self.service.kill()
        for host in self.everyone():
            wait_until(lambda: not host.state().get("connected"), 10, "%s notices the service is gone" % host.name)
        self.shot(self.manager, CHANNEL_WINDOW, "manager-service-down")
        self.expect_visible(self.manager, MANAGEMENT, "serviceStateLabel")
        self.shot(self.manager, MANAGEMENT, "management-window-service-down")
        self.service.start()
        for host in self.everyone():
            wait_until(lambda: host.state().get("connected"), 40, "%s reconnects" % host.name)
        wait_until(lambda: not self.visible(self.manager, MANAGEMENT, "serviceStateLabel"), 10,
                   "the management window's service banner goes away")
        self.note("quorix-voted killed and restarted on the same port; the management window said so while it "
                  "was gone; all three hosts reconnected")
        self.open_main_page()
        self.mgmt_click("nomalVote")
        self.expect_visible(self.manager, MANAGEMENT, "startNormalVoteBtn")
        self.manager.must(cmd="setText", window=MANAGEMENT, widget="createNormalVotePage/voteName", text="重启之后")
        self.manager.must(cmd="select", window=MANAGEMENT, widget="createNormalVotePage/maxTicket", index=0)
        self.manager.must(cmd="select", window=MANAGEMENT, widget="createNormalVotePage/maxOptionTicket", index=0)
        self.fill_options("normalVoteCreateList", "addNormalOptionBtn", NORMAL_OPTIONS)
        self.mgmt_click("startNormalVoteBtn")
        for viewer in self.viewers:
            self.expect_shown(viewer, NORMAL)
            self.expect_text(viewer, NORMAL, "title", "重启之后")
        a, b = self.viewers
        self.vote_normal(a, 0)
        self.vote_normal(b, 0)
        expected = {text: "0" for text in NORMAL_OPTIONS}
        expected[NORMAL_OPTIONS[0]] = "2"
        self.expect_normal_counts(self.everyone(), expected)
        self.shot(b, NORMAL, "viewerB-vote-after-restart")
        self.open_list_page()
        self.click_row(0, "停止", "关闭")
        self.click_row(0, "关闭", "开启")
        for host in self.everyone():
            self.expect_shown(host, NORMAL, False)
        self.note("after the restart a new vote was started from its editor, both viewers voted for %s, the count reached everyone; stopped and closed" % NORMAL_OPTIONS[0])

    STEPS = [
        ("start the vote service and three hosts", step_start_everything),
        ("manager creates a normal vote in the editor and saves it", step_normal_vote_created_in_editor),
        ("manager starts the normal vote from the list", step_normal_vote_started_from_list),
        ("viewers vote within and beyond their allowance", step_viewers_vote_within_and_beyond_allowance),
        ("manager stops and closes the normal vote", step_normal_vote_stopped_and_closed),
        ("manager starts a group vote straight from its editor", step_group_vote_started_from_editor),
        ("viewers vote on both teams", step_viewers_vote_on_both_teams),
        ("a viewer switches sub-channel during the vote and back", step_viewer_switches_subchannel_and_back),
        ("manager stops and closes the group vote", step_group_vote_stopped_and_closed),
        ("manager creates a judge vote naming both viewers", step_judge_vote_created_with_two_judges),
        ("both judges score and the total reaches everyone", step_judges_score),
        ("second run: one judge abstains", step_judge_abstains),
        ("history to the manager and to a viewer", step_history_for_manager_and_viewer),
        ("vote service killed and restarted; the next vote works", step_service_restart_and_next_vote),
    ]

    def run(self):
        started = time.monotonic()
        failed = None
        try:
            for number, (title, step) in enumerate(self.STEPS, start=1):
                self.report.append("step %d: %s" % (number, title))
                print("step %d: %s" % (number, title), flush=True)
                try:
                    step(self)
                except (StepFailed, OSError, subprocess.SubprocessError, KeyError) as error:
                    failed = "step %d (%s) failed: %s" % (number, title, error)
                    self.report.append("    FAILED: %s" % error)
                    self.capture_failure()
                    break
                self.report.append("    ok")
        finally:
            self.stop_everything()
        seconds = time.monotonic() - started
        self.report.append(failed or "all %d steps passed in %.1f s" % (len(self.STEPS), seconds))
        with open(os.path.join(self.out_dir, "report.txt"), "w") as out:
            out.write("\n".join(self.report) + "\n")
        print(self.report[-1], flush=True)
        return 1 if failed else 0

    def capture_failure(self):
        """Grabs every visible window of every host so the failure can be seen."""
        for host in self.hosts.values():
            try:
                for window in host.must(cmd="windows")["windows"]:
                    if window["visible"] and window["title"]:
                        self.shot(host, window["title"], "failure-%s-%s" % (host.name, window["objectName"] or "window"))
            except (StepFailed, OSError):
                continue

    def stop_everything(self):
        self.close_web_watchers()
        for host in self.hosts.values():
            status = host.quit()
            if status not in (0, None):
                self.report.append("    %s exited with status %s" % (host.name, status))
        self.service.stop()


def play(bin_dir, run_dir):
    """Starts the service and three hosts with their windows for a person, until the manager's closes."""
    scenario = Scenario(bin_dir, run_dir, run_dir)
    scenario.service.start()
    players = (("manager", MANAGER), ("viewerA", VIEWER_A), ("viewerB", VIEWER_B))
    for (name, identity), position in zip(players, PLAY_POSITIONS):
        token = scenario.service.token(identity)
        scenario.hosts[name] = Host(name, identity, bin_dir, run_dir, scenario.host_service_options(), token,
                                    offscreen=False, position=position)
    print("quorix-voted listens on 127.0.0.1:%d; three channel windows open:" % scenario.service.port)
    for host in scenario.everyone():
        print("  %-8s uid %d, number %d, %s, role %d" % (host.name, host.identity["uid"], host.identity["imid"],
                                                       host.identity["nick"], host.identity["role"]))
    print("Its web face is on %s:" % scenario.web_base())
    print("  overlay (browser source, 1920x1080): %s" %
          scenario.web_url("/overlay/%d/%d" % (CHANNEL, SUBCHANNEL), MANAGER, "events"))
    print("  viewer page of %s: %s" % (VIEWER_WEB["nick"],
                                      scenario.web_url("/vote/%d/%d" % (CHANNEL, SUBCHANNEL), VIEWER_WEB)))
    print("Each channel window's 打开网页投票页 opens that user's own viewer page in the browser.")
    print("The add-on's button 投票2.0 appears after five seconds. Close the manager's window to stop.",
          flush=True)
    try:
        scenario.manager.process.wait()
    except KeyboardInterrupt:
        pass
    finally:
        scenario.stop_everything()
    return 0


def run_in_scratch_folder(make_scenario, out_dir, keep_logs, prefix):
    """Runs the scenario make_scenario(run_dir) builds in a scratch folder near the root (Unix socket
    paths are short), copies the processes' logs to out_dir when it failed or keep_logs asks, and
    removes the folder."""
    run_dir = tempfile.mkdtemp(prefix=prefix)
    try:
        status = make_scenario(run_dir).run()
        if keep_logs or status:
            for name in os.listdir(run_dir):
                if name.endswith((".log", ".stderr")):
                    shutil.copy(os.path.join(run_dir, name), out_dir)
    finally:
        shutil.rmtree(run_dir, ignore_errors=True)
    return status


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin-dir", required=True, help="folder with tovo-host, quorix-voted and the add-on")
    parser.add_argument("--out", default="out/demo", help="folder for screenshots and report.txt")
    parser.add_argument("--keep-logs", action="store_true", help="copy the processes' logs to the output folder")
    parser.add_argument("--play", action="store_true", help="show the windows to a person instead of the scenario")
    options = parser.parse_args()
    if options.play:
        run_dir = tempfile.mkdtemp(prefix="quorix-demo-")
        try:
            return play(os.path.abspath(options.bin_dir), run_dir)
        finally:
            shutil.rmtree(run_dir, ignore_errors=True)
    out_dir = os.path.abspath(options.out)
    os.makedirs(out_dir, exist_ok=True)
    for old in os.listdir(out_dir):
        if old.endswith(".png") or old == "report.txt":
            os.remove(os.path.join(out_dir, old))
    return run_in_scratch_folder(lambda run_dir: Scenario(os.path.abspath(options.bin_dir), out_dir, run_dir),
                                 out_dir, options.keep_logs, "quorix-e2e-")


if __name__ == "__main__":
    sys.exit(main())
