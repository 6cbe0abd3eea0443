"""A TCP service on a loopback address: one thread per connection."""

import socket
import threading

from .guard import check_loopback


class TcpService:
    """Listens on (address, port) until stopped; calls handle(conn, peer).

    stop() closes the listening socket and every connection that
    `orphan_on_stop` does not keep: a rebooting terminal simply goes
    quiet, so ZING keeps its open connections silent until the peer
    closes them.
    """

    name = "tcp"
    orphan_on_stop = False

    def __init__(self, address, port):
        self.address = check_loopback(address)
        self.port = port
        self.stopping = threading.Event()
        self._lock = threading.Lock()
        self._conns = set()
        self._threads = set()
        self._listener = None
        self._accept_thread = None

    def start(self):
        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        sock.bind((self.address, self.port))
        sock.listen(16)
        sock.settimeout(0.2)
        self._listener = sock
        self._accept_thread = threading.Thread(
            target=self._accept_loop, name="%s-accept" % self.name,
            daemon=True)
        self._accept_thread.start()

    def _accept_loop(self):
        while not self.stopping.is_set():
            try:
                conn, peer = self._listener.accept()
            except socket.timeout:
                continue
            except OSError:
                break
            conn.settimeout(None)
            with self._lock:
                if self.stopping.is_set():
                    conn.close()
                    break
                self._conns.add(conn)
                th = threading.Thread(target=self._run, args=(conn, peer),
                                      name="%s-conn" % self.name, daemon=True)
                self._threads.add(th)
            th.start()

    def _run(self, conn, peer):
        try:
            self.handle(conn, peer)
        except OSError:
            pass
        finally:
            with self._lock:
                self._conns.discard(conn)
                self._threads.discard(threading.current_thread())
            try:
                conn.close()
            except OSError:
                pass

    def handle(self, conn, peer):
        raise NotImplementedError

    def stop(self):
        self.stopping.set()
        if self._listener is not None:
            try:
                self._listener.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            if self._accept_thread is not None:
                self._accept_thread.join(2.0)
            self._listener.close()
            self._listener = None
        if not self.orphan_on_stop:
            with self._lock:
                conns = list(self._conns)
            for conn in conns:
                try:
                    conn.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
        with self._lock:
            threads = list(self._threads)
        if not self.orphan_on_stop:
            for th in threads:
                if th is not threading.current_thread():
                    th.join(2.0)
