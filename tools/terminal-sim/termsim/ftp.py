"""FTP service on TCP 21, served by pyftpdlib.

The FTP root is the flash folder; the login folder is /tffs0, so
"GET image.txt" reads /tffs0/image.txt while absolute paths such as
/tffs0/bin/... and /ram0/syslog.log reach the whole flash.

Every upload is recorded (bytes received, their SHA-256, whether the
STOR finished) so that a truncated file on the flash can be told apart.
In strict mode the server answers like an older embedded one: no "/",
no extensions (EPSV, EPRT, SIZE, MDTM, MLSD, MLST, FEAT).  In classic
mode it knows only the commands of an older VxWorks FTP server (CLASSIC)
and answers 500 to everything else, RNFR and RNTO included.
"""

import hashlib
import logging
import os
import socket
import struct
import threading

from pyftpdlib.authorizers import AuthenticationFailed, DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.ioloop import IOLoop
from pyftpdlib.servers import FTPServer

from .flash import RECORD
from .guard import check_loopback

FTP_PORT = 21
USER = "termuser"
PASSWORD = "skyharbor"
LOGIN_FOLDER = "/tffs0"
# what an older embedded FTP server does not know
STRICT_UNKNOWN = ("EPSV", "EPRT", "SIZE", "MDTM", "MLSD", "MLST", "FEAT")
# the whole command set of an older VxWorks FTP server, in its HELP order
CLASSIC = ("HELP", "USER", "PASS", "QUIT", "LIST", "NLST", "RETR", "STOR",
           "CWD", "TYPE", "PORT", "PWD", "STRU", "MODE", "ALLO", "ACCT",
           "PASV", "NOOP", "DELE")
CWD_CMDS = ("CWD", "XCWD", "CDUP", "XCUP")
REFUSE_TEXT = {
    "STOR": "Insufficient storage space (flash full)",
    "RETR": "Local error in processing",
    "DELE": "Permission denied",
    "RNFR": "Permission denied",
    "RNTO": "Permission denied",
}

_log = logging.getLogger("pyftpdlib")
_log.setLevel(logging.WARNING)
if not _log.handlers:
    _log.addHandler(logging.StreamHandler())


def _rst(sock):
    try:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                        struct.pack("ii", 1, 0))
    except OSError:
        pass


class _Authorizer(DummyAuthorizer):
    refuse_all = False

    def validate_authentication(self, username, password, handler):
        if self.refuse_all:
            raise AuthenticationFailed("Login incorrect.")
        DummyAuthorizer.validate_authentication(self, username, password,
                                                handler)


class _FlashFS(AbstractedFS):
    """The flash folder, without the simulator's upload record."""

    def _is_record(self, path):
        return os.path.abspath(path) == os.path.join(self.root, RECORD)

    def validpath(self, path):
        if self._is_record(path[:-4] if path.endswith(".tmp") else path):
            return False
        return AbstractedFS.validpath(self, path)

    def listdir(self, path):
        return [n for n in AbstractedFS.listdir(self, path)
                if not n.startswith(RECORD)]


class _Recorder:
    """File object of a STOR: counts and hashes what arrives; with a cap
    only the first `cap` bytes reach the file (a full flash)."""

    def __init__(self, fh, cap=None):
        self._fh = fh
        self.name = fh.name
        self.cap = cap
        self.received = 0
        self.written = 0
        self.full = False
        self._sha = hashlib.sha256()

    @property
    def closed(self):
        return self._fh.closed

    def write(self, data):
        self.received += len(data)
        self._sha.update(data)
        if self.cap is not None and self.written + len(data) > self.cap:
            data = data[:max(0, self.cap - self.written)]
            self.full = True
        if data:
            self._fh.write(data)
            self.written += len(data)
        return len(data)

    def sha256(self):
        return self._sha.hexdigest()

    def close(self):
        self._fh.close()


