"""Strict FTP, refused commands, cut transfers and the flash report."""

import ftplib
import hashlib
import io
import json
import os
import subprocess
import sys

from simtest import PYTHON, SIM, SimTestCase

sys.path.insert(0, os.path.dirname(SIM))
from termsim.flash import Flash  # noqa: E402

IMAGE_TXT = b"/bin/orvex_5_1_0_9.bin"
FILES = {"/tffs0/image.txt": IMAGE_TXT,
         "/tffs0/atb.sxm": b"A" * 100,
         "/tffs0/bin/orvex_5_1_0_9.bin": b"I" * 5000,
         "/tffs0/bin/orvex.bin": b"D" * 3000,
         "/ram0/syslog.log": b"boot\r\n"}


def get(ftp, path):
    buf = io.BytesIO()
    ftp.retrbinary("RETR " + path, buf.write)
    return buf.getvalue()


def put(ftp, path, data):
    ftp.storbinary("STOR " + path, io.BytesIO(data))


class FtpCase(SimTestCase):
    def session(self, scenario, files=FILES):
        sim = self.start_sim(scenario, flash_files=files)
        ftp = sim.ftp()
        self.addCleanup(ftp.close)
        return sim, ftp

    def reply_code(self, func, *args):
        with self.assertRaises(ftplib.Error) as cm:
            func(*args)
        return int(str(cm.exception)[:3])

    def report(self, sim, cli=False):
        if not cli:
            return Flash(sim.flash).report()
        out = subprocess.run([PYTHON, SIM, "--flash", sim.flash,
                              "--flash-report"], capture_output=True,
                             timeout=10, check=True)
        return json.loads(out.stdout)


class Strict(FtpCase):
    def test_refuses_exactly_the_extensions_and_the_root(self):
        sim, ftp = self.session("[ftp]\nstrict = yes\n")
        self.assertEqual(ftp.pwd(), "/tffs0")
        refused = [("FEAT", ""), ("EPSV", ""), ("EPRT", " |1|127.0.0.1|9|"),
                   ("SIZE", " image.txt"), ("MDTM", " image.txt"),
                   ("MLST", " image.txt"), ("CWD", " /"), ("CWD", " ..")]
        for cmd, arg in refused:
            with self.subTest(cmd + arg):
                code = self.reply_code(ftp.sendcmd, cmd + arg)
                self.assertEqual(code, 550 if cmd == "CWD" else 500)
        self.assertEqual(self.reply_code(list, ftp.mlsd()), 500)
        self.assertEqual(ftp.pwd(), "/tffs0")
        # what the upgrader needs keeps working
        ftp.voidcmd("TYPE I")
        self.assertEqual(get(ftp, "image.txt"), IMAGE_TXT)
        ftp.cwd("/tffs0/bin")
        self.assertEqual(sorted(ftp.nlst()),
                         ["orvex.bin", "orvex_5_1_0_9.bin"])
        lines = []
        ftp.retrlines("LIST", lines.append)
        self.assertEqual(len(lines), 2)
        put(ftp, "new.bin", b"n" * 700)
        ftp.rename("new.bin", "orvex_5_1_0_12.bin")
        ftp.delete("orvex.bin")
        ftp.cwd("/tffs0")
        ftp.quit()
        self.assertEqual(sim.file("/tffs0/bin/orvex_5_1_0_12.bin"),
                         b"n" * 700)
        self.assertIsNone(sim.file("/tffs0/bin/orvex.bin"))
        seen = [(e["cmd"], e["reply"], e["reason"])
                for e in sim.journal("ftp_refused")]
        self.assertEqual([c for c, _r, _w in seen],
                         ["FEAT", "EPSV", "EPRT", "SIZE", "MDTM", "MLST",
                          "CWD", "CWD", "MLSD"])
        self.assertTrue(all(w == "strict" for _c, _r, w in seen))

    def test_classic_knows_only_the_old_command_set(self):
        sim, ftp = self.session("[ftp]\ncommands = classic\n")
        help_words = ftp.sendcmd("HELP").split()
        for cmd in ("RETR", "STOR", "LIST", "NLST", "DELE", "PASV", "NOOP"):
            self.assertIn(cmd, help_words)
        for cmd in ("RNFR", "RNTO", "SIZE", "EPSV", "MKD", "FEAT", "MDTM"):
            with self.subTest(cmd):
                self.assertNotIn(cmd, help_words)
                arg = "" if cmd in ("FEAT", "EPSV") else " x"
                self.assertEqual(self.reply_code(ftp.sendcmd, cmd + arg), 500)
        self.assertEqual(self.reply_code(ftp.cwd, "/"), 550)
        ftp.cwd("/tffs0/bin")
        put(ftp, "orvex_5_1_0_12.bin", b"n" * 700)
        self.assertEqual(get(ftp, "orvex_5_1_0_12.bin"), b"n" * 700)
        ftp.delete("orvex.bin")
        ftp.quit()
        self.assertEqual(
            [e["cmd"] for e in sim.journal("ftp_refused")],
            ["RNFR", "RNTO", "SIZE", "EPSV", "MKD", "FEAT", "MDTM", "CWD"])

    def test_without_strict_the_extensions_answer(self):
        sim, ftp = self.session("")
        ftp.voidcmd("TYPE I")
        self.assertEqual(ftp.size("image.txt"), len(IMAGE_TXT))
        ftp.cwd("/")
        self.assertEqual(sim.journal("ftp_refused"), [])

    def test_long_list_lines_carry_the_size_in_field_five(self):
        _sim, ftp = self.session("[ftp]\nstrict = yes\n")
        lines = []
        ftp.retrlines("LIST /tffs0/bin", lines.append)
        sizes = {ln.split()[-1]: int(ln.split()[4]) for ln in lines}
        self.assertEqual(sizes, {"orvex.bin": 3000,
                                 "orvex_5_1_0_9.bin": 5000})
        self.assertTrue(all(ln.startswith("-rw") for ln in lines))


