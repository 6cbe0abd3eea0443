"""orvex-upgrade against simulated terminals on loopback, time-scaled: its
exit codes, its JSON lines, the lock per terminal address, and the GNU
parallel example of the README against two terminals at once.

Run by CTest with ORVEX_UPGRADE (the program) and ORVEX_SOURCE_DIR set."""

import json
import re
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

SOURCE = os.environ.get("ORVEX_SOURCE_DIR",
                        os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(SOURCE, "tools", "terminal-sim", "tests"))
from simtest import Sim  # noqa: E402

PROGRAM = os.environ.get("ORVEX_UPGRADE", "orvex-upgrade")
SCALE = 0.1


def read(path, mode="rb"):
    with open(path, mode) as fh:
        return fh.read()


SAMPLE = read(os.path.join(SOURCE, "tools", "terminal-sim", "scenarios", "sample.ini"), "r")
# Nothing listens here.
SILENT_ADDRESS = "127.0.0.149"
ITEMS = ["software", "antenna", "ib", "pic"]


def strip(event):
    """An event without the fields every event carries."""
    return {k: v for k, v in event.items() if k not in ("time", "address")}


def scenario(replace=(), faults=""):
    """The demo terminal with some of its lines replaced, and faults."""
    text = SAMPLE
    for old, new in replace:
        assert old in text, old
        text = text.replace(old, new)
    return text + ("\n[faults]\n" + faults + "\n" if faults else "")


AT_RELEASE = scenario([
    ("version = 5.1.0.9", "version = 5.1.0.12"),
    ("PIC = 2.03", "PIC = 2.05"), ("IB = 01.00.31.02", "IB = 01.00.31.05"),
    ("ATB = 11", "ATB = 12"), ("HPA = V2", "HPA = V3"),
    ("text:/bin/orvex_5_1_0_9.bin", "text:/bin/orvex_5_1_0_12.bin"),
    ("tffs0/bin/orvex_5_1_0_9.bin", "tffs0/bin/orvex_5_1_0_12.bin")])
OTHER_SERIES = scenario([
    ("version = 5.1.0.9", "version = 5.0.9.3"),
    ("text:/bin/orvex_5_1_0_9.bin", "text:/bin/orvex_5_0_9_3.bin"),
    ("tffs0/bin/orvex_5_1_0_9.bin", "tffs0/bin/orvex_5_0_9_3.bin")])


class Terminal(Sim):
    """A simulated terminal on an address of this suite."""

    def __init__(self, address, text=SAMPLE):
        super().__init__(text, time_scale=SCALE)
        self.address = address
        self.args[self.args.index("--address") + 1] = address

    def zing_codes(self):
        return [e["code"] for e in self.journal("zing")]

    def changes(self):
        """What changed the terminal: FTP writes and the ZING requests that act."""
        return ([e["cmd"] for e in self.journal("ftp") if e["cmd"] in ("STOR", "DELE", "RNFR")] +
                [c for c in self.zing_codes() if c in ("0x32", "0x33", "0x90", "0x94", "0x0D",
                                                       "0x13")])

    def image_txt(self):
        return (self.file("/tffs0/image.txt") or b"").decode("latin-1").strip()


