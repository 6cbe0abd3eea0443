"""VxWorks-like shell on TCP 23 (plain TCP, no telnet negotiation).

One session at a time.  The shell evaluates C-like calls; several calls
on one line are separated by ";".  Every call is answered with its
"value = N = 0xHEX" line; the prompt "-> " ends the answer to a line,
and the whole answer to a line is sent in one piece (output produced
before a blocking call such as sleep() or reboot is sent first).  With
shell_split = calls each call's answer is a write of its own, with
shell_split = lines every line (and the prompt) is, with shell_split = bytes
every shell_split_bytes bytes are, so that a result line arrives cut.
"""

import posixpath
import re
import socket
import threading

from .service import TcpService

SHELL_PORT = 23
USER = "termuser"
PASSWORD = "skyharbor"
PROMPT = "-> "
IDLE_LIMIT = 600.0

BANNERS = {
    "vxworks": "\r\n\r\nVxWorks login: ",
    "bsp2a": "\r\n[BSP 2A] ORVEX terminal shell\r\nUsername: ",
    "bsp2c": "\r\n[BSP 2C] ORVEX terminal shell\r\nUsername: ",
}

CALL_RE = re.compile(r"^([A-Za-z_]\w*)\s*(?:\((.*)\)|\s+(.*))?\s*$")


def value_line(value):
    return "value = %d = 0x%x\r\n" % (value, value & 0xFFFFFFFF)


def split_calls(line):
    """Split a command line at ";" outside double quotes."""
    calls, cur, quoted = [], "", False
    for ch in line:
        if ch == '"':
            quoted = not quoted
        if ch == ";" and not quoted:
            calls.append(cur.strip())
            cur = ""
        else:
            cur += ch
    calls.append(cur.strip())
    return [c for c in calls if c]


def parse_args(text):
    """'"a","b", 1' -> ['a', 'b', 1]; raises ValueError on bad syntax."""
    args, text = [], (text or "").strip()
    while text:
        if text.startswith('"'):
            end = text.find('"', 1)
            if end < 0:
                raise ValueError("unterminated string")
            args.append(text[1:end])
            text = text[end + 1:].strip()
        else:
            m = re.match(r"[^,\s]+", text)
            token = m.group(0)
            args.append(int(token, 0))
            text = text[len(token):].strip()
        if text.startswith(","):
            text = text[1:].strip()
        elif text:
            raise ValueError("expected ','")
    return args