class Refusals(FtpCase):
    def test_each_refusal_leaves_the_files_as_they_were(self):
        sim, ftp = self.session("""
            [faults]
            ftp_stor_refuse = 552
            ftp_stor_refuse_count = 1
            ftp_dele_refuse = yes
            ftp_dele_refuse_count = 1
            ftp_rnfr_refuse = yes
            ftp_rnfr_refuse_count = 1
            ftp_rnto_refuse = 553
            ftp_rnto_refuse_count = 1
            ftp_retr_refuse = 451
            ftp_retr_refuse_count = 1
            """)
        # each fault hits once, so each case meets a fresh one
        cases = [
            ("STOR", lambda f: put(f, "bin/orvex.bin", b"new"), 552),
            ("DELE", lambda f: f.delete("bin/orvex.bin"), 550),
            ("RNFR", lambda f: f.rename("image.txt", "uimage.txt"), 550),
            ("RNTO", lambda f: f.rename("image.txt", "uimage.txt"), 553),
            ("RETR", lambda f: get(f, "image.txt"), 451),
        ]
        for cmd, action, code in cases:
            with self.subTest(cmd):
                self.assertEqual(self.reply_code(action, ftp), code)
                ftp.voidcmd("NOOP")
                files = {e["path"]: e["size"]
                         for e in self.report(sim)["files"]}
                self.assertEqual(files, {p: len(d) for p, d in FILES.items()})
                fault = sim.journal("fault")[-1]
                self.assertEqual((fault["kind"], fault["cmd"],
                                  fault["reply"]), ("ftp_refuse", cmd, code))
        put(ftp, "x.bin", b"x")       # all used up
        ftp.rename("x.bin", "y.bin")
        ftp.delete("y.bin")

    def test_nth_matching_command_only(self):
        sim, ftp = self.session("""
            [faults]
            ftp_stor_refuse = 552
            ftp_stor_refuse_match = orvex_*.bin
            ftp_stor_refuse_nth = 2
            ftp_stor_refuse_count = 1
            ftp_retr_refuse = 450
            ftp_retr_refuse_match = /tffs0/image.txt
            ftp_retr_refuse_count = 1
            """)
        put(ftp, "/tffs0/bin/orvex_1.bin", b"1")
        put(ftp, "/tffs0/bin/other.bin", b"o")      # does not match
        self.assertEqual(self.reply_code(put, ftp, "/tffs0/bin/orvex_2.bin",
                                         b"2"), 552)
        put(ftp, "/tffs0/bin/orvex_3.bin", b"3")
        self.assertIsNone(sim.file("/tffs0/bin/orvex_2.bin"))
        self.assertEqual(sim.file("/tffs0/bin/orvex_3.bin"), b"3")
        # a missing file is the usual 550; image.txt once a local error
        self.assertEqual(self.reply_code(get, ftp, "uimage.txt"), 550)
        self.assertEqual(self.reply_code(get, ftp, "image.txt"), 450)
        self.assertEqual(get(ftp, "image.txt"), IMAGE_TXT)
        hits = [(e["cmd"], e["path"]) for e in sim.journal("fault")]
        self.assertEqual(hits, [("STOR", "/tffs0/bin/orvex_2.bin"),
                                ("RETR", "/tffs0/image.txt")])

    def test_full_flash_keeps_a_truncated_file(self):
        sim, ftp = self.session("""
            [faults]
            ftp_stor_refuse = 452
            ftp_stor_refuse_after = 1000
            ftp_stor_refuse_count = 1
            """)
        data = bytes(range(256)) * 20
        self.assertEqual(self.reply_code(put, ftp, "bin/orvex_5_1_0_12.bin",
                                         data), 452)
        self.assertEqual(sim.file("/tffs0/bin/orvex_5_1_0_12.bin"),
                         data[:1000])
        entry = {e["path"]: e for e in self.report(sim)["files"]}[
            "/tffs0/bin/orvex_5_1_0_12.bin"]
        self.assertFalse(entry["complete"])
        self.assertEqual(entry["upload"], {
            "bytes": len(data), "complete": False,
            "sha256": hashlib.sha256(data).hexdigest()})
        # the count is used up: the retry fits
        put(ftp, "bin/orvex_5_1_0_12.bin", data)
        entry = {e["path"]: e for e in self.report(sim)["files"]}[
            "/tffs0/bin/orvex_5_1_0_12.bin"]
        self.assertTrue(entry["complete"])
        self.assertEqual(entry["size"], len(data))

    def test_rename_onto_an_existing_file(self):
        for mode, code in (("replace", None), ("refuse", 550)):
            with self.subTest(mode):
                sim, ftp = self.session("[ftp]\nrename_existing = %s\n"
                                        % mode)
                put(ftp, "uimage.txt", b"/bin/orvex.bin")
                if code is None:
                    ftp.rename("uimage.txt", "image.txt")
                    self.assertEqual(sim.file("/tffs0/image.txt"),
                                     b"/bin/orvex.bin")
                    self.assertIsNone(sim.file("/tffs0/uimage.txt"))
                    continue
                self.assertEqual(self.reply_code(ftp.rename, "uimage.txt",
                                                 "image.txt"), code)
                self.assertEqual(sim.file("/tffs0/image.txt"), IMAGE_TXT)
                self.assertEqual(sim.file("/tffs0/uimage.txt"),
                                 b"/bin/orvex.bin")
                self.assertEqual(sim.journal("ftp_refused")[0]["reason"],
                                 "target exists")


