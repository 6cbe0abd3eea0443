"""The shell dialogue: banners, login, session limit, PIC commands."""

from simtest import SimTestCase

OK = "value = 0 = 0x0\r\n"
FAIL = "value = -1 = 0xffffffff\r\n"
PROMPT = "-> "
IMAGE = b"/bin/orvex_5_1_0_9.bin"
PIC = (b"S00E00005049435F325F30352E733139B3\r\n"
       b"S1130000285F245F2212226A000424290008237C2A\r\nS9030000FC\r\n")
FILES = {"/tffs0/image.txt": IMAGE,
         "/tffs0/bin/orvex_5_1_0_9.bin": b"image",
         "/tffs0/pic.s19": PIC}


class Dialogue(SimTestCase):
    def session(self, sim):
        shell = sim.shell()
        self.addCleanup(shell.close)
        return shell

    def test_banners_and_login(self):
        cases = {"vxworks": "\r\n\r\nVxWorks login: ",
                 "bsp2a": "\r\n[BSP 2A] ORVEX terminal shell\r\nUsername: ",
                 "bsp2c": "\r\n[BSP 2C] ORVEX terminal shell\r\nUsername: "}
        for banner, text in cases.items():
            with self.subTest(banner):
                sim = self.start_sim("[terminal]\nshell_banner = %s\n"
                                     % banner, flash_files=FILES)
                shell = self.session(sim)
                self.assertEqual(shell.read(until=b": "), text)
                shell.send("termuser")
                self.assertEqual(shell.read(until=b": "), "Password: ")
                shell.send("skyharbor")
                self.assertEqual(shell.read(until=b"-> "), "\r\n" + PROMPT)
        sim = self.start_sim("[terminal]\nshell_banner = none\n")
        self.assertEqual(self.session(sim).read(until=b"-> "),
                         "\r\n" + PROMPT)

    def test_wrong_password_asks_again(self):
        sim = self.start_sim(flash_files=FILES)
        shell = self.session(sim)
        shell.read(until=b": ")
        shell.send("termuser")
        shell.read(until=b": ")
        shell.send("guess")
        self.assertEqual(shell.read(until=b"login: "),
                         "\r\nLogin incorrect\r\n\r\n\r\nVxWorks login: ")
        self.assertEqual(sim.journal("shell_login")[0]["accepted"], False)

    def test_one_session_at_a_time(self):
        sim = self.start_sim(flash_files=FILES)
        first = self.session(sim)
        first.login()
        second = self.session(sim)
        self.assertEqual(second.read(until=b"never"),
                         "Sorry, session limit reached.\r\n")  # then closed
        first.close()
        sim.wait_journal("shell_disconnect")
        third = self.session(sim)
        self.assertIn("VxWorks login:", third.read(until=b": "))

    def test_session_held_by_someone_else(self):
        sim = self.start_sim("[faults]\nshell_session_held = yes\n")
        self.assertEqual(self.session(sim).read(until=b"never"),
                         "Sorry, session limit reached.\r\n")

    def test_file_commands_and_their_values(self):
        sim = self.start_sim(flash_files=FILES)
        shell = self.session(sim)
        shell.login()
        self.assertEqual(shell.cmd('cd "/tffs0/"'), OK + PROMPT)
        self.assertEqual(shell.cmd('copy "image.txt"'),
                         "/bin/orvex_5_1_0_9.bin\r\n" + OK + PROMPT)
        self.assertEqual(shell.cmd('mv "image.txt","uimage.txt"'),
                         OK + PROMPT)
        self.assertIsNone(sim.file("/tffs0/image.txt"))
        self.assertEqual(shell.cmd('copy "pic.s19","image.txt"'),
                         OK + PROMPT)
        self.assertEqual(sim.file("/tffs0/image.txt"), PIC)
        # both results of a two-call line arrive in one piece
        self.assertEqual(shell.cmd('cd "/tffs0/"; copy "uimage.txt"'),
                         OK + "/bin/orvex_5_1_0_9.bin\r\n" + OK + PROMPT)
        self.assertEqual(shell.cmd('mv "uimage.txt", "image.txt"'),
                         OK + PROMPT)
        self.assertEqual(sim.file("/tffs0/image.txt"), IMAGE)
        self.assertIsNone(sim.file("/tffs0/uimage.txt"))
        self.assertEqual(shell.cmd('rm "image.txt"'), OK + PROMPT)
        missing = shell.cmd('copy "image.txt"')
        self.assertTrue(missing.endswith(FAIL + PROMPT))
        self.assertTrue(shell.cmd('rm "image.txt"').endswith(FAIL + PROMPT))
        self.assertTrue(shell.cmd('cd "/nowhere"').endswith(FAIL + PROMPT))
        self.assertEqual(shell.cmd("pwd"), "/tffs0/\r\n" + OK + PROMPT)
        self.assertEqual(shell.cmd("frobnicate 3"),
                         "undefined symbol: frobnicate\r\n" + FAIL + PROMPT)
        self.assertEqual(shell.cmd(""), PROMPT)
        lines = [e["line"] for e in sim.journal("shell")]
        self.assertEqual(lines[0], 'cd "/tffs0/"')
        self.assertIn("frobnicate 3", lines)

    def test_pic_data_show_reports_the_battery(self):
        for battery, text in (("no", "BATT_PRESENT=0"),
                              ("yes", "BATT_PRESENT=1")):
            with self.subTest(battery=battery):
                sim = self.start_sim("[terminal]\nbattery = %s\n" % battery)
                shell = self.session(sim)
                shell.login()
                out = shell.cmd("pic_data_show")
                self.assertIn(text, out)
                self.assertNotIn("FAIL", out)
                self.assertNotIn("ERROR", out)
                self.assertTrue(out.endswith(OK + PROMPT))
        sim = self.start_sim("[terminal]\npic_data = error\n")
        shell = self.session(sim)
        shell.login()
        self.assertIn("ERROR", shell.cmd("pic_data_show"))


