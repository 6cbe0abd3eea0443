"""Process and network safety: loopback-only binding, self-stopping."""

import ctypes
import ctypes.util
import ipaddress
import os
import signal

PR_SET_PDEATHSIG = 1
PR_SET_KEEPCAPS = 8
CAP_NET_BIND_SERVICE = 10
_LINUX_CAPABILITY_VERSION_3 = 0x20080522


class NotLoopbackError(ValueError):
    """Raised when asked to bind or connect outside 127.0.0.0/8."""


def check_loopback(address):
    """Return the address if it lies in 127.0.0.0/8, else raise."""
    try:
        ip = ipaddress.ip_address(address)
    except ValueError:
        raise NotLoopbackError("not an IPv4 address: %r" % (address,))
    if ip.version != 4 or ip not in ipaddress.ip_network("127.0.0.0/8"):
        raise NotLoopbackError("refusing non-loopback address %s" % address)
    return str(ip)


def die_with_parent(sig=signal.SIGTERM):
    """Ask the kernel to send `sig` to this process when its parent dies."""
    try:
        libc = ctypes.CDLL(ctypes.util.find_library("c") or "libc.so.6",
                           use_errno=True)
        libc.prctl(PR_SET_PDEATHSIG, int(sig), 0, 0, 0)
    except OSError:
        pass  # the getppid poll still covers this case
    return os.getppid()


class _CapHeader(ctypes.Structure):
    _fields_ = [("version", ctypes.c_uint32), ("pid", ctypes.c_int)]


class _CapData(ctypes.Structure):
    _fields_ = [("effective", ctypes.c_uint32), ("permitted", ctypes.c_uint32),
                ("inheritable", ctypes.c_uint32)]


def drop_privileges(environ=os.environ):
    """Started by root through sudo: become the invoking user, keeping only
    the right to bind the terminal's low ports (its restarts bind them
    again).  Returns the uid now in force.  Must run before
    die_with_parent: a change of user clears the parent-death signal."""
    if os.geteuid() != 0 or "SUDO_UID" not in environ:
        return os.geteuid()
    uid = int(environ["SUDO_UID"])
    gid = int(environ.get("SUDO_GID", uid))
    if uid == 0:
        return 0
    libc = ctypes.CDLL(ctypes.util.find_library("c") or "libc.so.6",
                       use_errno=True)
    if libc.prctl(PR_SET_KEEPCAPS, 1, 0, 0, 0) != 0:
        raise OSError(ctypes.get_errno(), "prctl(PR_SET_KEEPCAPS)")
    os.setgroups([])
    os.setresgid(gid, gid, gid)
    os.setresuid(uid, uid, uid)
    header = _CapHeader(_LINUX_CAPABILITY_VERSION_3, 0)
    data = (_CapData * 2)()
    data[0].effective = data[0].permitted = 1 << CAP_NET_BIND_SERVICE
    if libc.capset(ctypes.byref(header), data) != 0:
        raise OSError(ctypes.get_errno(), "capset")
    libc.prctl(PR_SET_KEEPCAPS, 0, 0, 0, 0)
    return os.geteuid()