class CutTransfers(FtpCase):
    def test_upload_cut_mid_way_leaves_an_image_that_does_not_boot(self):
        sim, ftp = self.session("""
            [faults]
            ftp_reset_after = 3000
            ftp_reset_on = STOR
            ftp_reset_match = orvex_*.bin
            ftp_reset_nth = 2
            ftp_reset_count = 1
            """)
        put(ftp, "bin/orvex_5_1_0_11.bin", b"a" * 4000)
        put(ftp, "image.txt", b"/bin/orvex_5_1_0_12.bin")  # not counted
        with self.assertRaises((OSError, EOFError, ftplib.Error)):
            put(ftp, "bin/orvex_5_1_0_12.bin", b"b" * 200000)
            ftp.voidcmd("NOOP")
        self.assertEqual(sim.file("/tffs0/bin/orvex_5_1_0_12.bin"),
                         b"b" * 3000)
        stored = sim.wait_journal("ftp_stored", complete=False)[0]
        self.assertEqual((stored["path"], stored["bytes"]),
                         ("/tffs0/bin/orvex_5_1_0_12.bin", 3000))
        boot = self.report(sim)["boot"]
        self.assertEqual((boot["image_txt"], boot["image_present"],
                          boot["image_complete"], boot["bootable"]),
                         ("/bin/orvex_5_1_0_12.bin", True, False, False))
        sim.zing(0x0D, expect_reply=False)
        sim.wait_down_and_up()
        self.assertTrue(sim.version().startswith("BOOTROM"))
        self.assertEqual(sim.journal("boot")[-1]["reason"],
                         "image orvex_5_1_0_12.bin incomplete")

    def test_download_cut_after_exactly_n_bytes(self):
        sim, ftp = self.session("""
            [faults]
            ftp_reset_after = 1234
            ftp_reset_on = RETR
            ftp_reset_match = image.txt, orvex_5_1_0_9.bin
            """)
        got = bytearray()
        with self.assertRaises((OSError, EOFError, ftplib.Error)):
            ftp.retrbinary("RETR bin/orvex_5_1_0_9.bin", got.extend)
            ftp.voidcmd("NOOP")
        self.assertEqual(len(got), 1234)
        fault = sim.journal("fault")[0]
        self.assertEqual((fault["transfer"], fault["path"]),
                         ("RETR", "/tffs0/bin/orvex_5_1_0_9.bin"))
        # another file does not match
        again = sim.ftp()
        self.addCleanup(again.close)
        self.assertEqual(get(again, "/tffs0/atb.sxm"), b"A" * 100)


