"""The FTP side as the upgrader uses it, and its faults."""

import ftplib
import io
import socket
import time

from simtest import SimTestCase

FILES = {"/tffs0/image.txt": b"/bin/orvex_5_1_0_9.bin",
         "/tffs0/bin/orvex_5_1_0_9.bin": b"I" * 5000,
         "/tffs0/bin/orvex.bin": b"D" * 3000,
         "/ram0/syslog.log": b"boot\r\n"}


def get(ftp, path):
    buf = io.BytesIO()
    ftp.retrbinary("RETR " + path, buf.write)
    return buf.getvalue()


class FtpPaths(SimTestCase):
    def test_login_folder_relative_and_absolute_paths(self):
        sim = self.start_sim(flash_files=FILES)
        ftp = sim.ftp()
        self.addCleanup(ftp.close)
        self.assertEqual(ftp.pwd(), "/tffs0")
        self.assertEqual(get(ftp, "image.txt"), b"/bin/orvex_5_1_0_9.bin")
        self.assertEqual(get(ftp, "/ram0/syslog.log"), b"boot\r\n")
        ftp.cwd("/tffs0/bin")
        self.assertEqual(sorted(ftp.nlst()),
                         ["orvex.bin", "orvex_5_1_0_9.bin"])
        ftp.delete("orvex.bin")
        ftp.storbinary("STOR /tffs0/bin/orvex_5_1_0_12.bin",
                       io.BytesIO(b"N" * 7000))
        ftp.cwd("/tffs0")
        ftp.storlines("STOR image.txt", io.BytesIO(b"/bin/orvex_5_1_0_12.bin"))
        ftp.storbinary("STOR atb.sxm", io.BytesIO(b"atb"))
        ftp.quit()
        self.assertIsNone(sim.file("/tffs0/bin/orvex.bin"))
        self.assertEqual(sim.file("/tffs0/bin/orvex_5_1_0_12.bin"),
                         b"N" * 7000)
        self.assertEqual(sim.file("/tffs0/atb.sxm"), b"atb")
        self.assertEqual(sim.file("/tffs0/image.txt").strip(),
                         b"/bin/orvex_5_1_0_12.bin")
        stored = [e["path"] for e in sim.journal("ftp_stored")]
        self.assertEqual(stored, ["/tffs0/bin/orvex_5_1_0_12.bin",
                                  "/tffs0/image.txt", "/tffs0/atb.sxm"])
        cmds = [e["cmd"] for e in sim.journal("ftp")]
        self.assertIn("DELE", cmds)
        self.assertEqual([e["arg"] for e in sim.journal("ftp")
                          if e["cmd"] == "PASS"], ["****"])

    def test_flash_root_cannot_be_left(self):
        sim = self.start_sim(flash_files=FILES)
        ftp = sim.ftp()
        self.addCleanup(ftp.close)
        ftp.cwd("/../../..")
        self.assertEqual(ftp.pwd(), "/")
        self.assertEqual(sorted(ftp.nlst()), ["ram0", "tffs0"])

    def test_missing_file_is_a_550(self):
        sim = self.start_sim(flash_files=FILES)
        ftp = sim.ftp()
        self.addCleanup(ftp.close)
        with self.assertRaises(ftplib.error_perm) as cm:
            get(ftp, "uimage.txt")
        self.assertTrue(str(cm.exception).startswith("550"))


class FtpFaults(SimTestCase):
    def login(self, sim, password):
        ftp = ftplib.FTP()
        ftp.connect(sim.address, 21, timeout=5)
        self.addCleanup(ftp.close)
        ftp.login("termuser", password)

    def test_refused_login(self):
        sim = self.start_sim("[faults]\nftp_login = refuse\n",
                             flash_files=FILES)
        with self.assertRaises(ftplib.error_perm) as cm:
            self.login(sim, "skyharbor")
        self.assertTrue(str(cm.exception).startswith("530"))
        self.assertTrue(sim.port_open(1827))

    def test_wrong_password_is_refused(self):
        sim = self.start_sim(flash_files=FILES)
        with self.assertRaises(ftplib.error_perm):
            self.login(sim, "wrong")

    def test_reset_in_the_middle_of_an_upload_once(self):
        sim = self.start_sim("""
            [faults]
            ftp_reset_after = 100000
            ftp_reset_on = STOR
            ftp_reset_count = 1
            """, flash_files=FILES)
        ftp = sim.ftp()
        # downloads are not affected
        self.assertEqual(len(get(ftp, "/tffs0/bin/orvex_5_1_0_9.bin")), 5000)
        with self.assertRaises((ConnectionError, EOFError, OSError)):
            ftp.storbinary("STOR /tffs0/bin/big.bin",
                           io.BytesIO(b"x" * 2000000))
            ftp.voidcmd("NOOP")
        ftp.close()
        self.assertLess(len(sim.file("/tffs0/bin/big.bin")), 2000000)
        fault = sim.journal("fault")[0]
        self.assertEqual((fault["kind"], fault["transfer"]),
                         ("ftp_reset", "STOR"))
        self.assertGreaterEqual(fault["bytes"], 100000)
        # the count is used up: the next upload goes through
        sim.put("/tffs0/bin/big.bin", b"y" * 300000)
        self.assertEqual(len(sim.file("/tffs0/bin/big.bin")), 300000)

    def test_reset_during_download(self):
        sim = self.start_sim("""
            [faults]
            ftp_reset_after = 1000
            ftp_reset_on = RETR
            """, flash_files=FILES)
        ftp = sim.ftp()
        self.addCleanup(ftp.close)
        with self.assertRaises((ConnectionError, EOFError, OSError,
                                ftplib.Error)):
            get(ftp, "/tffs0/bin/orvex_5_1_0_9.bin")
            ftp.voidcmd("NOOP")

    def test_stalled_upload_then_resumes(self):
        sim = self.start_sim("""
            [faults]
            ftp_stall_after = 50000
            ftp_stall_seconds = 20
            """, time_scale=0.05, flash_files=FILES)
        ftp = sim.ftp()
        self.addCleanup(ftp.close)
        start = time.monotonic()
        ftp.storbinary("STOR /tffs0/bin/s.bin", io.BytesIO(b"s" * 3000000))
        self.assertGreaterEqual(time.monotonic() - start, 0.9)
        self.assertEqual(len(sim.file("/tffs0/bin/s.bin")), 3000000)
        self.assertEqual(sim.journal("fault")[0]["kind"], "ftp_stall")

    def test_stall_without_end_makes_the_client_time_out(self):
        sim = self.start_sim("""
            [faults]
            ftp_stall_after = 0
            ftp_stall_on = RETR
            """, flash_files=FILES)
        ftp = ftplib.FTP()
        ftp.connect(sim.address, 21, timeout=1)
        self.addCleanup(ftp.close)
        ftp.login("termuser", "skyharbor")
        with self.assertRaises(socket.timeout):
            get(ftp, "/tffs0/bin/orvex_5_1_0_9.bin")
