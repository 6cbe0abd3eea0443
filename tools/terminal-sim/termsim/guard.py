"""Process and network safety: loopback-only binding, self-stopping."""

import ctypes
import ctypes.util
import ipaddress
import os
import signal

PR_SET_PDEATHSIG = 1


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
