"""The demo scenario through a full upgrade of all four items, driven the
way the upgrader drives a terminal (ZING, FTP and shell in its order)."""

import io
import os
import struct
import time

from simtest import SIM, SimTestCase, u32

SAMPLE = os.path.join(os.path.dirname(SIM), "scenarios", "sample.ini")
OK = "value = 0 = 0x0"
PIC_FILE = (b"S00E00005049435F325F30352E733139B3\r\n"
            b"S1130000285F245F2212226A000424290008237C2A\r\n"
            b"S9030000FC\r\n") * 4


def release(sim):
    reply = sim.zing(0x92)
    text = reply[16:16 + struct.unpack(">I", reply[8:12])[0]].decode()
    return dict(line.split(": ", 1) for line in text.split("\r\n") if line)


class FullUpgrade(SimTestCase):
    def reset_and_wait(self, sim):
        sim.zing(0x0D, expect_reply=False)
        sim.wait_down_and_up()

    def test_software_antenna_ib_and_pic(self):
        with open(SAMPLE) as fh:
            sim = self.start_sim(fh.read(), time_scale=0.03)
        self.assertEqual(sim.version(), "5.1.0.9 Rel, Oct 29 2009 fpga 12")
        before = release(sim)
        self.assertEqual((before["PIC"], before["IB"][-5:], before["CLASS"]),
                         ("2.03", "31.02", "11"))

        # main software
        self.assertEqual(sim.zing(0x32)[:4], u32(0x1032))
        self.assertEqual(sim.zing(0x33)[:4], u32(0x1033))
        ftp = sim.ftp()
        got = io.BytesIO()
        ftp.retrbinary("RETR image.txt", got.write)
        self.assertEqual(got.getvalue(), b"/bin/orvex_5_1_0_9.bin")
        ftp.cwd("/tffs0/bin")
        for name in ftp.nlst():
            if name != "orvex_5_1_0_9.bin":
                ftp.delete(name)
        backup = io.BytesIO()
        ftp.retrbinary('RETR /tffs0/bin/orvex_5_1_0_9.bin', backup.write)
        self.assertEqual(len(backup.getvalue()), 262144)
        new_image = os.urandom(300000)
        ftp.storbinary("STOR /tffs0/bin/orvex_5_1_0_12.bin",
                       io.BytesIO(new_image))
        ftp.quit()
        sim.put("image.txt", b"/bin/orvex_5_1_0_12.bin")
        self.reset_and_wait(sim)
        self.assertEqual(sim.version(), "5.1.0.12 Rel, Dec 14 2009 fpga 12")

        # antenna
        sim.put("atb.sxm", b"A" * 4000)
        sim.put("hpa.sxm", b"H" * 3000)
        reply = sim.zing(0x90, arg=2)
        self.assertNotEqual(struct.unpack(">I", reply[8:12])[0], 0)
        sim.wait_down_and_up()
        info = release(sim)
        self.assertEqual((info["ATB"], info["HPA"]), ("12", "V3"))

        # IB
        self.assertEqual(sim.zing(0x94), u32(0x1094) + u32(0))
        sim.put("/tffs0/bin/ib_3105.glo", b"\x5a" * 25000)
        self.reset_and_wait(sim)
        self.assertTrue(sim.version().startswith("5.1.0.12 "))
        deadline = time.monotonic() + 10
        while struct.unpack(">I", sim.zing(0x93)[8:12])[0] != 0:
            self.assertLess(time.monotonic(), deadline)
            time.sleep(0.05)
        sim.wait_down_and_up()
        self.assertEqual(release(sim)["IB"][-5:], "31.05")

        # PIC: preparation pass
        sim.put("/tffs0/pic.s19", PIC_FILE)
        shell = sim.shell()
        shell.login()
        self.assertIn(OK, shell.cmd('cd "/tffs0/"'))
        self.assertIn("BATT_PRESENT=0", shell.cmd("pic_data_show"))
        self.assertIn(OK, shell.cmd('copy "image.txt"'))
        self.assertIn(OK, shell.cmd('mv "image.txt","uimage.txt"'))
        self.assertIn(OK, shell.cmd('copy "pic.s19","image.txt"'))
        shell.close()
        self.reset_and_wait(sim)
        self.assertIn("BOOTROM", sim.version())

        # PIC: reflash pass
        shell = sim.shell()
        shell.login()
        out = shell.cmd('cd "/tffs0/"; copy "uimage.txt"')
        self.assertNotIn("0xffffffff", out)
        self.assertIn(OK, shell.cmd('mv "uimage.txt", "image.txt"'))
        self.assertIn("BATT_PRESENT=0", shell.cmd("pic_data_show"))
        shell.send("pic_driver_reflash 1")
        self.assertTrue(shell.read(until=b"\r\n"))
        shell.close()
        sim.wait_down_and_up()
        self.assertEqual(sim.version(), "5.1.0.12 Rel, Dec 14 2009 fpga 12")
        self.assertEqual(release(sim)["PIC"], "2.05")

        files = {p: sim.file(p) for p in (
            "/tffs0/image.txt", "/tffs0/uimage.txt", "/tffs0/atb.sxm",
            "/tffs0/hpa.sxm", "/tffs0/bin/ib_3105.glo",
            "/tffs0/bin/orvex_5_1_0_12.bin", "/tffs0/bin/orvex.bin")}
        self.assertEqual(files, {
            "/tffs0/image.txt": b"/bin/orvex_5_1_0_12.bin",
            "/tffs0/uimage.txt": None, "/tffs0/atb.sxm": None,
            "/tffs0/hpa.sxm": None, "/tffs0/bin/ib_3105.glo": None,
            "/tffs0/bin/orvex_5_1_0_12.bin": new_image,
            "/tffs0/bin/orvex.bin": None})
        self.assertEqual([e["reason"] for e in sim.journal("restart")], [
            "zing reset", "antenna install", "zing reset",
            "IB flash complete", "zing reset", "PIC reflash"])