class _FaultyDTP(DTPHandler):
    """Data channel that can reset or stall a transfer part-way, or fill
    the flash."""

    terminal = None
    _plan = None
    _stalled = False

    def _transfer_kind(self):
        return "STOR" if self.receive else "RETR"

    def plan(self):
        """The faults armed for this transfer (taken at its start)."""
        if self._plan is None:
            self._plan = getattr(self.cmd_channel, "_plan", None) or {}
        return self._plan

    def enable_receiving(self, type, cmd):
        plan = self.plan()
        if cmd == "STOR" and self.file_obj is not None:
            full = plan.get("full")
            self.file_obj = _Recorder(self.file_obj,
                                      full[1] if full else None)
        DTPHandler.enable_receiving(self, type, cmd)

    def _cut(self, done):
        """Next byte offset where a fault is due, or None."""
        plan = self.plan()
        points = [p for p in (plan.get("reset"),
                              None if self._stalled else plan.get("stall"))
                  if p is not None and p > done]
        return min(points) if points else None

    def _check_faults(self, done):
        term = self.terminal
        plan = self.plan()
        kind = self._transfer_kind()
        if plan.get("reset") is not None and done >= plan["reset"]:
            plan["reset"] = None
            term.ftp_fault_fired("reset")
            term.journal.write("fault", kind="ftp_reset", transfer=kind,
                               bytes=done, path=plan.get("path"))
            self._resp = ()
            _rst(self.socket)
            cmd = self.cmd_channel
            self.close()
            _rst(cmd.socket)
            cmd.close()
            if term.scenario.ftp_reset_restart:
                term.restart("power cut")
            return True
        if not self._stalled and plan.get("stall") is not None \
                and done >= plan["stall"]:
            self._stalled = True
            term.ftp_fault_fired("stall")
            term.journal.write("fault", kind="ftp_stall", transfer=kind,
                               bytes=done, path=plan.get("path"))
            self.ioloop.modify(self._fileno, 0)
            secs = term.scenario.ftp_stall_seconds
            if secs > 0:
                events = (self.ioloop.READ if self.receive
                          else self.ioloop.WRITE)
                self.ioloop.call_later(term.scenario.scaled(secs),
                                       self._resume, events)
            return True
        return False

    def _resume(self, events):
        if not self._closed:
            self.ioloop.modify(self._fileno, events)

    def handle_read(self):
        if self._check_faults(self.tot_bytes_received):
            return
        DTPHandler.handle_read(self)

    handle_read_event = handle_read

    def recv(self, buffer_size):
        # stop exactly at the point where a fault is due
        done = self.tot_bytes_received
        cut = self._cut(done)
        if cut is not None:
            buffer_size = max(1, min(buffer_size, cut - done))
        return DTPHandler.recv(self, buffer_size)

    def send(self, data):
        done = self.tot_bytes_sent
        if self._check_faults(done):
            return 0
        cut = self._cut(done)
        if cut is not None and done < cut < done + len(data):
            data = data[:cut - done]
        return DTPHandler.send(self, data)

    def handle_close(self):
        rec = self.file_obj
        if not self._closed and self.receive \
                and isinstance(rec, _Recorder) and rec.full:
            # the flash filled up: what fitted stays, the STOR fails
            code = self.plan()["full"][0]
            self.transfer_finished = False
            self.terminal.journal.write(
                "fault", kind="ftp_flash_full", transfer="STOR",
                path=self.plan().get("path"), bytes=rec.received,
                written=rec.written, reply=code)
            self._resp = ("%d %s; %d of %d bytes written." % (
                code, REFUSE_TEXT["STOR"], rec.written, rec.received),
                _log.debug)
            self.close()
            return
        DTPHandler.handle_close(self)

    def close(self):
        # the upload is on record before the client reads the reply
        rec = self.file_obj
        if not self._closed and self.receive and isinstance(rec, _Recorder):
            self.cmd_channel.stored(rec, self.transfer_finished)
        DTPHandler.close(self)


