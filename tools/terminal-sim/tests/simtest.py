"""Starting a simulated terminal for a test and talking to it."""

import ftplib
import itertools
import json
import os
import select
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import textwrap
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SIM = os.path.join(os.path.dirname(HERE), "terminal_sim.py")
PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") \
    else sys.executable

_ADDR_BASE = int(os.environ.get("TERMSIM_TEST_ADDR_BASE", "0"))
_counter = itertools.count(_ADDR_BASE)


def next_address():
    """A fresh 127.0.x.200-249 address for every terminal of the suite."""
    n = next(_counter)
    return "127.0.%d.%d" % (n // 50 % 250, 200 + n % 50)


def u32(value):
    return struct.pack(">I", value)


class Sim:
    """One terminal process with its own address, flash and journal."""

    def __init__(self, scenario="", time_scale=0.05, flash_files=None,
                 extra_args=()):
        self.address = next_address()
        self.dir = tempfile.mkdtemp(prefix="termsim-")
        self.flash = os.path.join(self.dir, "flash")
        self.journal_path = os.path.join(self.dir, "journal.jsonl")
        self.scenario_path = os.path.join(self.dir, "scenario.ini")
        with open(self.scenario_path, "w") as fh:
            fh.write(textwrap.dedent(scenario))
        for vpath, data in (flash_files or {}).items():
            path = os.path.join(self.flash, vpath.lstrip("/"))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as fh:
                fh.write(data)
        self.args = [PYTHON, SIM, "--address", self.address,
                     "--scenario", self.scenario_path, "--flash", self.flash,
                     "--journal", self.journal_path,
                     "--time-scale", str(time_scale)] + list(extra_args)
        self.proc = None
        self._boots = 1

    def start(self, timeout=10.0):
        self.proc = subprocess.Popen(self.args, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE)
        ready, _, _ = select.select([self.proc.stdout], [], [], timeout)
        line = self.proc.stdout.readline() if ready else b""
        if line.strip() != b"READY":
            self.stop()
            raise AssertionError("terminal did not start: %r %r"
                                 % (line, self.proc.stderr.read()))
        return self

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(5)
        if self.proc:
            self.proc.stdout.close()
            self.proc.stderr.close()

    def cleanup(self):
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    # -- the terminal's record ------------------------------------------

    def journal(self, event=None):
        try:
            with open(self.journal_path) as fh:
                entries = [json.loads(line) for line in fh if line.strip()]
        except FileNotFoundError:
            return []
        return [e for e in entries if event is None or e["event"] == event]

    def wait_journal(self, event, count=1, timeout=8.0, **match):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = [e for e in self.journal(event)
                     if all(e.get(k) == v for k, v in match.items())]
            if len(found) >= count:
                return found
            time.sleep(0.02)
        raise AssertionError("no %d %r %r in journal: %r" % (
            count, event, match, self.journal()))

    def file(self, vpath):
        path = os.path.join(self.flash, vpath.lstrip("/"))
        if not os.path.exists(path):
            return None
        with open(path, "rb") as fh:
            return fh.read()

    # -- ZING -------------------------------------------------------------

    def zing(self, code, arg=None, timeout=3.0, expect_reply=True):
        """Send one request on a fresh connection; the reply bytes."""
        with socket.create_connection((self.address, 1827), timeout=2) as s:
            s.sendall(u32(code) + (bytes([arg]) if arg is not None else b""))
            if not expect_reply:
                return None
            s.settimeout(timeout)
            try:
                return s.recv(65536)
            except socket.timeout:
                return None

    def version(self):
        reply = self.zing(0x04)
        return reply[8:].split(b"\0")[0].decode("latin-1")

    def port_open(self, port):
        try:
            socket.create_connection((self.address, port), timeout=1).close()
            return True
        except OSError:
            return False

    def wait_port(self, port, is_open, timeout=5.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.port_open(port) == is_open:
                return
            time.sleep(0.02)
        raise AssertionError("port %d never became %s" % (
            port, "open" if is_open else "closed"))

    def wait_down_and_up(self, timeout=8.0):
        """Wait for the next boot (by the journal) and its ZING port."""
        self._boots += 1
        self.wait_journal("boot", count=self._boots, timeout=timeout)
        self.wait_port(1827, True, timeout)

    # -- FTP ----------------------------------------------------------------

    def ftp(self):
        f = ftplib.FTP()
        f.connect(self.address, 21, timeout=5)
        f.login("termuser", "skyharbor")
        return f

    def put(self, remote, data):
        import io
        f = self.ftp()
        try:
            f.storbinary("STOR " + remote, io.BytesIO(data))
        finally:
            f.close()

    # -- shell --------------------------------------------------------------

    def shell(self):
        return Shell(self.address)


class Shell:
    """A raw shell connection that reads what arrives in one piece."""

    def __init__(self, address):
        self.sock = socket.create_connection((address, 23), timeout=3)

    def read(self, timeout=3.0, until=None):
        self.sock.settimeout(timeout)
        data = b""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                chunk = self.sock.recv(65536)
            except socket.timeout:
                break
            if not chunk:
                break
            data += chunk
            if until is None or until in data:
                break
        return data.decode("latin-1")

    def send(self, line):
        self.sock.sendall(line.encode("latin-1") + b"\r\n")

    def cmd(self, line, timeout=3.0):
        self.send(line)
        return self.read(timeout, until=b"-> ")

    def login(self):
        banner = self.read(until=b": ")
        self.send("termuser")
        self.read(until=b"Password:")
        self.send("skyharbor")
        self.read(until=b"-> ")
        return banner

    def close(self):
        self.sock.close()


class SimTestCase(unittest.TestCase):
    """Gives each test a terminal with self.start_sim(...)."""

    def start_sim(self, scenario="", **kw):
        sim = Sim(scenario, **kw)
        self.addCleanup(sim.cleanup)
        return sim.start()
