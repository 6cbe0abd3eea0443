"""Silent ZING replies for the Nth request, replies in several writes."""

import socket

from simtest import SimTestCase, u32

OK = "value = 0 = 0x0\r\n"
PROMPT = "-> "
FILES = {"/tffs0/uimage.txt": b"/bin/orvex_5_1_0_9.bin",
         "/tffs0/bin/orvex_5_1_0_9.bin": b"image"}


def pieces(sock, total, timeout=3.0):
    """Every recv() until `total` bytes arrived."""
    sock.settimeout(timeout)
    out = []
    while sum(map(len, out)) < total:
        chunk = sock.recv(65536)
        if not chunk:
            break
        out.append(chunk)
    return out


class SilentZing(SimTestCase):
    def test_only_the_nth_request_of_a_code_goes_unanswered(self):
        sim = self.start_sim("""
            [faults]
            drop_reply = 0x93, 0x0D
            drop_nth = 3
            drop_count = 1
            """)
        answered = [sim.zing(0x93, timeout=0.5) is not None
                    for _ in range(4)]
        self.assertEqual(answered, [True, True, False, True])
        # other codes are counted on their own: the first 0x0D restarts
        sim.zing(0x0D, expect_reply=False)
        sim.wait_down_and_up()
        drops = [e["code"] for e in sim.journal("zing")
                 if e.get("fault") == "drop"]
        self.assertEqual(drops, ["0x93"])

    def test_silent_request_keeps_the_connection_open(self):
        sim = self.start_sim("[faults]\ndrop_reply = 0x04\n")
        with socket.create_connection((sim.address, 1827), timeout=2) as s:
            s.sendall(u32(0x04))
            sim.wait_journal("zing", code="0x04", fault="drop")
            s.settimeout(0.3)
            with self.assertRaises(socket.timeout):
                s.recv(16)     # neither a reply nor a close


class SplitReplies(SimTestCase):
    def test_zing_reply_arrives_in_pieces_and_reassembles(self):
        sim = self.start_sim("""
            [faults]
            zing_split = 3
            zing_split_pause = 1
            """, time_scale=0.3)
        whole = self.start_sim("").zing(0x92)
        with socket.create_connection((sim.address, 1827), timeout=2) as s:
            s.sendall(u32(0x92))
            got = pieces(s, len(whole))
        self.assertEqual(b"".join(got), whole)
        self.assertGreater(len(got), 1)
        self.assertEqual(got[0], whole[:2])

    def test_shell_answer_split_by_call_and_by_line(self):
        cases = {
            "calls": [OK, "/bin/orvex_5_1_0_9.bin\r\n" + OK + PROMPT],
            "lines": [OK, "/bin/orvex_5_1_0_9.bin\r\n", OK, PROMPT],
        }
        whole = "".join(cases["lines"])
        cases["bytes"] = [whole[i:i + 5] for i in range(0, len(whole), 5)]
        for mode, expected in cases.items():
            with self.subTest(mode):
                sim = self.start_sim(
                    "[faults]\nshell_split = %s\nshell_split_pause = 1\n"
                    % mode, time_scale=0.3, flash_files=FILES)
                shell = sim.shell()
                self.addCleanup(shell.close)
                shell.login()
                shell.send('cd "/tffs0/"; copy "uimage.txt"')
                got = pieces(shell.sock, len("".join(expected)))
                self.assertEqual(b"".join(got).decode(), "".join(expected))
                # the first write is the answer to cd alone (its first
                # five bytes when cut into bytes)
                self.assertEqual(got[0].decode(), expected[0])
                self.assertGreater(len(got), 1)
