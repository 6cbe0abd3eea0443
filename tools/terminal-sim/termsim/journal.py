"""Journal of everything the terminal received and did, as JSON lines."""

import json
import os
import threading
import time


def _no_follow(path, flags):
    """Opens without following a link planted at the journal's name."""
    return os.open(path, flags | os.O_NOFOLLOW, 0o644)


class Journal:
    """Thread-safe JSON-lines journal; keeps a copy in memory as well."""

    def __init__(self, path=None):
        self._lock = threading.Lock()
        self._fh = open(path, "a", encoding="utf-8", opener=_no_follow) \
            if path else None
        self._start = time.monotonic()
        self.entries = []

    def write(self, event, **fields):
        entry = {"t": round(time.time(), 6),
                 "elapsed": round(time.monotonic() - self._start, 6),
                 "event": event}
        entry.update(fields)
        line = json.dumps(entry, sort_keys=False)
        with self._lock:
            self.entries.append(entry)
            if self._fh:
                self._fh.write(line + "\n")
                self._fh.flush()
        return entry

    def close(self):
        with self._lock:
            if self._fh:
                self._fh.close()
                self._fh = None