class OrvexUpgrade(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="orvex-cli-")
        self.addCleanup(shutil.rmtree, self.dir, ignore_errors=True)
        self.release = os.path.join(self.dir, "release")
        subprocess.run([os.path.join(SOURCE, "scripts", "make-sample-release"),
                        self.release], check=True, stdout=subprocess.DEVNULL)
        self.env = dict(os.environ, ORVEX_TIME_SCALE=str(SCALE),
                        ORVEX_LOOPBACK_ONLY="1", HOME=self.dir,
                        XDG_DATA_HOME=os.path.join(self.dir, "data"))
        self.env.pop("ORVEX_MODEM_ADDRESS", None)

    def terminal(self, address, text=SAMPLE):
        t = Terminal(address, text)
        self.addCleanup(t.cleanup)
        return t.start()

    def args(self, address, *args):
        return [PROGRAM, "--address", address, "--release", self.release] + list(args)

    def run_cli(self, address, *args, timeout=120):
        return subprocess.run(self.args(address, *args), env=self.env,
                              stdin=subprocess.DEVNULL, capture_output=True,
                              text=True, timeout=timeout)

    def events(self, out, kind=None):
        """Every stdout line is one JSON object."""
        objects = [json.loads(line) for line in out.splitlines()]
        return [o for o in objects if kind is None or o["event"] == kind]

    def assertExit(self, result, code):
        self.assertEqual(result.returncode, code,
                         "stdout:\n%s\nstderr:\n%s" % (result.stdout, result.stderr))

    def logs(self):
        return sorted(os.listdir(os.path.join(self.release, "logs")))

    # ------------------------------------------------------------ usage

    def test_usage_errors_exit_64_and_one_table_feeds_help_man_and_completion(self):
        for args in (["frobnicate"], [], ["upgrade", "firmware"], ["restore"],
                     ["restore", "5.1.0.9", "5.1.0.3"], ["versions", "extra"],
                     ["--no-such-option", "versions"], ["--json", "--quiet", "versions"]):
            with self.subTest(args=args):
                r = subprocess.run([PROGRAM, "--release", self.release] + args,
                                   env=self.env, capture_output=True, text=True)
                self.assertExit(r, 64)
                self.assertEqual([(e["event"], e["code"]) for e in self.events(r.stdout)],
                                 [("result", 64)] if "--json" in args else [])
                self.assertIn("Try 'orvex-upgrade --help'", r.stderr)
        texts = {}
        for flag in ("--help", "--man-page", "--bash-completion"):
            r = subprocess.run([PROGRAM, flag], env=self.env, capture_output=True, text=True)
            self.assertExit(r, 0)
            texts[flag] = r.stdout.replace("\\-", "-")
        for word in ("versions", "upgrade", "restore", "reset", "factory-defaults",
                     "fetch-log", "history", "--history", "--address", "--release", "--yes",
                     "--json", "--quiet"):
            for flag, text in texts.items():
                self.assertIn(word, text, flag)
        readme = read(os.path.join(SOURCE, "README.md"), "r")
        for code in ("0", "1", "2", "3", "4", "5", "64", "129", "130", "143"):
            self.assertRegex(texts["--help"], r"\n  %s +\w" % code)
            self.assertIn(".B %s\n" % code, texts["--man-page"])
        # The README's table is the program's: each meaning, unwrapped.
        table = re.search(r"\nExit codes:\n(.*?)\n\n", texts["--help"], re.S).group(1)
        for code, meaning in re.findall(r"^  (\d+) +(.*?)(?=\n  \d|\Z)", table, re.S | re.M):
            self.assertIn("| %s | %s |" % (code, " ".join(meaning.split())), readme)
        r = subprocess.run([PROGRAM, "upgrade", "--help"], capture_output=True, text=True)
        self.assertExit(r, 0)
        self.assertTrue(r.stdout.startswith("Usage: orvex-upgrade [OPTIONS] upgrade [ITEM...]"))
        self.assertIn("--assume-yes", r.stdout)
        self.assertIn("software antenna ib pic all", texts["--bash-completion"])
        r = subprocess.run([PROGRAM, "--version"], capture_output=True, text=True)
        self.assertRegex(r.stdout, r"^orvex-upgrade \d+\.\d+\.\d+\n$")

    # ------------------------------------------------- hostile release

    def test_planted_links_touch_no_file_of_the_user(self):
        # A link where the old scratch folder was, into a folder of "the
        # user's"; a release file linked inside the folder stays usable.
        mine = os.path.join(self.dir, "mine")
        os.makedirs(mine)
        with open(os.path.join(mine, "canary"), "w") as fh:
            fh.write("keep")
        os.makedirs(os.path.join(self.release, "Backup"), exist_ok=True)
        os.symlink(mine, os.path.join(self.release, "Backup", ".orvex-upgrade-127.0.0.165"))
        os.makedirs(os.path.join(self.release, "parts"))
        atb = os.path.join(self.release, "ATB_XX0773112.sxm")
        os.rename(atb, os.path.join(self.release, "parts", "ATB_XX0773112.sxm"))
        os.symlink(os.path.join("parts", "ATB_XX0773112.sxm"), atb)
        runtime = os.path.join(self.dir, "runtime")
        os.makedirs(runtime, mode=0o700)
        self.env["XDG_RUNTIME_DIR"] = runtime
        self.terminal("127.0.0.165")
        r = self.run_cli("127.0.0.165", "versions")
        self.assertExit(r, 0)
        self.assertEqual(os.listdir(mine), ["canary"])
        self.assertEqual(os.listdir(runtime), [])

        # A release file that leaves the folder is refused by name, and its
        # name reaches the screen without its control characters.
        os.symlink(os.path.join(mine, "canary"),
                   os.path.join(self.release, "HPA_\x1b[2J.sxm"))
        r = self.run_cli(SILENT_ADDRESS, "versions")
        self.assertExit(r, 4)
        self.assertIn("HPA_\\x1b[2J.sxm is a link to %s outside the release folder"
                      % os.path.join(mine, "canary"), r.stderr)
        self.assertNotIn("\x1b", r.stderr)
        self.assertNotIn("exactly one", r.stderr)

    def test_the_completion_offers_backup_versions_and_runs_no_file_name(self):
        backup = os.path.join(self.release, "Backup")
        os.makedirs(backup, exist_ok=True)
        for name in ("orvex_$(touch${IFS}x).bin", "orvex_`touch y`.bin", "ORVEX_5_1_0_3.BIN",
                     "orvex_5_0_9_3.bin"):
            open(os.path.join(backup, name), "w").close()
        script = subprocess.run([PROGRAM, "--bash-completion"], env=self.env,
                                capture_output=True, text=True, check=True).stdout
        probe = ('COMP_WORDS=(orvex-upgrade --release "$1" restore "")\n'
                 'COMP_CWORD=4; _orvex_upgrade; printf "%s\\n" "${COMPREPLY[@]}"\n')
        r = subprocess.run(["bash", "-c", script + probe, "bash", self.release],
                           cwd=self.dir, capture_output=True, text=True)
        self.assertEqual(sorted(r.stdout.split()), ["5.0.9.3", "5.1.0.3"], r.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "x")))
        self.assertFalse(os.path.exists(os.path.join(self.dir, "y")))

    # --------------------------------------------------------- versions

    def test_versions_json_parses_line_by_line(self):
        self.terminal("127.0.0.141")
        r = self.run_cli("127.0.0.141", "--json", "versions")
        self.assertExit(r, 0)
        versions = {v["name"]: v for v in self.events(r.stdout, "version")}
        self.assertEqual(list(versions), ITEMS)
        self.assertEqual(versions["software"]["terminal"], "5.1.0.9")
        self.assertEqual(versions["software"]["release"], "5.1.0.12")
        self.assertEqual(versions["pic"]["terminal"], "2.03")
        self.assertEqual(versions["ib"]["release"], "31.05")
        self.assertTrue(all(v["differs"] and v["available"] for v in versions.values()))
        result = self.events(r.stdout)[-1]
        self.assertEqual((result["event"], result["code"], result["items"]), ("result", 0, []))
        self.assertTrue(os.path.isfile(result["log"]))
        self.assertIn("orvex-upgrade: the terminal at 127.0.0.141",
                      read(result["log"], "r").splitlines()[3])
        for e in self.events(r.stdout):
            self.assertEqual(e["address"], "127.0.0.141")
            self.assertRegex(e["time"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$")
        self.assertTrue(self.events(r.stdout, "status"))
        self.assertTrue(all(e["level"] in ("INF", "ERR") for e in self.events(r.stdout, "log")))

    # -------------------------------------------- software, lock, restore

    def test_software_upgrade_holds_the_lock_and_a_restore_brings_the_old_image_back(self):
        t = self.terminal("127.0.0.142")
        first = subprocess.Popen(self.args("127.0.0.142", "--yes", "--json", "upgrade",
                                           "software"),
                                 env=self.env, stdin=subprocess.DEVNULL,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.addCleanup(first.kill)
        # The first run has begun talking to the terminal: it holds the lock.
        deadline = time.monotonic() + 20
        while not t.zing_codes() and time.monotonic() < deadline:
            time.sleep(0.02)
        second = self.run_cli("127.0.0.142", "--json", "versions")
        self.assertExit(second, 3)
        self.assertIn("Another upgrader is already working with the terminal at 127.0.0.142",
                      second.stderr)
        self.assertEqual(self.events(second.stdout, "result")[0]["code"], 3)

        out, err = first.communicate(timeout=120)
        self.assertEqual(first.returncode, 0, out + err)
        item = {"name": "software", "before": "5.1.0.9", "after": "5.1.0.12", "new": "5.1.0.12",
                "result": "done"}
        self.assertEqual([strip(i) for i in self.events(out, "item")], [dict(item, event="item")])
        self.assertEqual(self.events(out, "result")[0]["items"], [item])
        questions = self.events(out, "question")
        self.assertEqual([q["answered_by"] for q in questions], ["--yes"])
        self.assertTrue(questions[0]["text"].startswith("Please Confirm your selections."))
        steps = {(p["step"], p["direction"]) for p in self.events(out, "progress")}
        self.assertEqual(steps, {("backup", "download"), ("image", "upload")})
        self.assertEqual(t.image_txt(), "/bin/orvex_5_1_0_12.bin")
        self.assertEqual(t.file("/tffs0/bin/orvex_5_1_0_12.bin"),
                         read(os.path.join(self.release, "orvex_5_1_0_12.bin")))
        backup = os.path.join(self.release, "Backup")
        self.assertEqual(sorted(os.listdir(backup)), ["orvex_5_1_0_9.bin"])

        r = self.run_cli("127.0.0.142", "--yes", "restore", "5_1_0_9")
        self.assertExit(r, 0)
        self.assertIn("software: 5.1.0.12 -> 5.1.0.9: done", r.stdout)
        self.assertEqual(t.image_txt(), "/bin/orvex_5_1_0_9.bin")
        rows = self.events(self.run_cli("127.0.0.142", "history", "--json").stdout, "history")
        self.assertEqual([(e["item"], e["before"], e["after"], e["new"], e["result"])
                          for e in rows], [("software", "5.1.0.12", "5.1.0.9", "5.1.0.9", "done"),
                                           ("software", "5.1.0.9", "5.1.0.12", "5.1.0.12", "done")])
        r = self.run_cli("127.0.0.142", "restore", "4.0.0.1")
        self.assertExit(r, 4)
        self.assertIn("no backup of version 4.0.0.1", r.stderr)
        # A log of its own for each run; the refused one wrote none.
        self.assertEqual(len(self.logs()), 3)

    def test_a_restore_that_comes_back_in_bootrom_fails(self):
        # The terminal's boot after the restore ends in BOOTROM mode.
        self.terminal("127.0.0.181", scenario(faults="bootrom_boots = 2"))
        os.makedirs(os.path.join(self.release, "Backup"))
        with open(os.path.join(self.release, "Backup", "orvex_5_1_0_3.bin"), "wb") as f:
            f.write(b"old image 5.1.0.3 " * 4096)
        r = self.run_cli("127.0.0.181", "--yes", "restore", "5.1.0.3")
        self.assertExit(r, 1)
        self.assertIn("software: 5.1.0.9 -> BOOTROM MODE: failed", r.stdout)
        self.assertIn("Restore failed.", r.stderr)
        self.assertIn("is in BOOTROM mode; it does not run the restored software 5.1.0.3.",
                      r.stderr)

    # ------------------------------------------------ the exit codes

    def test_no_yes_and_no_terminal_exits_5_before_anything_changes(self):
        t = self.terminal("127.0.0.143")
        r = self.run_cli("127.0.0.143", "upgrade", "all")
        self.assertExit(r, 5)
        self.assertIn("Please Confirm your selections.", r.stderr)
        self.assertIn("- Software", r.stderr)
        self.assertIn("confirmation needed", r.stderr)
        codes = t.zing_codes()
        self.assertEqual(codes[:2], ["0x04", "0x92"])
        for changing in ("0x32", "0x33", "0x90", "0x94", "0x0D"):
            self.assertNotIn(changing, codes)
        self.assertFalse([e for e in t.journal("ftp") if e["cmd"] in ("STOR", "DELE", "RNFR")])

    def test_every_item_at_the_release_version_exits_2_unless_reinstalled(self):
        t = self.terminal("127.0.0.144", AT_RELEASE)
        for args, skipped in ((["upgrade"], []), (["upgrade", "all"], ITEMS),
                              (["upgrade", "ib"], ["ib"])):
            with self.subTest(args=args):
                r = self.run_cli("127.0.0.144", "--yes", "--json", *args)
                self.assertExit(r, 2)
                self.assertFalse(self.events(r.stdout, "question"))
                self.assertEqual([(i["name"], i["result"]) for i in self.events(r.stdout, "item")],
                                 [(n, "skipped") for n in skipped])
                self.assertEqual(self.events(r.stdout, "result")[0]["code"], 2)
        self.assertEqual(t.changes(), [])
        # A history that cannot be written is a warning, not a failure.
        blocker = os.path.join(self.dir, "blocker")
        open(blocker, "w").close()
        r = self.run_cli("127.0.0.144", "--yes", "--json", "--reinstall", "upgrade", "antenna",
                         "--history", os.path.join(blocker, "history.db"))
        self.assertExit(r, 0)
        self.assertEqual([(i["name"], i["result"]) for i in self.events(r.stdout, "item")],
                         [("antenna", "done")])
        self.assertTrue([m for m in self.events(r.stdout, "message")
                         if m["kind"] == "warning" and "upgrade history" in m["text"]])
        self.assertTrue(t.journal("antenna_install"))

    def test_nothing_is_sent_without_confirmation_or_with_conflicting_release_files(self):
        t = self.terminal("127.0.0.171")
        os.makedirs(os.path.join(self.release, "Backup"))
        shutil.copy(os.path.join(self.release, "orvex_5_1_0_12.bin"),
                    os.path.join(self.release, "Backup", "orvex_5_1_0_3.bin"))
        for args, code, said in ((["reset"], 5, "not confirmed"),
                                 (["factory-defaults"], 5, "not confirmed"),
                                 (["restore", "5.1.0.3"], 5, "not confirmed"),
                                 (["--yes", "restore", "4.0.0.1"], 4, "no backup of version")):
            with self.subTest(args=args):
                r = self.run_cli("127.0.0.171", *args)
                self.assertExit(r, code)
                self.assertIn(said, r.stderr)
        for extra in ("ATB_XX0773113.sxm", "ib_3106.glo"):
            with self.subTest(extra=extra):
                shutil.copy(os.path.join(self.release, "ATB_XX0773112.sxm"),
                            os.path.join(self.release, extra))
                r = self.run_cli("127.0.0.171", "--yes", "upgrade", "all")
                self.assertExit(r, 4)
                self.assertIn("more than one", r.stderr)
                self.assertIn("refused by the release folder files rule", r.stderr)
                os.remove(os.path.join(self.release, extra))
        self.assertEqual(t.changes(), [])

    def test_nothing_listening_exits_3(self):
        r = self.run_cli(SILENT_ADDRESS, "--quiet", "versions")
        self.assertExit(r, 3)
        self.assertEqual(r.stdout, "")
        self.assertIn("Unable to get Satellite IP Modem's software version.", r.stderr)
        self.assertIn("could not be reached", r.stderr)

    def test_another_release_series_exits_4_before_anything_changes(self):
        t = self.terminal("127.0.0.145", OTHER_SERIES)
        r = self.run_cli("127.0.0.145", "--yes", "upgrade", "software")
        self.assertExit(r, 4)
        self.assertIn("Release Series conflict detected. Upgrade not possible.", r.stderr)
        self.assertIn("release series", r.stderr)
        self.assertNotIn("0x32", t.zing_codes())
        self.assertEqual(t.image_txt(), "/bin/orvex_5_0_9_3.bin")

    def test_an_upload_refused_mid_chain_exits_1_and_the_terminal_keeps_its_image(self):
        t = self.terminal("127.0.0.146", scenario(faults="ftp_stor_refuse = 552\n"
                                                         "ftp_stor_refuse_match = *.bin.part"))
        r = self.run_cli("127.0.0.146", "--yes", "--json", "upgrade", "software", "pic")
        self.assertExit(r, 1)
        items = {i["name"]: i["result"] for i in self.events(r.stdout, "item")}
        self.assertEqual(items, {"software": "failed", "pic": "not started"})
        self.assertTrue([m for m in self.events(r.stdout, "message") if m["kind"] == "warning"])
        self.assertEqual(t.image_txt(), "/bin/orvex_5_1_0_9.bin")
        self.assertEqual(os.path.getsize(os.path.join(self.release, "Backup",
                                                      "orvex_5_1_0_9.bin")), 262144)

    # ------------------------------------------------------ on a terminal

    @unittest.skipUnless(shutil.which("script"), "script (util-linux) is not installed")
    def test_on_a_terminal_the_question_is_asked_and_the_transfers_draw_a_bar(self):
        # script gives the program a terminal (of no size: COLUMNS tells);
        # the answer waits in its input. TERM=dumb draws no bar.
        for address, env in (("127.0.0.152", {"COLUMNS": "100", "TERM": "xterm"}),
                             ("127.0.0.153", {"TERM": "dumb"})):
            with self.subTest(env=env):
                t = self.terminal(address)
                command = " ".join(self.args(address, "upgrade", "software"))
                r = subprocess.run(["script", "-qec", command, "/dev/null"], input=b"y\n",
                                   env=dict(self.env, **env), capture_output=True, timeout=120)
                out = r.stdout.decode("utf-8")
                self.assertEqual(r.returncode, 0, out)
                self.assertIn("- Software\r\n[Y/n] ", out)
                bars = re.findall(r"\r\x1b\[K(upload orvex_5_1_0_12\.bin \[#+\] 100%  "
                                  r"262\.1 kB of 262\.1 kB  [\d.]+ [kMG]?B/s  0:00 left)", out)
                if env["TERM"] == "dumb":
                    self.assertNotIn("\x1b", out)
                else:
                    self.assertTrue(bars, out)
                    self.assertTrue(all(len(bar) <= 99 for bar in bars), bars)
                self.assertIn("software: 5.1.0.9 -> 5.1.0.12: done", out)
                self.assertEqual(t.image_txt(), "/bin/orvex_5_1_0_12.bin")

    # ------------------------------------------------------- signals

    def start_cli(self, address, *args):
        p = subprocess.Popen(self.args(address, *args), env=self.env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.addCleanup(p.kill)
        return p

    def wait_until(self, cond, timeout=20):
        deadline = time.monotonic() + timeout
        while not cond() and time.monotonic() < deadline:
            time.sleep(0.02)
        self.assertTrue(cond())

    def test_one_sigint_or_a_sighup_under_yes_without_a_terminal_lets_the_upgrade_complete(self):
        for address, signo in (("127.0.0.150", signal.SIGINT), ("127.0.0.172", signal.SIGHUP)):
            with self.subTest(signal=signo):
                t = self.terminal(address)
                p = self.start_cli(address, "--yes", "--json", "upgrade", "software")
                self.wait_until(lambda: "0x33" in t.zing_codes())
                p.send_signal(signo)
                out, err = p.communicate(timeout=120)
                self.assertEqual(p.returncode, 0, out + err)
                # --yes never answers "close anyway?"
                self.assertFalse([q for q in self.events(out, "question")
                                  if "close the upgrader anyway" in q["text"]])
                notes = [e["text"] for e in self.events(out, "signal")]
                self.assertEqual(notes, ["An upgrade is in progress; send the signal again to "
                                         "abandon it"] if signo == signal.SIGINT else [])
                self.assertEqual(t.image_txt(), "/bin/orvex_5_1_0_12.bin")

    def test_a_second_signal_ends_at_once_and_the_terminal_still_boots(self):
        for address, args, signo, code in (
                ("127.0.0.151", ["--yes", "reset"], signal.SIGINT, 130),
                ("127.0.0.173", ["--yes", "--json", "upgrade", "software", "pic"],
                 signal.SIGTERM, 143)):
            with self.subTest(signal=signo):
                t = self.terminal(address)
                p = self.start_cli(address, *args)
                self.wait_until(lambda: t.journal("restart") or
                                t.journal("ftp_stored") or "0x33" in t.zing_codes())
                p.send_signal(signo)
                time.sleep(0.5)
                self.assertIsNone(p.poll())
                p.send_signal(signo)
                out, err = p.communicate(timeout=10)
                self.assertEqual(p.returncode, code, out + err)
                self.assertIn("An upgrade is in progress; send the signal again to abandon it",
                              err)
                if "--json" in args:
                    result = self.events(out)[-1]
                    self.assertEqual((result["event"], result["code"]), ("result", 143))
                    self.assertEqual([i["name"] for i in result["items"]], ["software", "pic"])
                t.stop()  # the terminal boots the image image.txt names
                t.start()
                self.assertIn(t.image_txt(), ("/bin/orvex_5_1_0_9.bin",
                                              "/bin/orvex_5_1_0_12.bin"))
                self.assertIn(t.version().split()[0], ("5.1.0.9", "5.1.0.12"))

    def test_a_reset_is_done_only_when_the_terminal_went_down_and_came_back(self):
        # stop: the terminal stays off after its restart; 0x0D dropped: it
        # ignores the reset and never goes down; a boot long enough to be seen.
        for address, command, text, stop, code, said in (
                ("127.0.0.174", "reset", SAMPLE, True, 1, "did not answer after its restart"),
                ("127.0.0.175", "factory-defaults", SAMPLE, True, 1,
                 "did not answer after its restart"),
                ("127.0.0.176", "reset", scenario(faults="drop_reply = 0x0D"), False, 1,
                 "the terminal did not go down after the reset request: it did not restart"),
                ("127.0.0.177", "factory-defaults",
                 scenario([("boot_time = 3", "boot_time = 20")]), False, 0,
                 "runs software 5.1.0.9")):
            with self.subTest(command=command, address=address):
                t = self.terminal(address, text)
                p = self.start_cli(address, "--yes", command)
                if stop:
                    self.wait_until(lambda: t.journal("restart"))
                    t.stop()
                out, err = p.communicate(timeout=240)
                self.assertEqual(p.returncode, code, out + err)
                self.assertIn(said, out + err)

    # ----------------------------------------- the depot: GNU parallel

    @unittest.skipUnless(shutil.which("parallel"), "GNU parallel is not installed")
    def test_parallel_upgrades_all_items_of_two_terminals_from_one_release_folder(self):
        terminals = [self.terminal(a) for a in ("127.0.0.147", "127.0.0.148")]
        with open(os.path.join(self.dir, "terminals.txt"), "w") as fh:
            fh.write("127.0.0.147\n127.0.0.148\n")
        env = dict(self.env, PATH=os.path.dirname(os.path.abspath(PROGRAM)) + ":" +
                   self.env.get("PATH", ""))
        # The README's example, run in the release folder, twice.
        readme = read(os.path.join(SOURCE, "README.md"), "r")
        example = re.search(r"\n(mkdir -p results\n.*?:::: terminals\.txt)\n", readme,
                            re.S).group(1).replace("terminals.txt", "../terminals.txt")
        stored = []
        for run in (1, 2):
            r = subprocess.run(["bash", "-c", example + "\nexit $?"], cwd=self.release, env=env,
                               stdin=subprocess.DEVNULL, capture_output=True, text=True,
                               timeout=240)
            self.assertExit(r, 0)
            stored.append(sum(len(t.journal("ftp_stored")) for t in terminals))
            if run == 1:
                first = {t.address: read(os.path.join(self.release, "results",
                                                      t.address + ".jsonl"), "r")
                         for t in terminals}
        # The second run finds nothing to do: exit 2 for both, nothing put.
        self.assertEqual(stored[1], stored[0])
        for t in terminals:
            out = read(os.path.join(self.release, "results", t.address + ".jsonl"), "r")
            self.assertEqual(self.events(out)[-1]["code"], 2)
        with open(os.path.join(self.release, "depot.log")) as fh:
            runs = [line.split("\t") for line in fh.read().splitlines()[1:]]
        self.assertEqual(sorted(run[6] for run in runs), ["0", "0"])
        for t in terminals:
            out = first[t.address]
            items = [(i["name"], i["result"]) for i in self.events(out, "item")]
            self.assertEqual(items, [(n, "done") for n in ITEMS], t.address)
            self.assertEqual(t.image_txt(), "/bin/orvex_5_1_0_12.bin")
            self.assertIn("PIC: 2.05", t.zing(0x92).decode("latin-1"))
        # Both parallel runs are in the history, newest first, the second
        # run (nothing to do) not at all.
        r = subprocess.run([PROGRAM, "history", "--json"], env=self.env, capture_output=True,
                           text=True)
        self.assertExit(r, 0)
        rows = self.events(r.stdout, "history")
        self.assertEqual(sorted((e["address"], e["item"], e["result"]) for e in rows),
                         sorted((t.address, n, "done") for t in terminals for n in ITEMS))
        self.assertEqual([e["time"] for e in rows], sorted((e["time"] for e in rows),
                                                           reverse=True))
        self.assertEqual({(e["antenna_serial"], e["front_end"]) for e in rows},
                         {("A10042317", "orvex-upgrade")})
        self.assertTrue(all(os.path.isfile(e["log"]) for e in rows))
        r = subprocess.run([PROGRAM, "history", "--address", "127.0.0.148"], env=self.env,
                           capture_output=True, text=True)
        self.assertExit(r, 0)
        self.assertEqual(len(r.stdout.splitlines()), len(ITEMS))
        self.assertIn("127.0.0.148  pic  2.03 -> 2.05", r.stdout)
        # Four logs, and the backup both runs took of their 5.1.0.9 is whole.
        self.assertEqual(len(self.logs()), 4)
        self.assertEqual(sorted(os.listdir(os.path.join(self.release, "Backup"))),
                         ["orvex_5_1_0_9.bin"])
        self.assertEqual(read(os.path.join(self.release, "Backup", "orvex_5_1_0_9.bin")),
                         terminals[0].file("/tffs0/bin/orvex_5_1_0_9.bin"))


if __name__ == "__main__":
    unittest.main()
