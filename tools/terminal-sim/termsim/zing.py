"""ZING control service on TCP 1827: one request per connection.

Request: a 32-bit big-endian code, plus one argument byte for 0x90.
Reply:   a 32-bit big-endian code (request + 0x1000), then fields at
fixed offsets.  Each reply goes out in a single send() (or, with
zing_split, in pieces with pauses between them); the connection stays
open until the client closes it.
"""

import socket
import struct
import time

from .service import TcpService

ZING_PORT = 1827
ARG_CODES = (0x90,)
HOLD_LIMIT = 120.0


def u32(value):
    return struct.pack(">I", value & 0xFFFFFFFF)


def reply_plain(code, status=0):
    return u32(code + 0x1000) + u32(status)


def reply_version(text):
    return u32(0x1004) + u32(0) + text.encode("latin-1") + b"\0"


def reply_antenna(status, text):
    body = text.encode("latin-1")
    return u32(0x1090) + u32(0) + u32(status) + u32(len(body)) + body + b"\0"


def reply_release(text):
    body = text.encode("latin-1")[:255]
    return u32(0x1092) + u32(0) + u32(len(body)) + u32(0) + body + b"\0"


def reply_ib_status(progress):
    return u32(0x1093) + u32(1) + u32(progress)


def reply_ib_prepare(status):
    return u32(0x1094) + u32(status)


def split_points(length, pieces):
    """Cut offsets of a reply sent in `pieces` writes: the first cut lies
    inside the reply code (2 bytes), the others share the rest evenly."""
    if pieces < 2 or length < 2:
        return []
    cuts = [2]
    rest = pieces - 1
    for i in range(1, rest):
        cuts.append(2 + (length - 2) * i // rest)
    return sorted(set(c for c in cuts if 0 < c < length))


def recv_exact(conn, count):
    data = b""
    while len(data) < count:
        try:
            chunk = conn.recv(count - len(data))
        except (socket.timeout, OSError):
            return data
        if not chunk:
            return data
        data += chunk
    return data


class ZingService(TcpService):
    name = "zing"
    orphan_on_stop = True

    def __init__(self, address, terminal):
        super().__init__(address, ZING_PORT)
        self.terminal = terminal

    def wait(self, seconds):
        """Sleep; False when the terminal went down meanwhile."""
        return not self.stopping.wait(seconds)

    def handle(self, conn, peer):
        conn.settimeout(5.0)
        head = recv_exact(conn, 4)
        if len(head) < 4:
            self.terminal.journal.write("zing", code=None, raw=head.hex(),
                                        reply=None, note="short request")
            self._hold(conn)
            return
        code = struct.unpack(">I", head)[0]
        arg = None
        if code in ARG_CODES:
            conn.settimeout(1.0)
            extra = recv_exact(conn, 1)
            arg = extra[0] if extra else None
        fault, delay = self.terminal.zing_fault(code)
        if fault == "drop":
            self.terminal.journal.write("zing", code="0x%02x" % code, arg=arg,
                                        reply=None, fault="drop")
            self._hold(conn)
            return
        if delay and not self.wait(delay):
            self.terminal.journal.write("zing", code="0x%02x" % code, arg=arg,
                                        reply=None, fault="delay",
                                        note="terminal went down")
            self._hold(conn)
            return
        reply, after = self.terminal.zing_request(code, arg, self.wait)
        self.terminal.journal.write(
            "zing", code="0x%02x" % code, arg=arg,
            reply=("0x%04x" % struct.unpack(">I", reply[:4])[0]
                   if reply else None),
            fault="delay" if delay else None)
        if reply and not self.stopping.is_set():
            self._send(conn, reply)
        if after is not None:
            after()
        self._hold(conn)

    def _send(self, conn, reply):
        sc = self.terminal.scenario
        cuts = split_points(len(reply), sc.zing_split)
        if not cuts:
            conn.sendall(reply)
            return
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        pause = sc.scaled(sc.zing_split_pause)
        start = 0
        for cut in cuts + [len(reply)]:
            if start and not self.wait(pause):
                return
            conn.sendall(reply[start:cut])
            start = cut

    def _hold(self, conn):
        """Keep the connection until the client closes it."""
        deadline = time.monotonic() + HOLD_LIMIT
        conn.settimeout(0.5)
        while time.monotonic() < deadline:
            try:
                if not conn.recv(4096):
                    return
            except socket.timeout:
                continue
            except OSError:
                return
