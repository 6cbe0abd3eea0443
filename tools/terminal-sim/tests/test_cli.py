"""The process: command line, signals, parent death, journal, flash dump."""

import ftplib
import hashlib
import json
import os
import select
import signal
import subprocess
import sys
import time
import unittest

from simtest import PYTHON, SIM, Sim, SimTestCase

SAMPLE = os.path.join(os.path.dirname(SIM), "scenarios", "sample.ini")


def alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    # a zombie child of ours counts as gone
    try:
        with open("/proc/%d/stat" % pid) as fh:
            return fh.read().split(")")[-1].split()[0] != "Z"
    except OSError:
        return False


class Process(SimTestCase):
    def test_non_loopback_address_is_refused(self):
        for address in ("192.168.128.100", "0.0.0.0", "::1", "localhost"):
            with self.subTest(address):
                sim = Sim()
                self.addCleanup(sim.cleanup)
                args = list(sim.args)
                args[args.index("--address") + 1] = address
                out = subprocess.run(args, capture_output=True, timeout=10)
                self.assertEqual(out.returncode, 2)
                self.assertNotIn(b"READY", out.stdout)

    def test_sigterm_and_sigint_stop_it(self):
        for sig in (signal.SIGTERM, signal.SIGINT):
            with self.subTest(sig=sig):
                sim = self.start_sim()
                sim.proc.send_signal(sig)
                self.assertEqual(sim.proc.wait(5), 0)
                self.assertEqual(sim.journal()[-1]["event"], "flash")
                self.assertEqual(sim.journal("stop")[0]["event"], "stop")
                self.assertFalse(sim.port_open(1827))

    def test_stops_when_its_parent_dies(self):
        sim = Sim()
        self.addCleanup(sim.cleanup)
        # a parent that starts the terminal, reports its pid, then waits
        code = ("import subprocess,sys;"
                "p=subprocess.Popen(sys.argv[1:],stdout=subprocess.PIPE);"
                "print(p.pid,flush=True);p.stdout.readline();"
                "print('up',flush=True);import time;time.sleep(60)")
        parent = subprocess.Popen([sys.executable, "-c", code] + sim.args,
                                  stdout=subprocess.PIPE)
        try:
            child = int(parent.stdout.readline())
            self.assertEqual(parent.stdout.readline().strip(), b"up")
            parent.kill()
            parent.wait(5)
            deadline = time.monotonic() + 5
            while alive(child) and time.monotonic() < deadline:
                time.sleep(0.05)
            self.assertFalse(alive(child))
        finally:
            parent.stdout.close()
            if alive(child):
                os.kill(child, signal.SIGKILL)


class Records(SimTestCase):
    def test_sample_flash_layout_and_dump(self):
        with open(SAMPLE) as fh:
            sim = self.start_sim(fh.read())
        self.assertTrue(sim.version().startswith(
            "5.1.0.9 Rel, Oct 29 2009 fpga"))
        out = subprocess.run([PYTHON, SIM, "--flash", sim.flash,
                              "--dump-flash"], capture_output=True,
                             timeout=10, check=True)
        dump = {e["path"]: e for e in json.loads(out.stdout)}
        self.assertEqual(sorted(dump), [
            "/ram0/syslog.log", "/tffs0/bin/orvex.bin",
            "/tffs0/bin/orvex_5_1_0_9.bin", "/tffs0/image.txt"])
        image = dump["/tffs0/image.txt"]
        self.assertEqual(image["size"], len(b"/bin/orvex_5_1_0_9.bin"))
        self.assertEqual(image["sha256"], hashlib.sha256(
            b"/bin/orvex_5_1_0_9.bin").hexdigest())
        self.assertEqual(dump["/tffs0/bin/orvex_5_1_0_9.bin"]["size"],
                         262144)

    def test_existing_flash_is_kept(self):
        sim = self.start_sim(flash_files={"/tffs0/bin/orvex.bin": b"mine"})
        self.assertEqual(sim.file("/tffs0/bin/orvex.bin"), b"mine")
        self.assertIsNone(sim.file("/tffs0/image.txt"))
        self.assertEqual(sim.journal("flash_populated"), [])

    def test_sigusr1_writes_the_dump(self):
        sim = Sim(extra_args=["--dump-file", "DUMP"])
        dump_path = os.path.join(sim.dir, "dump.json")
        sim.args[-1] = dump_path
        self.addCleanup(sim.cleanup)
        sim.start()
        sim.put("/tffs0/bin/x.bin", b"12345")
        sim.proc.send_signal(signal.SIGUSR1)
        entry = sim.wait_journal("flash")[0]
        paths = {e["path"]: e["size"] for e in entry["files"]}
        self.assertEqual(paths["/tffs0/bin/x.bin"], 5)
        with open(dump_path) as fh:
            self.assertEqual(json.load(fh), entry["files"])

    def test_reports_replace_planted_links_and_nobody_gets_chmod(self):
        sim = Sim(extra_args=["--report-file", "REPORT"])
        report = os.path.join(sim.dir, "report.json")
        victim = os.path.join(sim.dir, "victim")
        with open(victim, "w") as fh:
            fh.write("keep")
        for planted in (report, report + ".tmp"):
            os.symlink(victim, planted)
        sim.args[-1] = report
        self.addCleanup(sim.cleanup)
        sim.start()
        f = sim.ftp()
        with self.assertRaises(ftplib.error_perm):
            f.sendcmd("SITE CHMOD 777 /tffs0/image.txt")
        f.close()
        sim.stop()
        with open(victim) as fh:
            self.assertEqual(fh.read(), "keep")
        self.assertFalse(os.path.islink(report))
        with open(report) as fh:
            self.assertIn("boot", json.load(fh))

    @unittest.skipUnless(os.geteuid() == 0, "needs root, as under sudo")
    def test_under_sudo_it_serves_as_the_invoking_user(self):
        sim = Sim()
        self.addCleanup(sim.cleanup)
        os.chmod(sim.dir, 0o777)
        env = dict(os.environ, SUDO_UID="65534", SUDO_GID="65534")
        sim.proc = subprocess.Popen(sim.args, stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE, env=env)
        ready, _, _ = select.select([sim.proc.stdout], [], [], 10)
        self.assertTrue(ready)
        self.assertEqual(sim.proc.stdout.readline().strip(), b"READY")
        with open("/proc/%d/status" % sim.proc.pid) as fh:
            uids = [line.split()[1:] for line in fh if line.startswith(("Uid:", "Gid:"))]
        self.assertEqual(uids, [["65534"] * 4, ["65534"] * 4])
        sim.ftp().close()  # still serving on port 21

    def test_journal_lines_carry_time_and_order(self):
        sim = self.start_sim()
        sim.zing(0x04)
        sim.zing(0x92)
        entries = sim.journal()
        self.assertEqual([e["event"] for e in entries[:3]],
                         ["start", "flash_populated", "boot"])
        times = [e["t"] for e in entries]
        self.assertEqual(times, sorted(times))
        self.assertEqual([e["code"] for e in sim.journal("zing")],
                         ["0x04", "0x92"])
