#!/usr/bin/env python3
"""Builds the Debian packages, unpacks them into a fresh root and uses the installed programs.

From the unpacked root, with no environment pointing at the build: every program answers --version and
has its manual page; quorix-voted runs with a secret and a data folder, tells systemd it is ready and
logs with journal priorities; three tovo-host processes load the installed add-on and play one normal
vote end to end (the steps of scripts/e2e/quorix_e2e.py). Every installed program and library is linked
hardened (readelf) and stripped of the sections lintian flags. Then the files the packages list are
removed and nothing may be left but the service's data. Exit status 0, or 1 naming the failed check.
"""

import argparse
import glob
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "scripts", "e2e"))
import quorix_e2e  # noqa: E402
from quorix_e2e import StepFailed, wait_until  # noqa: E402

PACKAGES = {"quorix-voted": ["quorix-voted"], "quorix-desktop": ["tovo-host", "tovo-hostctl"],
            "quorix-tools": ["quorix-wire"]}
DATA = os.path.join("var", "lib", "quorix")


def build_packages(cpack, build_dir, out_dir):
    subprocess.run([cpack, "-G", "DEB", "-B", out_dir], cwd=build_dir, check=True, capture_output=True)
    debs = {}
    for name in PACKAGES:
        found = glob.glob(os.path.join(out_dir, name + "_*.deb"))
        if len(found) != 1:
            raise StepFailed("cpack made %s for %s" % (found, name))
        debs[name] = found[0]
    return debs


def unpack(debs, root):
    """Unpacks every package into root; returns the paths (relative to root) each one lists."""
    listed = set()
    for deb in debs.values():
        subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
        contents = subprocess.run(["dpkg-deb", "--fsys-tarfile", deb], check=True, capture_output=True).stdout
        names = subprocess.run(["tar", "-t"], input=contents, check=True, capture_output=True).stdout.decode()
        listed.update(os.path.normpath(name) for name in names.splitlines() if os.path.normpath(name) != ".")
    return listed


def check_programs(root):
    for package, programs in PACKAGES.items():
        for program in programs:
            path = os.path.join(root, "usr", "bin", program)
            version = subprocess.run([path, "--version"], capture_output=True, text=True, timeout=10).stdout
            if not version.startswith(program + " "):
                raise StepFailed("%s --version printed %r" % (program, version))
            if not os.path.isfile(os.path.join(root, "usr", "share", "man", "man1", program + ".1.gz")):
                raise StepFailed("%s has no manual page" % program)
            if not os.path.isfile(os.path.join(root, "usr", "share", "doc", package, "copyright")):
                raise StepFailed("%s has no copyright file" % package)


# What readelf must show of every installed binary: (what, applies to, pattern, must match). "program"
# rows apply to usr/bin, "service" rows to the network service only: its stack canaries and fortified libc
# calls show as imports of __stack_chk_fail and of __*_chk functions.
HARDENING = [
    ("bound at start (BIND_NOW)", "all", r"\((?:FLAGS|FLAGS_1)\)\s.*\b(?:BIND_NOW|NOW)\b", True),
    ("read-only relocations (GNU_RELRO)", "all", r"^\s*GNU_RELRO\s", True),
    ("a .comment section", "all", r"\]\s+\.comment\s", False),
    ("a .note section", "all", r"\]\s+\.note\s", False),
    ("position-independent", "program", r"^\s*Type:\s+DYN\b", True),
    ("stack protector", "service", r"\b__stack_chk_fail@", True),
    ("fortified libc calls", "service", r"\b__\w+_chk@", True),
]


def check_hardening(root, listed):
    """Checks the HARDENING rows on every ELF file the packages install; returns how many were checked."""
    checked = set()
    for path in sorted(listed):
        full = os.path.join(root, path)
        if os.path.islink(full) or not os.path.isfile(full):
            continue
        with open(full, "rb") as binary:
            if binary.read(4) != b"\x7fELF":
                continue
        elf = subprocess.run(["readelf", "-W", "-h", "-l", "-d", "-S", "--dyn-syms", full], check=True,
                             capture_output=True, text=True).stdout
        kinds = {"all"}
        if path.startswith(os.path.join("usr", "bin") + os.sep):
            kinds.add("program")
        if os.path.basename(path) == "quorix-voted":
            kinds.add("service")
        for what, kind, pattern, wanted in HARDENING:
            if kind in kinds and bool(re.search(pattern, elf, re.MULTILINE)) != wanted:
                raise StepFailed("%s %s %s" % (path, "lacks" if wanted else "still has", what))
        checked.add(path)
    programs = {os.path.join("usr", "bin", program) for programs in PACKAGES.values() for program in programs}
    if not programs <= checked:
        raise StepFailed("no ELF file checked for %s" % sorted(programs - checked))
    return len(checked)


