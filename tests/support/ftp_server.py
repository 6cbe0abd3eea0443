#!/usr/bin/python3
"""A small FTP server on one loopback address for the FTP adapter's tests
and benchmark, with a few faults of a flaky terminal.

Serves --root (the login folder is its top; /tffs0/bin and the like are
folders below it) to user termuser / skyharbor (or --password) on port 21
(or --port).
Files whose name starts with "reset" are cut off with a TCP reset after
--fault-bytes bytes of a download or an upload; files whose name starts
with "stall" stop flowing after --fault-bytes bytes of a download while
every connection stays open. A download of a file named "refuse" + a
three-digit code (say "refuse451.bin") is answered with that code; after
421 the server closes the connection. A transfer of a file named "after" +
a 4xx code (say "after451.bin") sends its data and then that code instead
of 226; SIZE of a file whose name starts with "nosize" is answered 550. An upload of a file whose name
starts with "hold" is stored in full, but its final 226 reply is held back
--hold-seconds (3 by default), as a terminal does while it writes its flash.
Every command received is appended to --journal, one line each.

--strict plays an older embedded server: it answers 500 to "CWD /" and to
EPSV, EPRT, SIZE, MDTM, MLSD, MLST and FEAT.

Prints READY on stdout once it listens; ends on SIGTERM, on the death of
its parent and after --lifetime seconds at the latest.
"""

import argparse
import ctypes
import ipaddress
import os
import re
import signal
import socket
import struct
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

STALLED = []  # sockets held open on purpose until the server ends
UNKNOWN_TO_OLD_SERVERS = {"EPSV", "EPRT", "SIZE", "MDTM", "MLSD", "MLST", "FEAT"}
REFUSE = re.compile(r"^refuse([1-5][0-9][0-9])")
AFTER = re.compile(r"^after(4[0-9][0-9])")


def die_with_parent():
    try:
        libc = ctypes.CDLL("libc.so.6", use_errno=True)
        PR_SET_PDEATHSIG = 1
        libc.prctl(PR_SET_PDEATHSIG, signal.SIGTERM)
    except OSError:
        pass
    if os.getppid() == 1:
        sys.exit(0)


class FaultyHandler(FTPHandler):
    fault_bytes = 65536
    journal = None
    strict = False
    hold_seconds = 3.0
    holding = False  # the next 226 of this connection is held back
    after_code = None  # replaces the next 226 of this connection

    def pre_process_command(self, line, cmd, arg):
        if self.journal:
            with open(self.journal, "a", encoding="utf-8") as fh:
                shown = "PASS ***" if cmd == "PASS" else line
                fh.write(shown + "\n")
        self.holding = cmd == "STOR" and os.path.basename(arg).startswith("hold")
        if cmd in ("RETR", "STOR"):
            after = AFTER.match(os.path.basename(arg))
            self.after_code = after.group(1) if after else None
        if cmd == "SIZE" and os.path.basename(arg).startswith("nosize"):
            self.respond("550 Could not get file size.")
            return None
        if self.strict and (cmd in UNKNOWN_TO_OLD_SERVERS or (cmd == "CWD" and arg == "/")):
            self.respond("500 Command not understood.")
            return None
        return super().pre_process_command(line, cmd, arg)

    def ftp_RETR(self, file):
        name = os.path.basename(file)
        refused = REFUSE.match(name)
        if refused:
            self.respond("%s Refused on purpose: %s." % (refused.group(1), name))
            if refused.group(1) == "421":
                self.close_when_done()
            return None
        if name.startswith("reset") or name.startswith("stall"):
            self.respond("150 File status okay. About to open data connection.")
            self._fault_send(name.startswith("reset"), 40)
            return file
        return super().ftp_RETR(file)

    def respond(self, resp, logfun=None):
        if self.after_code and resp.startswith("226"):
            resp = "%s Transfer aborted on purpose." % self.after_code
            self.after_code = None
        if self.holding and resp.startswith("226"):
            self.holding = False
            self.ioloop.call_later(self.hold_seconds, self._respond_held, resp)
            return
        super().respond(resp, *([logfun] if logfun else []))

    def _respond_held(self, resp):
        if not self._closed:
            super().respond(resp)

    def ftp_STOR(self, file, mode="w"):
        if os.path.basename(file).startswith("reset"):
            self.respond("150 File status okay. About to open data connection.")
            self._fault_receive(40)
            return file
        return super().ftp_STOR(file, mode)

    def _fault_receive(self, tries_left):
        dc = self.data_channel
        if dc is None:
            if tries_left > 0:
                self.ioloop.call_later(0.05, self._fault_receive, tries_left - 1)
            return
        sock = dc.socket
        dc.del_channel()
        self.data_channel = None
        sock.setblocking(True)
        sock.settimeout(10)
        got = 0
        try:
            while got < self.fault_bytes:
                chunk = sock.recv(self.fault_bytes - got)
                if not chunk:
                    break
                got += len(chunk)
        except OSError:
            pass
        linger = struct.pack("ii", 1, 0)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, linger)
        sock.close()
        self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, linger)
        self.close()

    def _fault_send(self, reset, tries_left):
        dc = self.data_channel
        if dc is None:
            if tries_left > 0:
                self.ioloop.call_later(0.05, self._fault_send, reset, tries_left - 1)
            return
        sock = dc.socket
        dc.del_channel()
        self.data_channel = None
        sock.setblocking(True)
        sock.sendall(b"\xa5" * self.fault_bytes)
        if reset:
            linger = struct.pack("ii", 1, 0)
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, linger)
            sock.close()
            self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, linger)
            self.close()
        else:
            STALLED.append(sock)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--address", required=True)
    ap.add_argument("--port", type=int, default=21)
    ap.add_argument("--root", required=True)
    ap.add_argument("--password", default="skyharbor")
    ap.add_argument("--journal")
    ap.add_argument("--fault-bytes", type=int, default=65536)
    ap.add_argument("--lifetime", type=float, default=300.0)
    ap.add_argument("--strict", action="store_true")
    ap.add_argument("--hold-seconds", type=float, default=3.0)
    args = ap.parse_args()

    if not ipaddress.ip_address(args.address) in ipaddress.ip_network("127.0.0.0/8"):
        print("ftp_server: loopback addresses only", file=sys.stderr)
        return 2
    die_with_parent()

    authorizer = DummyAuthorizer()
    authorizer.add_user("termuser", args.password, args.root, perm="elradfmwMT")
    FaultyHandler.authorizer = authorizer
    FaultyHandler.fault_bytes = args.fault_bytes
    FaultyHandler.journal = args.journal
    FaultyHandler.strict = args.strict
    FaultyHandler.hold_seconds = args.hold_seconds
    FaultyHandler.banner = "FTP server ready."
    try:
        server = FTPServer((args.address, args.port), FaultyHandler)
    except OSError as err:
        print("ftp_server: %s" % err, file=sys.stderr)
        return 3

    def stop(*_):
        server.ioloop.call_later(0, server.close_all)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    timer = threading.Timer(args.lifetime, lambda: os.kill(os.getpid(), signal.SIGTERM))
    timer.daemon = True
    timer.start()
    print("READY", flush=True)
    try:
        server.serve_forever(timeout=0.2, handle_exit=False)
    finally:
        for sock in STALLED:
            sock.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