class PicReflash(SimTestCase):
    def reflash_pass(self, scenario, files=FILES):
        """Run the reflash command; what the shell said, and the sim."""
        sim = self.start_sim(scenario, flash_files=files)
        shell = sim.shell()
        self.addCleanup(shell.close)
        shell.login()
        shell.send("pic_driver_reflash 1")
        return sim, shell

    def test_completed_reflash_changes_pic_and_restarts(self):
        sim, shell = self.reflash_pass("[terminal]\nplatform = 9\n")
        first = shell.read(until=b"\r\n")
        self.assertEqual(first,
                         "Starting PIC reflash from /tffs0/pic.s19 ...\r\n")
        self.assertEqual(shell.read(until=b"-> "),
                         "PIC Reflash Completed\r\n" + OK + PROMPT)
        sim.wait_down_and_up()
        # version from the S0 header of pic.s19 ("PIC_2_05.s19")
        self.assertIn(b"PIC: 2.05\r\n", sim.zing(0x92))
        self.assertEqual(sim.journal("restart")[0]["reason"], "PIC reflash")

    def test_configured_pic_version_wins(self):
        sim, shell = self.reflash_pass(
            "[terminal]\npic_after_reflash = 7.77\n")
        shell.read(until=b"-> ")
        sim.wait_down_and_up()
        self.assertIn(b"PIC: 7.77\r\n", sim.zing(0x92))

    def test_failed_reflash_keeps_pic_and_does_not_restart(self):
        sim, shell = self.reflash_pass(
            "[terminal]\nplatform = 9\npic_reflash = fail\n")
        shell.read(until=b"\r\n")
        out = shell.read(until=b"-> ")
        self.assertIn("FAIL", out)
        self.assertTrue(out.endswith(FAIL + PROMPT))
        self.assertIn(b"PIC: 2.03\r\n", sim.zing(0x92))
        self.assertEqual(sim.journal("restart"), [])

    def test_recovery_mode_waits_for_an_empty_line(self):
        sim, shell = self.reflash_pass(
            "[terminal]\nplatform = 8\npic_reflash = recovery\n"
            "pic_recovery_repeats = 2\n")
        shell.read(until=b"\r\n")
        for _ in range(2):
            self.assertIn("Recovery Mode", shell.read(until=b"\r\n"))
            self.assertEqual(shell.read(timeout=0.3), "")
            shell.send("")
        self.assertEqual(shell.read(until=b"-> "),
                         "PIC Reflash Completed\r\n" + OK + PROMPT)
        sim.wait_journal("restart")

    def test_without_pic_file_the_reflash_fails(self):
        files = dict(FILES)
        del files["/tffs0/pic.s19"]
        sim, shell = self.reflash_pass("", files)
        out = shell.read(until=b"-> ")
        self.assertIn("FAIL", out)
        self.assertTrue(out.endswith(FAIL + PROMPT))
