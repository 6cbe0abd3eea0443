"""Antenna install and IB flashing across their restarts."""

import struct
import time

from simtest import SimTestCase, u32

FILES = {"/tffs0/image.txt": b"/bin/orvex_5_1_0_9.bin",
         "/tffs0/bin/orvex_5_1_0_9.bin": b"image"}


def release(sim):
    reply = sim.zing(0x92)
    text = reply[16:16 + struct.unpack(">I", reply[8:12])[0]].decode()
    return dict(line.split(": ", 1) for line in text.split("\r\n") if line)


def ib_progress(sim):
    reply = sim.zing(0x93)
    assert reply[:8] == u32(0x1093) + u32(1), reply
    return struct.unpack(">I", reply[8:12])[0]


class Antenna(SimTestCase):
    def test_install_replies_then_restarts_with_new_versions(self):
        sim = self.start_sim("""
            [terminal]
            antenna_install_time = 4
            hpa_after_install = V3
            """, time_scale=0.05, flash_files=FILES)
        sim.put("atb.sxm", b"ATB firmware image ATB_XX0773112.sxm\n" * 10)
        sim.put("hpa.sxm", b"HPA firmware")
        start = time.monotonic()
        reply = sim.zing(0x90, arg=2)
        self.assertGreaterEqual(time.monotonic() - start, 0.18)
        status, length = struct.unpack(">II", reply[8:16])
        self.assertEqual(reply[:4], u32(0x1090))
        self.assertNotEqual(status, 0)
        self.assertEqual(len(reply), 16 + length + 1)
        self.assertIn(b"ATB 12", reply[16:])
        sim.wait_down_and_up()
        info = release(sim)
        self.assertEqual((info["ATB"], info["HPA"]), ("12", "V3"))
        self.assertIsNone(sim.file("/tffs0/atb.sxm"))
        self.assertIsNone(sim.file("/tffs0/hpa.sxm"))
        self.assertEqual(sim.journal("restart")[0]["reason"],
                         "antenna install")
        # nothing left to install: status 0, no restart
        self.assertEqual(struct.unpack(">I", sim.zing(0x90, 2)[8:12])[0], 0)
        time.sleep(0.3)
        self.assertEqual(len(sim.journal("restart")), 1)

    def test_hpa_only_keeps_atb(self):
        sim = self.start_sim("[release]\nATB = 44\n", flash_files=FILES)
        sim.put("hpa.sxm", b"version = Z9\n")
        self.assertNotEqual(struct.unpack(">I", sim.zing(0x90, 2)[8:12])[0],
                            0)
        sim.wait_down_and_up()
        info = release(sim)
        self.assertEqual((info["ATB"], info["HPA"]), ("44", "Z9"))


class IbFlashing(SimTestCase):
    SCENARIO = """
        [terminal]
        ib_flash_time = 20
        ib_restart_delay = 2
        [release]
        IB = 01.00.31.02
        """

    def test_prepare_upload_reset_flash_restart(self):
        sim = self.start_sim(self.SCENARIO, time_scale=0.05,
                             flash_files=FILES)
        self.assertEqual(sim.zing(0x94), u32(0x1094) + u32(0))
        glo = b"G" * 25000                      # 250 blocks
        sim.put("/tffs0/bin/ib_3105.glo", glo)
        self.assertEqual(ib_progress(sim), 65535)   # not before the reset
        sim.zing(0x0D, expect_reply=False)
        sim.wait_down_and_up()
        self.assertEqual(sim.journal("boot")[-1]["ib_flash"], "ib_3105.glo")
        # the terminal answers its version while it flashes
        self.assertTrue(sim.version().startswith("5.1.0.9 "))
        seen = []
        while True:
            value = ib_progress(sim)
            if value == 0:
                break
            seen.append(value)
            time.sleep(0.05)
        self.assertGreaterEqual(len(seen), 3)
        self.assertEqual(seen, sorted(seen))
        self.assertTrue(1 <= seen[0] < 250 and seen[-1] <= 250)
        sim.wait_down_and_up()
        self.assertEqual(release(sim)["IB"], "01.00.31.05")
        self.assertIsNone(sim.file("/tffs0/bin/ib_3105.glo"))
        self.assertEqual(ib_progress(sim), 65535)
        self.assertEqual([e["reason"] for e in sim.journal("restart")],
                         ["zing reset", "IB flash complete"])

    def test_refused_preparation(self):
        sim = self.start_sim("[faults]\nib_prepare = refuse\n")
        reply = sim.zing(0x94)
        self.assertEqual(reply[:4], u32(0x1094))
        self.assertNotEqual(struct.unpack(">I", reply[4:8])[0], 0)
        self.assertEqual(sim.journal("ib_prepare")[0]["accepted"], False)

    def test_no_flashing_in_bootrom(self):
        files = dict(FILES)
        files["/tffs0/bin/ib_3105.glo"] = b"G" * 1000
        files["/tffs0/image.txt"] = b"S0030000FC"
        sim = self.start_sim(flash_files=files)
        self.assertEqual(ib_progress(sim), 65535)