class _Handler(FTPHandler):
    terminal = None
    banner = "ORVEX terminal FTP server ready."
    use_sendfile = False
    permit_foreign_addresses = False
    abstracted_fs = _FlashFS
    _plan = None

    def on_login(self, username):
        self.fs.cwd = LOGIN_FOLDER

    def pre_process_command(self, line, cmd, arg):
        shown = "****" if cmd == "PASS" else arg
        self.terminal.journal.write("ftp", cmd=cmd, arg=shown,
                                    cwd=getattr(self.fs, "cwd", None))
        return FTPHandler.pre_process_command(self, line, cmd, arg)

    def _flash_path(self, file):
        return "/" + self.fs.fs2ftp(file).lstrip("/")

    def _refuse(self, cmd, arg, code, text, reason):
        self.terminal.journal.write("ftp_refused", cmd=cmd, arg=arg,
                                    reply=code, reason=reason)
        self.respond("%d %s" % (code, text))

    def process_command(self, cmd, *args, **kwargs):
        # arguments of file commands arrive here as disk paths
        term = self.terminal
        sc = term.scenario
        arg = args[0] if args else ""
        if sc.ftp_classic:
            if cmd not in CLASSIC:
                self._refuse(cmd, arg, 500,
                             "'%s': command not understood." % cmd, "classic")
                return
            if cmd == "HELP":
                self.push("214-The following commands are recognized:\r\n")
                for i in range(0, len(CLASSIC), 8):
                    self.push(" " + " ".join(CLASSIC[i:i + 8]) + "\r\n")
                self.respond("214 End of HELP info.")
                return
        if sc.ftp_strict or sc.ftp_classic:
            if cmd in STRICT_UNKNOWN:
                self._refuse(cmd, arg, 500,
                             "'%s': command not understood." % cmd, "strict")
                return
            if cmd in CWD_CMDS and self.fs.fs2ftp(arg) == "/":
                # a VxWorks file system has devices (/tffs0), no "/"
                self._refuse(cmd, "/", 550, "/: No such file or directory.",
                             "strict")
                return
        if cmd in ("LIST", "NLST", "MLSD", "RETR", "STOR", "APPE", "STOU"):
            self._plan = None
        if cmd in REFUSE_TEXT and self.authenticated:
            path = self._flash_path(arg)
            paths = (path,)
            if cmd == "RNTO" and self._rnfr:
                paths = (self._flash_path(self._rnfr), path)
            code = term.ftp_refusal(cmd, *paths)
            if code is not None:
                if cmd == "RNTO":
                    self._rnfr = None
                term.journal.write("fault", kind="ftp_refuse", cmd=cmd,
                                   path=path, reply=code)
                self.respond("%d %s." % (code, REFUSE_TEXT[cmd]))
                return
            if cmd == "RNTO" and self._rnfr \
                    and sc.ftp_rename_existing == "refuse" \
                    and os.path.lexists(arg) \
                    and os.path.realpath(arg) != os.path.realpath(self._rnfr):
                self._rnfr = None
                self._refuse(cmd, path, 550, "%s: File exists." % path,
                             "target exists")
                return
            if cmd in ("RETR", "STOR"):
                self._plan = term.ftp_transfer_plan(cmd, path)
        src = self._rnfr
        FTPHandler.process_command(self, cmd, *args, **kwargs)
        done = self._last_response.startswith("250")
        if cmd == "DELE" and done:
            term.flash.forget(self._flash_path(arg))
        elif cmd == "RNTO" and done and src:
            term.flash.moved(self._flash_path(src), self._flash_path(arg))

    def stored(self, rec, complete):
        """A STOR ended (called by the data channel before the reply)."""
        path = self._flash_path(rec.name)
        self.terminal.flash.record_upload(path, rec.received, rec.sha256(),
                                          complete)
        self.terminal.journal.write("ftp_stored", path=path,
                                    complete=complete, bytes=rec.received,
                                    written=rec.written)

    def on_file_sent(self, file):
        self.terminal.journal.write("ftp_sent", path=self._flash_path(file),
                                    complete=True)

    def on_incomplete_file_sent(self, file):
        self.terminal.journal.write("ftp_sent", path=self._flash_path(file),
                                    complete=False)


class FtpService:
    name = "ftp"

    def __init__(self, address, terminal):
        self.address = check_loopback(address)
        self.terminal = terminal
        self.stopping = threading.Event()
        self._thread = None
        self._server = None

    def start(self):
        auth = _Authorizer()
        auth.refuse_all = self.terminal.scenario.ftp_login_refused
        auth.add_user(USER, PASSWORD, self.terminal.flash.root,
                      perm="elradfmwT")  # no SITE CHMOD
        dtp = type("DTP", (_FaultyDTP,), {"terminal": self.terminal})
        handler = type("Handler", (_Handler,), {
            "terminal": self.terminal, "authorizer": auth,
            "dtp_handler": dtp,
            "auth_failed_timeout": self.terminal.scenario.scaled(1.0)})
        self._server = FTPServer((self.address, FTP_PORT), handler,
                                 ioloop=IOLoop())
        self._thread = threading.Thread(target=self._loop, name="ftp",
                                        daemon=True)
        self._thread.start()

    def _loop(self):
        try:
            while not self.stopping.is_set():
                self._server.serve_forever(timeout=0.1, blocking=False,
                                           handle_exit=False)
        finally:
            self._server.close_all()

    def stop(self):
        self.stopping.set()
        if self._thread is not None:
            self._thread.join(3.0)
