"""Restarts: services vanish and come back; which image the terminal boots."""

import time

from simtest import SimTestCase, u32

IMAGES = {"/tffs0/bin/orvex_5_1_0_12.bin": b"new image",
          "/tffs0/bin/orvex_5_1_0_9.bin": b"old image",
          "/tffs0/bin/orvex.bin": b"default image"}

SCENARIO = """
[terminal]
default_version = 5.1.0.3
build_date = Oct 29 2009
new_build_date = Dec 14 2009
boot_time = 4
"""


def flash(image_txt=None, **extra):
    files = dict(IMAGES)
    if image_txt is not None:
        files["/tffs0/image.txt"] = image_txt
    files.update(extra)
    return files


class ServicesAcrossRestart(SimTestCase):
    def test_reset_takes_all_services_away_for_the_boot_time(self):
        sim = self.start_sim(SCENARIO, time_scale=0.25,
                             flash_files=flash(b"/bin/orvex_5_1_0_9.bin"))
        shell = sim.shell()
        self.addCleanup(shell.close)
        ftp = sim.ftp()
        self.addCleanup(ftp.close)
        start = time.monotonic()
        sim.zing(0x0D, expect_reply=False)
        sim.wait_port(1827, False, timeout=2)
        for port in (21, 23):
            self.assertFalse(sim.port_open(port))
        # open sessions of the old boot are gone too
        self.assertEqual(shell.read(timeout=2), "\r\n\r\nVxWorks login: ")
        self.assertEqual(shell.read(timeout=2), "")
        sim.wait_port(1827, True, timeout=8)
        self.assertGreaterEqual(time.monotonic() - start, 0.95)
        for port in (21, 23):
            self.assertTrue(sim.port_open(port))
        self.assertEqual([e["reason"] for e in sim.journal("restart")],
                         ["zing reset"])

    def test_factory_defaults_alone_does_not_restart(self):
        sim = self.start_sim(SCENARIO, flash_files=flash(b"/bin/orvex.bin"))
        self.assertEqual(sim.zing(0x13), u32(0x1013) + u32(0))
        time.sleep(0.3)
        self.assertEqual(sim.journal("restart"), [])

    def test_new_image_txt_takes_effect_only_after_restart(self):
        files = flash(b"/bin/orvex_5_1_0_9.bin")
        del files["/tffs0/bin/orvex_5_1_0_12.bin"]
        sim = self.start_sim(SCENARIO, flash_files=files)
        self.assertEqual(sim.version(), "5.1.0.9 Rel, Oct 29 2009 fpga 12")
        sim.put("/tffs0/bin/orvex_5_1_0_12.bin", b"new image")
        sim.put("image.txt", b"/bin/orvex_5_1_0_12.bin")
        self.assertTrue(sim.version().startswith("5.1.0.9 "))
        sim.zing(0x0D, expect_reply=False)
        sim.wait_down_and_up()
        # an image that was not on the flash at start has the new date
        self.assertEqual(sim.version(), "5.1.0.12 Rel, Dec 14 2009 fpga 12")


class ImageSelection(SimTestCase):
    def boots(self, files, scenario=SCENARIO):
        return self.start_sim(scenario, flash_files=files).version()

    def test_image_txt_names_the_running_image(self):
        self.assertTrue(self.boots(flash(b"/bin/orvex_5_1_0_12.bin\r\n"))
                        .startswith("5.1.0.12 Rel, Oct 29 2009"))

    def test_without_image_txt_orvex_bin_runs_with_the_default_version(self):
        self.assertTrue(self.boots(flash()).startswith("5.1.0.3 Rel"))
        self.assertTrue(self.boots(flash(b"/bin/orvex.bin"))
                        .startswith("5.1.0.3 Rel"))

    def test_bootrom_cases(self):
        pic = b"S00F000068656C6C6F202020202000003C\r\nS9030000FC\r\n"
        cases = {
            "pic file copied over image.txt": flash(pic),
            "image file missing": flash(b"/bin/orvex_5_1_0_77.bin"),
            "no image at all": {"/tffs0/bin/readme.txt": b"x"},
        }
        for why, files in cases.items():
            with self.subTest(why):
                text = self.boots(files)
                self.assertIn("BOOTROM", text)
                self.assertIn(", ", text)
                self.assertIn(" fpga", text)

    def test_bootrom_at_start_then_normal_boot(self):
        sim = self.start_sim(SCENARIO + "bootrom_at_start = yes\n",
                             flash_files=flash(b"/bin/orvex_5_1_0_9.bin"))
        self.assertIn("BOOTROM", sim.version())
        sim.zing(0x0D, expect_reply=False)
        sim.wait_down_and_up()
        self.assertTrue(sim.version().startswith("5.1.0.9 Rel"))

    def test_shell_reboot_commands_restart_the_terminal(self):
        sim = self.start_sim(SCENARIO, time_scale=0.05,
                             flash_files=flash(b"/bin/orvex_5_1_0_9.bin"))
        shell = sim.shell()
        self.addCleanup(shell.close)
        shell.login()
        start = time.monotonic()
        shell.send("pwd;sleep(4);reboot")
        # the pwd answer comes before the pause
        self.assertEqual(shell.read(until=b"\r\n"),
                         "/tffs0/\r\nvalue = 0 = 0x0\r\n")
        # then the value of sleep(), and the reboot closes the session
        self.assertEqual(shell.read(timeout=3, until=b"never"),
                         "value = 0 = 0x0\r\n")
        self.assertGreaterEqual(time.monotonic() - start, 0.18)
        sim.wait_down_and_up()
        shell2 = sim.shell()
        self.addCleanup(shell2.close)
        shell2.login()
        shell2.send("reboot")
        self.assertEqual(shell2.read(timeout=3), "")
        sim.wait_down_and_up()
        self.assertEqual([e["reason"] for e in sim.journal("restart")],
                         ["shell reboot", "shell reboot"])
