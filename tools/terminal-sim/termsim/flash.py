"""The terminal's flash (/tffs0) and RAM disk (/ram0) kept in a folder."""

import codecs
import hashlib
import os
import posixpath
import shutil

FOLDERS = ("/tffs0", "/tffs0/bin", "/ram0")


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

    def remove(self, vpath):
        os.remove(self.local(vpath))

    def listdir(self, vpath):
        try:
            return sorted(os.listdir(self.local(vpath)))
        except OSError:
            return []

    def is_empty(self):
        if not os.path.isdir(self.root):
            return True
        for _dirpath, _dirs, files in os.walk(self.root):
            if files:
                return False
        return True

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
        """Every file: terminal path, size and SHA-256, sorted by path."""
        out = []
        for dirpath, _dirs, files in os.walk(self.root):
            for name in files:
                full = os.path.join(dirpath, name)
                rel = "/" + os.path.relpath(full, self.root).replace(
                    os.sep, "/")
                digest = hashlib.sha256()
                with open(full, "rb") as fh:
                    for block in iter(lambda: fh.read(1 << 20), b""):
                        digest.update(block)
                out.append({"path": rel, "size": os.path.getsize(full),
                            "sha256": digest.hexdigest()})
        out.sort(key=lambda e: e["path"])
        return out

    def copy_file(self, src, dst):
        shutil.copyfile(self.local(src), self.local(dst))
