"""FTP service on TCP 21, served by pyftpdlib.

The FTP root is the flash folder; the login folder is /tffs0, so
"GET image.txt" reads /tffs0/image.txt while absolute paths such as
/tffs0/bin/... and /ram0/syslog.log reach the whole flash.
"""

import logging
import socket
import struct
import threading

from pyftpdlib.authorizers import AuthenticationFailed, DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.ioloop import IOLoop
from pyftpdlib.servers import FTPServer

from .guard import check_loopback

FTP_PORT = 21
USER = "termuser"
PASSWORD = "skyharbor"
LOGIN_FOLDER = "/tffs0"

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


class _FaultyDTP(DTPHandler):
    """Data channel that can reset or stall a transfer part-way."""

    terminal = None
    _stalled = False

    def _transfer_kind(self):
        return "STOR" if self.receive else "RETR"

    def _check_faults(self, done):
        term = self.terminal
        kind = self._transfer_kind()
        if term.ftp_fault_due("reset", kind, done):
            term.journal.write("fault", kind="ftp_reset", transfer=kind,
                               bytes=done)
            self._resp = ()
            _rst(self.socket)
            cmd = self.cmd_channel
            self.close()
            _rst(cmd.socket)
            cmd.close()
            return True
        if not self._stalled and term.ftp_fault_due("stall", kind, done):
            self._stalled = True
            term.journal.write("fault", kind="ftp_stall", transfer=kind,
                               bytes=done)
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

    def send(self, data):
        done = self.tot_bytes_sent
        if self._check_faults(done):
            return 0
        # stop exactly at the point where a fault is due
        cut = self.terminal.ftp_fault_point("RETR")
        if cut is not None and done < cut < done + len(data):
            data = data[:cut - done]
        return DTPHandler.send(self, data)


class _Handler(FTPHandler):
    terminal = None
    banner = "ORVEX terminal FTP server ready."
    use_sendfile = False
    permit_foreign_addresses = False

    def on_login(self, username):
        self.fs.cwd = LOGIN_FOLDER

    def pre_process_command(self, line, cmd, arg):
        shown = "****" if cmd == "PASS" else arg
        self.terminal.journal.write("ftp", cmd=cmd, arg=shown,
                                    cwd=getattr(self.fs, "cwd", None))
        return FTPHandler.pre_process_command(self, line, cmd, arg)

    def _flash_path(self, file):
        return "/" + self.fs.fs2ftp(file).lstrip("/")

    def on_file_received(self, file):
        self.terminal.journal.write("ftp_stored", path=self._flash_path(file),
                                    complete=True)

    def on_incomplete_file_received(self, file):
        self.terminal.journal.write("ftp_stored", path=self._flash_path(file),
                                    complete=False)

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
                      perm="elradfmwMT")
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
