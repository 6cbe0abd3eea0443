"""When a fault hits: matching commands, counted from the Nth on.

Every fault of the FTP side is armed by a Trigger built from three
scenario keys sharing the fault's prefix:

    <prefix>_match = image.txt, *.bin   ; file-name patterns (default: all)
    <prefix>_nth = 3                    ; the 3rd matching command is the
                                        ; first one hit (default 1)
    <prefix>_count = 1                  ; how many hits (0 = every time)

A pattern without "/" is matched against the file name, one with "/"
against the whole terminal path (/tffs0/bin/orvex_5_1_0_12.bin); shell
wildcards, case-sensitive.
"""

import fnmatch
import posixpath
import threading


class Trigger:
    def __init__(self, match="", nth=1, count=0):
        self.patterns = [p.strip() for p in str(match or "").split(",")
                         if p.strip()]
        self.nth = max(1, int(nth))
        self.count = int(count)
        self.seen = 0      # matching commands so far
        self.fired = 0     # times the fault hit
        self._lock = threading.Lock()

    def matches(self, *paths):
        if not self.patterns:
            return True
        for path in paths:
            if not path:
                continue
            for pat in self.patterns:
                target = path if "/" in pat else posixpath.basename(path)
                if fnmatch.fnmatchcase(target, pat):
                    return True
        return False

    def _armed(self):
        return self.seen >= self.nth and (self.count <= 0
                                          or self.fired < self.count)

    def arm(self, *paths):
        """Count a matching command; True when the fault is due for it.

        The caller calls fire() once the fault really happened (a reset
        armed for a transfer that ends before its byte count never hits).
        """
        with self._lock:
            if not self.matches(*paths):
                return False
            self.seen += 1
            return self._armed()

    def fire(self):
        with self._lock:
            self.fired += 1

    def take(self, *paths):
        """arm() and fire() in one step, for faults that always hit."""
        with self._lock:
            if not self.matches(*paths):
                return False
            self.seen += 1
            if not self._armed():
                return False
            self.fired += 1
            return True