class InstalledService(quorix_e2e.Service):
    """The installed quorix-voted with its packaged configuration, a data folder, its standard error as if
    it were the journal's stream, and a systemd notification socket."""

    def __init__(self, root, run_dir):
        super().__init__(os.path.join(root, "usr", "bin"), run_dir)
        # The packaged configuration, its listen address and data folder overridden on the command line.
        self.config = os.path.join(root, "etc", "quorix", "voted.conf")
        self.data_dir = os.path.join(root, DATA)
        self.notify = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.notify.bind(os.path.join(run_dir, "notify"))
        self.notify.settimeout(10)

    def start(self):
        log = open(self.log_path, "a")
        status = os.fstat(log.fileno())
        env = dict(os.environ, NOTIFY_SOCKET=self.notify.getsockname(),
                   JOURNAL_STREAM="%d:%d" % (status.st_dev, status.st_ino))
        self.process = subprocess.Popen(
            [self.program, "--config", self.config, "--listen", "127.0.0.1:%d" % self.port, "--data", self.data_dir,
             "--http", "127.0.0.1:%d" % self.http_port, "--secret-file", self.secret_file],
            stdout=log, stderr=log, env=env)
        log.close()
        self.expect_notification(b"READY=1")
        wait_until(self._accepts, 10, "quorix-voted accepts connections on port %d" % self.port)

    def expect_notification(self, text):
        try:
            message = self.notify.recv(4096)
        except socket.timeout:
            raise StepFailed("no %s from quorix-voted on NOTIFY_SOCKET" % text.decode())
        if text not in message.split(b"\n"):
            raise StepFailed("quorix-voted notified %r, not %s" % (message, text.decode()))

    def log(self):
        with open(self.log_path) as log:
            return log.read()


class InstalledScenario(quorix_e2e.Scenario):
    """One normal vote from the editor to its close, on the installed programs."""

    def __init__(self, root, out_dir, run_dir):
        super().__init__(os.path.join(root, "usr", "bin"), out_dir, run_dir)
        self.root = root
        self.service = InstalledService(root, run_dir)

    def step_start_everything(self):
        super().step_start_everything()
        web = os.path.join(self.root, "usr", "share", "quorix", "web")
        for line in ("<6>listening on 127.0.0.1:%d" % self.service.port, "<6>web pages from " + web):
            if line not in self.service.log():
                raise StepFailed("the service's log lacks %r:\n%s" % (line, self.service.log()))
        addon = os.path.join(self.root, "usr", "lib", "quorix", "addon", "libquorixapp.so")
        with open("/proc/%d/maps" % self.manager.process.pid) as maps:
            if os.path.realpath(addon) not in maps.read():
                raise StepFailed("the manager's host did not load the installed add-on " + addon)
        self.note("installed service ready (sd_notify), journal priorities in its log, installed add-on loaded")
        self.check_reload()

    def check_reload(self):
        """`systemctl reload` is the unit's ExecReload: SIGHUP, which rereads the keys and keeps serving."""
        with open(os.path.join(self.root, "lib", "systemd", "system", "quorix-voted.service")) as unit:
            if "ExecReload=/bin/kill -HUP $MAINPID\n" not in unit.read():
                raise StepFailed("the packaged unit has no ExecReload that sends SIGHUP")
        self.service.process.send_signal(signal.SIGHUP)
        wait_until(lambda: "<6>reload: nothing changed; keys secret (unchanged)" in self.service.log(), 10,
                   "the installed service logs its reload")
        if self.service.process.poll() is not None:
            raise StepFailed("the installed service ended on SIGHUP:\n" + self.service.log())
        self.note("SIGHUP (the unit's ExecReload) reread the secret and the service went on")

    STEPS = [("start the installed vote service and three hosts", step_start_everything)] + \
        quorix_e2e.Scenario.STEPS[1:5]

    def stop_everything(self):
        super().stop_everything()
        self.service.expect_notification(b"STOPPING=1")


def remove_listed(root, listed):
    """Removes the listed files, then the listed folders that are empty; returns what is left in root."""
    for path in sorted(listed, key=lambda p: p.count(os.sep), reverse=True):
        full = os.path.join(root, path)
        if os.path.islink(full) or os.path.isfile(full):
            os.remove(full)
        elif os.path.isdir(full) and not os.listdir(full):
            os.rmdir(full)
    left = []
    for folder, _, files in os.walk(root):
        left += [os.path.relpath(os.path.join(folder, name), root) for name in files]
    return sorted(left)


def run(options, work):
    root = os.path.join(work, "root")
    debs = build_packages(options.cpack, options.build_dir, os.path.join(work, "debs"))
    listed = unpack(debs, root)
    check_programs(root)
    hardened = check_hardening(root, listed)
    os.makedirs(os.path.join(root, DATA))
    run_dir = os.path.join(work, "run")
    os.makedirs(run_dir)
    if InstalledScenario(root, options.out, run_dir).run() != 0:
        raise StepFailed("the vote on the installed programs failed (report in %s)" % options.out)
    left = remove_listed(root, listed)
    if not left or any(not path.startswith(DATA + os.sep) for path in left):
        raise StepFailed("after removing the packages' files, left: %s" % left)
    print("packages %s built, unpacked, %d binaries hardened, used and removed; left only %s" %
          (", ".join(sorted(debs)), hardened, ", ".join(left)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cpack", default="cpack")
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--out", required=True, help="folder for the scenario's screenshots and report")
    options = parser.parse_args()
    os.makedirs(options.out, exist_ok=True)
    # Unix socket paths are short; keep the work folder near the root.
    work = tempfile.mkdtemp(prefix="quorix-pkg-")
    try:
        run(options, work)
    except (StepFailed, subprocess.CalledProcessError) as error:
        print("FAILED: %s" % error, flush=True)
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