class BootCheck(FtpCase):
    def test_what_the_terminal_would_boot(self):
        data = b"z" * 9000
        sim, ftp = self.session("")
        # (step on the flash, boots, bootable), one after another
        steps = [
            ("keep", "image", True),
            ("names a missing image", "bootrom", False),
            ("new image", "image", True),
            ("no image.txt", "orvex.bin", True),
            ("nothing", "bootrom", False),
        ]
        for step, boots, bootable in steps:
            with self.subTest(step):
                if step == "names a missing image":
                    put(ftp, "image.txt", b"/bin/orvex_9_9.bin")
                if step == "new image":
                    put(ftp, "bin/orvex_5_1_0_12.bin", data)
                    put(ftp, "uimage.txt", b"/bin/orvex_5_1_0_12.bin\r\n")
                    ftp.rename("uimage.txt", "image.txt")
                if step == "no image.txt":
                    ftp.delete("image.txt")
                if step == "nothing":
                    ftp.delete("bin/orvex.bin")
                report = self.report(sim, cli=step == "new image")
                self.assertEqual((report["boot"]["boots"],
                                  report["boot"]["bootable"]),
                                 (boots, bootable))
                files = {e["path"]: e for e in report["files"]}
                self.assertTrue(all(e["complete"] for e in files.values()))
                self.assertNotIn("/.termsim-uploads.json", files)
                if step == "new image":
                    self.assertEqual(report["boot"]["version"], "5.1.0.12")
                    up = files["/tffs0/image.txt"]["upload"]
                    self.assertEqual(up["bytes"], 25)   # moved by RNTO
                    self.assertIsNone(files["/tffs0/bin/orvex.bin"]["upload"])
                    self.assertEqual(
                        files["/tffs0/bin/orvex_5_1_0_12.bin"]["sha256"],
                        hashlib.sha256(data).hexdigest())
        # the record never shows through FTP
        self.assertEqual(sorted(ftp.nlst("/")), ["ram0", "tffs0"])
