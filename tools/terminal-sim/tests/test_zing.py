"""ZING replies byte for byte, and the ZING faults."""

import socket
import struct
import time

from simtest import SimTestCase, u32

RELEASE = """
[terminal]
version = 5.1.0.9
build_date = Oct 29 2009
fpga = 12
[release]
PIC = 2.03
IB = 01.00.31.02
ATB = 11
AHW = 03
HPA = V2
ASN = A10042317
CLASS = 11
"""


class ReplyBytes(SimTestCase):
    def test_every_code_answers_at_its_fixed_offsets(self):
        sim = self.start_sim(RELEASE)
        text = b"5.1.0.9 Rel, Oct 29 2009 fpga 12"
        self.assertEqual(sim.zing(0x04),
                         u32(0x1004) + u32(0) + text + b"\0")
        for code in (0x13, 0x32, 0x33):
            self.assertEqual(sim.zing(code), u32(code + 0x1000) + u32(0))

        info = (b"PIC: 2.03\r\nIB: 01.00.31.02\r\nATB: 11\r\nAHW: 03\r\n"
                b"HPA: V2\r\nASN: A10042317\r\nCLASS: 11\r\n")
        self.assertEqual(sim.zing(0x92), u32(0x1092) + u32(0)
                         + u32(len(info)) + u32(0) + info + b"\0")
        # no IB flash running
        self.assertEqual(sim.zing(0x93), u32(0x1093) + u32(1) + u32(65535))
        self.assertEqual(sim.zing(0x94), u32(0x1094) + u32(0))

        nothing = b"No antenna firmware to install."
        self.assertEqual(sim.zing(0x90, arg=2), u32(0x1090) + u32(0) + u32(0)
                         + u32(len(nothing)) + nothing + b"\0")

        codes = [(e["code"], e["reply"]) for e in sim.journal("zing")]
        self.assertEqual(codes, [
            ("0x04", "0x1004"), ("0x13", "0x1013"), ("0x32", "0x1032"),
            ("0x33", "0x1033"), ("0x92", "0x1092"), ("0x93", "0x1093"),
            ("0x94", "0x1094"), ("0x90", "0x1090")])
        self.assertEqual(sim.journal("zing")[-1]["arg"], 2)
        self.assertEqual(len(sim.journal("factory_defaults")), 1)

    def test_version_format_and_missing_release_lines(self):
        sim = self.start_sim("""
            [terminal]
            version = 5.2.1.4
            build_date = 2010-03-01
            fpga = 7
            version_format = v{version} ({date}), {date} fpga{fpga}
            [release]
            IB = -
            ATB = -
            """)
        self.assertEqual(sim.version(),
                         "v5.2.1.4 (2010-03-01), 2010-03-01 fpga7")
        reply = sim.zing(0x92)
        text = reply[16:].split(b"\0")[0]
        self.assertEqual(struct.unpack(">I", reply[8:12])[0], len(text))
        self.assertNotIn(b"IB: ", text)
        self.assertNotIn(b"ATB: ", text)
        self.assertIn(b"CLASS: 11\r\n", text)

    def test_reply_stays_open_until_client_closes_and_unknown_is_silent(self):
        sim = self.start_sim()
        with socket.create_connection((sim.address, 1827), timeout=2) as s:
            s.sendall(u32(0x04))
            s.settimeout(2)
            self.assertTrue(s.recv(4096).startswith(u32(0x1004)))
            s.settimeout(0.3)
            # the terminal does not close first
            with self.assertRaises(socket.timeout):
                s.recv(4096)
        self.assertIsNone(sim.zing(0x55, timeout=0.3))
        self.assertEqual(sim.journal("zing")[-1]["reply"], None)


class ZingFaults(SimTestCase):
    def test_dropped_reply_only_for_its_code_and_count(self):
        sim = self.start_sim("""
            [faults]
            drop_reply = 0x04, 0x33
            drop_count = 2
            """)
        self.assertIsNone(sim.zing(0x04, timeout=0.3))
        self.assertEqual(sim.zing(0x32)[:4], u32(0x1032))
        self.assertIsNone(sim.zing(0x33, timeout=0.3))
        # both drops used up
        self.assertEqual(sim.zing(0x04)[:4], u32(0x1004))
        self.assertEqual(sim.zing(0x33)[:4], u32(0x1033))
        faults = [e["code"] for e in sim.journal("zing") if e["fault"]]
        self.assertEqual(faults, ["0x04", "0x33"])

    def test_delayed_reply_is_scaled(self):
        sim = self.start_sim("""
            [faults]
            delay_reply = 0x92:10
            """, time_scale=0.05)
        start = time.monotonic()
        self.assertEqual(sim.zing(0x92)[:4], u32(0x1092))
        self.assertGreaterEqual(time.monotonic() - start, 0.45)
        start = time.monotonic()
        sim.zing(0x04)
        self.assertLess(time.monotonic() - start, 0.45)

    def test_zing_closed_while_ftp_and_shell_answer(self):
        sim = self.start_sim("[faults]\nzing = closed\n")
        self.assertFalse(sim.port_open(1827))
        self.assertTrue(sim.port_open(21))
        self.assertTrue(sim.port_open(23))

    def test_unreachable_terminal_has_nothing_listening(self):
        sim = self.start_sim("[faults]\nunreachable = yes\n")
        for port in (1827, 21, 23):
            self.assertFalse(sim.port_open(port))
        self.assertEqual(sim.journal("boot")[0]["services"], [])
