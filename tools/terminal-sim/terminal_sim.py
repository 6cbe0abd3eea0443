#!/usr/bin/python3
"""Simulated ORVEX terminal: ZING (1827), FTP (21) and shell (23) on one
loopback address.

Prints READY on stdout when it has booted, then runs until SIGTERM,
SIGINT or the death of its parent process.  SIGUSR1 writes a dump of the
flash into the journal (and to --dump-file when given).
"""

import argparse
import json
import logging
import os
import signal
import sys
import tempfile
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from termsim import scenario as scenario_mod  # noqa: E402
from termsim.flash import Flash  # noqa: E402
from termsim.guard import (NotLoopbackError, check_loopback,  # noqa: E402
                           die_with_parent, drop_privileges)
from termsim.journal import Journal  # noqa: E402
from termsim.terminal import Terminal  # noqa: E402


def parse_args(argv):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--address", default="127.0.0.2",
                    help="loopback address to serve on (127.0.0.0/8 only)")
    ap.add_argument("--scenario", help="scenario INI file")
    ap.add_argument("--flash", required=True,
                    help="folder holding the flash; populated when empty")
    ap.add_argument("--journal", help="append JSON lines here")
    ap.add_argument("--time-scale", type=float,
                    help="multiply every delay of the terminal")
    ap.add_argument("--dump-flash", action="store_true",
                    help="print the flash as JSON (path, size, sha256) "
                         "and exit without serving")
    ap.add_argument("--dump-file",
                    help="write the flash dump here at exit and on SIGUSR1")
    ap.add_argument("--flash-report", action="store_true",
                    help="print the flash dump and what the terminal would "
                         "boot as one JSON object and exit without serving")
    ap.add_argument("--report-file",
                    help="write that report here at exit and on SIGUSR1")
    return ap.parse_args(argv)


def _write_json(path, data):
    # A private temporary file beside the report, renamed over it: a link
    # planted at either name is replaced, never followed.
    folder = os.path.dirname(os.path.abspath(path))
    fd, tmp = tempfile.mkstemp(prefix=".report-", dir=folder)
    try:
        with os.fdopen(fd, "w", encoding="utf-8") as fh:
            json.dump(data, fh, indent=1)
        os.chmod(tmp, 0o644)
        os.replace(tmp, path)
    except BaseException:
        os.unlink(tmp)
        raise


def write_dump(flash, journal, path, report_path=None):
    report = flash.report()
    if path:
        _write_json(path, report["files"])
    if report_path:
        _write_json(report_path, report)
    journal.write("flash", files=report["files"], boot=report["boot"])


def main(argv=None):
    args = parse_args(argv)
    if args.dump_flash or args.flash_report:
        flash = Flash(args.flash)
        json.dump(flash.report() if args.flash_report else flash.dump(),
                  sys.stdout, indent=1)
        sys.stdout.write("\n")
        return 0
    try:
        address = check_loopback(args.address)
    except NotLoopbackError as err:
        print("terminal_sim: %s" % err, file=sys.stderr)
        return 2

    # Under sudo the terminal runs as the invoking user: nothing it writes
    # or serves is root's.
    drop_privileges()
    parent = die_with_parent(signal.SIGTERM)
    logging.basicConfig(level=logging.WARNING, stream=sys.stderr,
                        format="terminal_sim: %(name)s: %(message)s")
    sc = scenario_mod.load(args.scenario)
    if args.time_scale is not None:
        sc.time_scale = args.time_scale

    stop = threading.Event()
    dump_wanted = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    signal.signal(signal.SIGUSR1, lambda *_: dump_wanted.set())

    journal = Journal(args.journal)
    journal.write("start", address=address, scenario=args.scenario,
                  time_scale=sc.time_scale, pid=os.getpid())
    term = Terminal(sc, args.flash, address, journal)
    try:
        term.power_on()
        print("READY", flush=True)
        while not stop.wait(0.05):
            if os.getppid() != parent:
                break
            if dump_wanted.is_set():
                dump_wanted.clear()
                write_dump(term.flash, journal, args.dump_file,
                           args.report_file)
    finally:
        term.stop()
        write_dump(term.flash, journal, args.dump_file, args.report_file)
        journal.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