class Session:
    """One logged-in (or logging-in) shell connection."""

    def __init__(self, service, conn):
        self.service = service
        self.terminal = service.terminal
        self.conn = conn
        self.buf = b""
        self.cwd = "/tffs0"
        self.out = []

    # -- input and output ---------------------------------------------

    def send(self, text):
        self.conn.sendall(text.encode("latin-1"))

    def flush(self):
        if not self.out:
            return
        text, self.out = "".join(self.out), []
        sc = self.terminal.scenario
        if sc.shell_split == "bytes":
            n = max(1, sc.shell_split_bytes)
            pieces = [text[i:i + n] for i in range(0, len(text), n)]
        elif sc.shell_split == "lines":
            pieces = text.split("\r\n")
            pieces = [p + "\r\n" for p in pieces[:-1]] + (
                [pieces[-1]] if pieces[-1] else [])
        else:
            self.send(text)
            return
        for i, piece in enumerate(pieces):
            if i:
                self.pause()
            self.send(piece)

    def pause(self):
        """The gap between two writes of a split answer."""
        sc = self.terminal.scenario
        self.conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.service.stopping.wait(sc.scaled(sc.shell_split_pause))

    def end_of_call(self):
        if self.terminal.scenario.shell_split == "calls" and self.out:
            self.flush()
            self.pause()

    def readline(self):
        while b"\n" not in self.buf:
            try:
                chunk = self.conn.recv(4096)
            except socket.timeout:
                return None
            if not chunk:
                return None
            self.buf += chunk
        line, _, self.buf = self.buf.partition(b"\n")
        return line.rstrip(b"\r").decode("latin-1")

    # -- dialogue -------------------------------------------------------

    def run(self):
        banner = self.terminal.scenario.shell_banner
        if banner != "none" and not self.login(banner):
            return
        self.send("\r\n" + PROMPT)
        while not self.service.stopping.is_set():
            line = self.readline()
            if line is None:
                return
            self.terminal.journal.write("shell", line=line)
            if not self.execute_line(line):
                return

    def login(self, banner):
        while True:
            self.send(BANNERS[banner])
            user = self.readline()
            if user is None:
                return False
            self.send("Password: ")
            password = self.readline()
            if password is None:
                return False
            ok = user.strip() == USER and password == PASSWORD
            self.terminal.journal.write("shell_login", user=user.strip(),
                                        accepted=ok)
            if ok:
                return True
            self.send("\r\nLogin incorrect\r\n")

    def execute_line(self, line):
        """Run one line; False when the session ends (reboot)."""
        if not line.strip():
            self.out.append(PROMPT)
            self.flush()
            return True
        for i, call in enumerate(split_calls(line)):
            if i:
                self.end_of_call()
            m = CALL_RE.match(call)
            if not m:
                self.out.append("syntax error\r\n" + value_line(-1))
                continue
            name = m.group(1)
            try:
                args = parse_args(m.group(2) if m.group(2) is not None
                                  else m.group(3))
            except ValueError:
                self.out.append("syntax error\r\n" + value_line(-1))
                continue
            handler = getattr(self, "cmd_" + name, None)
            if handler is None:
                self.out.append("undefined symbol: %s\r\n" % name
                                + value_line(-1))
                continue
            result = handler(*args) if _arity_ok(handler, args) else None
            if result is None:
                self.out.append("invalid arguments\r\n" + value_line(-1))
            elif result == "reboot":
                self.flush()
                self.terminal.restart("shell reboot")
                return False
            else:
                self.out.append(value_line(result))
        self.out.append(PROMPT)
        self.flush()
        return True

    # -- paths ------------------------------------------------------------

    def path(self, name):
        full = posixpath.normpath(posixpath.join(self.cwd, name))
        return full if full.startswith("/") else "/" + full

    # -- commands (each returns the call's value, "reboot" or None) ----

    def cmd_cd(self, target="/"):
        if not isinstance(target, str):
            return None
        path = self.path(target)
        if not self.terminal.flash.isdir(path):
            self.out.append("cd: %s: no such directory\r\n" % target)
            return -1
        self.cwd = path
        return 0

    def cmd_pwd(self):
        self.out.append(self.cwd.rstrip("/") + "/\r\n")
        return 0

    def cmd_ls(self, target="."):
        path = self.path(target)
        for name in self.terminal.flash.listdir(path):
            self.out.append(name + "\r\n")
        return 0 if self.terminal.flash.isdir(path) else -1

    def cmd_copy(self, src=None, dst=None):
        if not isinstance(src, str) or (dst is not None
                                        and not isinstance(dst, str)):
            return None
        flash = self.terminal.flash
        if not flash.exists(self.path(src)):
            self.out.append("copy: can't open input file \"%s\"\r\n" % src)
            return -1
        if dst is None:
            text = flash.read(self.path(src)).decode("latin-1")
            self.out.append(text.replace("\r\n", "\n").replace("\n", "\r\n")
                            + "\r\n")
        else:
            flash.copy_file(self.path(src), self.path(dst))
        return 0

    def cmd_mv(self, src=None, dst=None):
        if not isinstance(src, str) or not isinstance(dst, str):
            return None
        flash = self.terminal.flash
        if not flash.exists(self.path(src)):
            self.out.append("mv: can't open \"%s\"\r\n" % src)
            return -1
        flash.copy_file(self.path(src), self.path(dst))
        flash.remove(self.path(src))
        return 0

    def cmd_rm(self, name=None):
        if not isinstance(name, str):
            return None
        if not self.terminal.flash.exists(self.path(name)):
            self.out.append("rm: can't remove \"%s\"\r\n" % name)
            return -1
        self.terminal.flash.remove(self.path(name))
        return 0

    def cmd_sleep(self, seconds=0):
        if not isinstance(seconds, int):
            return None
        self.flush()
        if self.service.stopping.wait(
                self.terminal.scenario.scaled(seconds)):
            return None
        return 0

    def cmd_reboot(self):
        return "reboot"

    def cmd_pic_data_show(self):
        self.out.append(self.terminal.pic_data_text())
        return 0

    def cmd_pic_driver_reflash(self, mode=None):
        if mode != 1:
            return None
        return self.terminal.pic_reflash(self)


def _arity_ok(func, args):
    code = func.__code__
    total = code.co_argcount - 1
    required = total - len(func.__defaults__ or ())
    return required <= len(args) <= total


class ShellService(TcpService):
    name = "shell"

    def __init__(self, address, terminal):
        super().__init__(address, SHELL_PORT)
        self.terminal = terminal
        self._session_lock = threading.Lock()
        self._busy = False

    def handle(self, conn, peer):
        conn.settimeout(IDLE_LIMIT)
        with self._session_lock:
            refused = self._busy or self.terminal.scenario.shell_session_held
            if not refused:
                self._busy = True
        if refused:
            self.terminal.journal.write("shell_connect", accepted=False)
            conn.sendall(b"Sorry, session limit reached.\r\n")
            return
        self.terminal.journal.write("shell_connect", accepted=True)
        try:
            Session(self, conn).run()
        finally:
            with self._session_lock:
                self._busy = False
            self.terminal.journal.write("shell_disconnect")
