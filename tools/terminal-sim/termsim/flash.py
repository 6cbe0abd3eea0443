"""The terminal's flash (/tffs0) and RAM disk (/ram0) kept in a folder."""

import codecs
import hashlib
import json
import os
import posixpath
import re
import shutil
import threading

FOLDERS = ("/tffs0", "/tffs0/bin", "/ram0")
# What every FTP upload received, kept next to the flash contents (and
# hidden from FTP, the shell and the dump): {terminal path: {"bytes": N,
# "sha256": hex, "complete": bool}}
RECORD = ".termsim-uploads.json"
IMAGE_RE = re.compile(r"/bin/(orvex(?:_(\d+(?:_\d+)*))?\.bin)")
IMAGE_TXT = "/tffs0/image.txt"
ORVEX_BIN = "/tffs0/bin/orvex.bin"


def filler(label, size):
    """Deterministic bytes of a given size that start with a label."""
    head = label.encode("ascii")[:size]
    out = bytearray(head)
    counter = 0
    while len(out) < size:
        out += hashlib.sha256(head + counter.to_bytes(8, "big")).digest()
        counter += 1
    return bytes(out[:size])


class Flash:
    """Maps terminal paths ("/tffs0/image.txt") onto a folder on disk."""

    def __init__(self, root):
        self.root = os.path.abspath(root)
        self._lock = threading.RLock()
        self._uploads = None

    def local(self, vpath):
        """Disk path of a terminal path; refuses paths that leave the root."""
        norm = posixpath.normpath("/" + vpath.lstrip("/"))
        if norm.startswith("/.."):
            raise ValueError("path outside the flash: %r" % vpath)
        return os.path.join(self.root, norm.lstrip("/"))

    def exists(self, vpath):
        return os.path.isfile(self.local(vpath))

    def isdir(self, vpath):
        return os.path.isdir(self.local(vpath))

    def read(self, vpath):
        with open(self.local(vpath), "rb") as fh:
            return fh.read()

    def write(self, vpath, data):
        path = self.local(vpath)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as fh:
            fh.write(data)
        self.forget(vpath)

    def remove(self, vpath):
        os.remove(self.local(vpath))
        self.forget(vpath)

    def listdir(self, vpath):
        try:
            return sorted(n for n in os.listdir(self.local(vpath))
                          if n != RECORD)
        except OSError:
            return []

    def is_empty(self):
        if not os.path.isdir(self.root):
            return True
        for _dirpath, _dirs, files in os.walk(self.root):
            if any(name != RECORD for name in files):
                return False
        return True

    def vpath(self, local_path):
        """Terminal path of a disk path inside the flash folder."""
        rel = os.path.relpath(os.path.abspath(local_path), self.root)
        return "/" if rel == "." else "/" + rel.replace(os.sep, "/")

    # -- what the uploads received --------------------------------------

    def _load_uploads(self):
        if self._uploads is None:
            try:
                with open(os.path.join(self.root, RECORD),
                          encoding="utf-8") as fh:
                    self._uploads = json.load(fh)
            except (OSError, ValueError):
                self._uploads = {}
        return self._uploads

    def _save_uploads(self):
        path = os.path.join(self.root, RECORD)
        tmp = path + ".tmp"
        with open(tmp, "w", encoding="utf-8") as fh:
            json.dump(self._uploads, fh, indent=1, sort_keys=True)
        os.replace(tmp, path)

    def record_upload(self, vpath, received, sha256, complete):
        with self._lock:
            self._load_uploads()[vpath] = {
                "bytes": received, "sha256": sha256, "complete": complete}
            self._save_uploads()

    def upload_of(self, vpath):
        with self._lock:
            return self._load_uploads().get(vpath)

    def forget(self, vpath):
        with self._lock:
            if vpath in self._load_uploads():
                del self._uploads[vpath]
                self._save_uploads()

    def moved(self, src, dst, keep_source=False):
        """A file went from src to dst (rename, mv, copy): so does its
        upload record; a record left at dst by an older file goes."""
        with self._lock:
            ups = self._load_uploads()
            rec = ups.get(src) if keep_source else ups.pop(src, None)
            if rec is None and dst not in ups and not keep_source:
                return
            ups.pop(dst, None)
            if rec is not None:
                ups[dst] = dict(rec)
            self._save_uploads()

    def sha256_of(self, vpath):
        digest = hashlib.sha256()
        with open(self.local(vpath), "rb") as fh:
            for block in iter(lambda: fh.read(1 << 20), b""):
                digest.update(block)
        return digest.hexdigest()

    def is_complete(self, vpath, size=None, sha256=None):
        """False for a file whose last upload did not finish or whose
        contents differ from what that upload received."""
        rec = self.upload_of(vpath)
        if rec is None:
            return True
        if size is None:
            size = os.path.getsize(self.local(vpath))
        if not rec["complete"] or size != rec["bytes"]:
            return False
        return (sha256 or self.sha256_of(vpath)) == rec["sha256"]

    def populate(self, scenario):
        """Lay out the flash from the scenario (only called when empty)."""
        os.makedirs(self.root, exist_ok=True)
        for folder in FOLDERS:
            os.makedirs(self.local(folder), exist_ok=True)
        spec = scenario.flash
        if spec is None:
            ver = scenario.version.replace(".", "_")
            spec = {
                "/tffs0/image.txt": "text:/bin/orvex_%s.bin" % ver,
                "/tffs0/bin/orvex_%s.bin" % ver: "size:262144",
                "/tffs0/bin/orvex.bin": "size:196608",
                "/ram0/syslog.log":
                    "text:0x1a2b3c (tRootTask): system up\\r\\n",
            }
        for vpath, item in spec.items():
            kind, _, value = item.partition(":")
            if kind == "text":
                data = codecs.decode(value, "unicode_escape").encode("latin-1")
            elif kind == "size":
                data = filler("ORVEX %s\n" % posixpath.basename(vpath),
                              int(value, 0))
            elif kind == "file":
                src = value if os.path.isabs(value) else os.path.join(
                    scenario.base_dir, value)
                with open(src, "rb") as fh:
                    data = fh.read()
            elif kind == "dir":
                os.makedirs(self.local(vpath), exist_ok=True)
                continue
            else:
                raise ValueError("bad flash entry %s = %s" % (vpath, item))
            self.write(vpath, data)

    def dump(self):
        """Every file: terminal path, size, SHA-256, whether it is
        complete and what its last upload received; sorted by path."""
        out = []
        for dirpath, _dirs, files in os.walk(self.root):
            for name in files:
                full = os.path.join(dirpath, name)
                rel = "/" + os.path.relpath(full, self.root).replace(
                    os.sep, "/")
                if rel == "/" + RECORD or rel == "/" + RECORD + ".tmp":
                    continue
                size = os.path.getsize(full)
                sha = self.sha256_of(rel)
                out.append({"path": rel, "size": size, "sha256": sha,
                            "complete": self.is_complete(rel, size, sha),
                            "upload": self.upload_of(rel)})
        out.sort(key=lambda e: e["path"])
        return out

    def boot_check(self):
        """What the terminal would boot from this flash (BOOTROM at start
        aside): see README.md, "Flash dump"."""
        out = {"image_txt": None, "image_path": None, "image_present": False,
               "image_complete": False,
               "orvex_bin_present": self.exists(ORVEX_BIN),
               "orvex_bin_complete": False, "bootable": False,
               "boots": "bootrom", "version": None, "reason": ""}
        if out["orvex_bin_present"]:
            out["orvex_bin_complete"] = self.is_complete(ORVEX_BIN)
        if self.exists(IMAGE_TXT):
            text = self.read(IMAGE_TXT)[:1024].decode("latin-1").strip()
            out["image_txt"] = text
            m = IMAGE_RE.fullmatch(text)
            if not m:
                out["reason"] = "image.txt names no valid image"
                return out
            path = "/tffs0/bin/" + m.group(1)
            out["image_path"] = path
            out["image_present"] = self.exists(path)
            if not out["image_present"]:
                out["reason"] = "image %s missing" % m.group(1)
                return out
            out["image_complete"] = self.is_complete(path)
            if not out["image_complete"]:
                out["reason"] = "image %s incomplete" % m.group(1)
                return out
            out.update(bootable=True, boots="image",
                       version=(m.group(2).replace("_", ".")
                                if m.group(2) else "default"),
                       reason=("image.txt names orvex.bin" if m.group(2)
                               is None else "image.txt"))
            return out
        if out["orvex_bin_present"] and out["orvex_bin_complete"]:
            out.update(bootable=True, boots="orvex.bin", version="default",
                       reason="no image.txt: orvex.bin")
        elif out["orvex_bin_present"]:
            out["reason"] = "no image.txt and orvex.bin incomplete"
        else:
            out["reason"] = "no image.txt and no orvex.bin"
        return out

    def report(self):
        return {"files": self.dump(), "boot": self.boot_check()}

    def copy_file(self, src, dst):
        shutil.copyfile(self.local(src), self.local(dst))
        self.moved(src, dst, keep_source=True)
