"""The terminal itself: what it runs, what it answers, when it restarts."""

import re
import threading
import time

from . import zing as z
from .flash import Flash
from .ftp import FtpService
from .guard import check_loopback
from .scenario import RELEASE_KEYS
from .shell import ShellService
from .zing import ZingService

IB_NAME_RE = re.compile(r"_(\d{4})\.glo$", re.IGNORECASE)
NO_IB_FLASH = 65535


class IbFlash:
    """An IB firmware flash in progress (started at boot from a .glo)."""

    def __init__(self, name, blocks):
        self.name = name
        self.blocks = blocks
        self.started = None
        self.done = False
        self.zero_reported = threading.Event()


class Terminal:
    def __init__(self, scenario, flash_dir, address, journal):
        self.scenario = scenario
        self.flash = Flash(flash_dir)
        self.address = check_loopback(address)
        self.journal = journal
        self.release = dict(scenario.release)
        self.version_text = ""
        self.running = None          # running version, None in BOOTROM
        self.up = False
        self.boot_count = 0
        self.ib = None
        self.shutdown = threading.Event()
        self._lock = threading.RLock()
        self._restarting = False
        self._services = []
        self._drops = 0
        self._requests = {}          # ZING code -> requests so far
        self._initial_images = set()

    # -- power ------------------------------------------------------------

    def power_on(self):
        """First start: lay out an empty flash, then boot at once."""
        if self.flash.is_empty():
            self.flash.populate(self.scenario)
            self.journal.write("flash_populated")
        self._initial_images = set(self.flash.listdir("/tffs0/bin"))
        self._boot(first=True)

    def restart(self, reason, down_time=None):
        """Go down now and come back after the boot time (asynchronous)."""
        with self._lock:
            if self._restarting or self.shutdown.is_set():
                return False
            self._restarting = True
        threading.Thread(target=self._restart, args=(reason, down_time),
                         name="restart", daemon=True).start()
        return True

    def _restart(self, reason, down_time):
        self.journal.write("restart", reason=reason)
        self._stop_services()
        if down_time is None:
            down_time = self.scenario.scaled(self.scenario.boot_time)
        if self.shutdown.wait(down_time):
            return
        with self._lock:
            self._restarting = False
        self._boot(first=False)

    def stop(self):
        self.shutdown.set()
        self._stop_services()
        self.journal.write("stop")

    def _stop_services(self):
        with self._lock:
            self.up = False
            services, self._services = self._services, []
        for svc in services:
            svc.stop()
        self.journal.write("down")

    def _boot(self, first):
        sc = self.scenario
        version, why = self._select_image(first)
        with self._lock:
            self.boot_count += 1
            self.running = version
            if version is None:
                self.version_text = sc.bootrom_format.format(
                    date=sc.bootrom_date, fpga=sc.fpga)
            else:
                name = "orvex_%s.bin" % version.replace(".", "_")
                date = sc.build_date_of(version,
                                        name in self._initial_images or first)
                self.version_text = sc.version_format.format(
                    version=version, date=date, fpga=sc.fpga)
            self.ib = self._pending_ib() if version is not None else None
        # ZING comes up last and goes down last, so an answering ZING
        # port means the whole terminal is up
        services = []
        if not sc.unreachable:
            services.append(FtpService(self.address, self))
            services.append(ShellService(self.address, self))
            if not sc.zing_closed:
                services.append(ZingService(self.address, self))
        self.journal.write("boot", version=self.version_text,
                           bootrom=version is None, reason=why,
                           services=[s.name for s in services],
                           ib_flash=self.ib.name if self.ib else None)
        for svc in services:
            svc.start()
        with self._lock:
            self._services = services
            self.up = True
        if self.ib is not None:
            if sc.ib_flash_start == "boot":
                self.ib.started = time.monotonic()
            threading.Thread(target=self._ib_worker,
                             args=(self.ib, self.boot_count),
                             name="ib-flash", daemon=True).start()

    def _select_image(self, first):
        """(version or None for BOOTROM, reason)"""
        sc = self.scenario
        if first and sc.bootrom_at_start:
            return None, "BOOTROM at start"
        if self.boot_count + 1 in sc.bootrom_boots:
            return None, "BOOTROM on boot %d" % (self.boot_count + 1)
        check = self.flash.boot_check()
        if not check["bootable"]:
            return None, check["reason"]
        version = check["version"]
        if version == "default":
            version = sc.default_version
        return version, check["reason"]

    def _later(self, seconds, func, *args):
        timer = threading.Timer(seconds, func, args)
        timer.daemon = True
        timer.start()

    # -- ZING -------------------------------------------------------------

    def zing_fault(self, code):
        sc = self.scenario
        with self._lock:
            seen = self._requests[code] = self._requests.get(code, 0) + 1
            if code in sc.drop_reply and seen >= sc.drop_nth and (
                    sc.drop_count <= 0 or self._drops < sc.drop_count):
                self._drops += 1
                return "drop", None
        delay = sc.delay_reply.get(code)
        return None, sc.scaled(delay) if delay else None

    def release_text(self):
        return "".join("%s: %s\r\n" % (key, self.release[key])
                       for key in RELEASE_KEYS if key in self.release)

    def zing_request(self, code, arg, wait):
        """Reply bytes (or None) and an action to run after the reply."""
        if code == 0x04:
            return z.reply_version(self.version_text), None
        if code == 0x0D:
            return None, lambda: self.restart("zing reset")
        if code == 0x13:
            self.journal.write("factory_defaults")
            return z.reply_plain(code), None
        if code in (0x32, 0x33):
            return z.reply_plain(code), None
        if code == 0x90:
            return self._antenna_install(arg, wait)
        if code == 0x92:
            return z.reply_release(self.release_text()), None
        if code == 0x93:
            return z.reply_ib_status(self._ib_progress()), None
        if code == 0x94:
            refused = self.scenario.ib_prepare_refused
            self.journal.write("ib_prepare", accepted=not refused)
            return z.reply_ib_prepare(1 if refused else 0), None
        return None, None

    # -- antenna ----------------------------------------------------------

    def _antenna_install(self, arg, wait):
        parts = [(key, path) for key, path in
                 (("ATB", "/tffs0/atb.sxm"), ("HPA", "/tffs0/hpa.sxm"))
                 if self.flash.exists(path)]
        if arg != 2 or not parts:
            text = "No antenna firmware to install."
            self.journal.write("antenna_install", installed=[])
            return z.reply_antenna(0, text), None
        if not wait(self.scenario.scaled(self.scenario.antenna_install_time)):
            return None, None
        done = []
        for key, path in parts:
            new = self._antenna_version(key, self.flash.read(path))
            if new:
                self.release[key] = new
            self.flash.remove(path)
            done.append("%s %s" % (key, self.release.get(key, "?")))
        self.journal.write("antenna_install", installed=done)
        text = "Antenna firmware installed: %s. Restarting." % ", ".join(done)
        return z.reply_antenna(1, text), (
            lambda: self._later(self.scenario.scaled(0.2), self.restart,
                                "antenna install"))

    def _antenna_version(self, key, data):
        configured = (self.scenario.atb_after_install if key == "ATB"
                      else self.scenario.hpa_after_install)
        if configured:
            return configured
        text = data[:4096].decode("latin-1")
        m = re.search(r"%s\w*?(\w{2})\.sxm" % key, text, re.IGNORECASE)
        if m:
            return m.group(1)
        m = re.search(r"(?i)version\s*[=:]\s*(\w+)", text)
        return m.group(1) if m else None

    # -- IB firmware --------------------------------------------------------

    def _pending_ib(self):
        for name in self.flash.listdir("/tffs0/bin"):
            if name.lower().endswith(".glo"):
                size = len(self.flash.read("/tffs0/bin/" + name))
                return IbFlash(name, max(1, size // 100))
        return None

    def _ib_progress(self):
        with self._lock:
            ib = self.ib
            if ib is None:
                return NO_IB_FLASH
            if ib.done:
                ib.zero_reported.set()
                return 0
            if ib.started is None:
                ib.started = time.monotonic()
            duration = self.scenario.scaled(self.scenario.ib_flash_time)
            elapsed = time.monotonic() - ib.started
            if duration <= 0:
                return ib.blocks
            return min(ib.blocks, max(1, int(ib.blocks * elapsed / duration)))

    def _ib_worker(self, ib, generation):
        sc = self.scenario

        def alive():
            return self.boot_count == generation and self.up

        while ib.started is None:
            if self.shutdown.wait(0.05) or not alive():
                return
        end = ib.started + sc.scaled(sc.ib_flash_time)
        while time.monotonic() < end:
            if self.shutdown.wait(min(0.05, end - time.monotonic())):
                return
            if not alive():
                return
        m = IB_NAME_RE.search(ib.name)
        with self._lock:
            if m:
                new = m.group(1)[:2] + "." + m.group(1)[2:]
                old = self.release.get("IB", "")
                prefix = old[:-5] if len(old) >= 5 and "Unknown" not in old \
                    else "01.00."
                self.release["IB"] = prefix + new
            self.flash.remove("/tffs0/bin/" + ib.name)
            ib.done = True
        self.journal.write("ib_flash_done", file=ib.name, blocks=ib.blocks,
                           ib=self.release.get("IB"))
        ib.zero_reported.wait(sc.scaled(60.0))
        if self.shutdown.wait(sc.scaled(sc.ib_restart_delay)):
            return
        if alive():
            self.restart("IB flash complete")

    # -- PIC ----------------------------------------------------------------

    def pic_data_text(self):
        sc = self.scenario
        if sc.pic_data == "error":
            return "ERROR: PIC not responding\r\n"
        return ("PIC_FW_VER=%s\r\nBATT_PRESENT=%d\r\nDC_PRESENT=1\r\n"
                "PWR_STATE=2\r\nTEMP_C=34\r\n"
                % (self.release.get("PIC", "?"), 1 if sc.battery else 0))

    def pic_reflash(self, session):
        sc = self.scenario
        session.out.append("Starting PIC reflash from /tffs0/pic.s19 ...\r\n")
        session.flush()
        if not self.flash.exists("/tffs0/pic.s19"):
            self.journal.write("pic_reflash", outcome="no pic.s19")
            session.out.append("pic.s19 not found: PIC reflash FAIL\r\n")
            return -1
        half = sc.scaled(sc.pic_reflash_time) / 2
        if session.service.stopping.wait(half):
            return None
        if sc.pic_reflash == "recovery":
            for _ in range(max(1, sc.pic_recovery_repeats)):
                session.out.append(
                    "PIC entered Recovery Mode. Press ENTER to continue.\r\n")
                session.flush()
                line = session.readline()
                self.journal.write("shell", line=line)
        if session.service.stopping.wait(half):
            return None
        if sc.pic_reflash == "fail":
            self.journal.write("pic_reflash", outcome="fail")
            session.out.append("PIC reflash FAIL: verify error at 0x0400\r\n")
            return -1
        new = sc.pic_after_reflash or self._pic_version_from_s19()
        if new:
            self.release["PIC"] = new
        self.journal.write("pic_reflash", outcome="completed",
                           pic=self.release.get("PIC"))
        session.out.append("PIC Reflash Completed\r\n")
        down = None
        if sc.platform == 8:
            down = sc.scaled(sc.power_off_time or 3 * sc.boot_time)
        self._later(sc.scaled(1.0), self.restart, "PIC reflash", down)
        return 0

    def _pic_version_from_s19(self):
        text = self.flash.read("/tffs0/pic.s19").decode("latin-1")
        for line in text.splitlines():
            line = line.strip()
            if line.startswith("S0") and len(line) > 10:
                try:
                    head = bytes.fromhex(line[8:-2]).decode("latin-1")
                except ValueError:
                    continue
                m = re.search(r"(\d+[._]\d+)", head)
                if m:
                    return m.group(1).replace("_", ".")
        m = re.search(r"(?i)version\s*[=:]?\s*(\d+[._]\d+)", text)
        return m.group(1).replace("_", ".") if m else None

    # -- FTP faults -----------------------------------------------------------

    def ftp_transfer_plan(self, transfer, vpath):
        """Faults armed for one RETR / STOR of vpath (decided when the
        command arrives): reset / stall byte offsets, and for STOR the
        full flash (reply code, bytes that fit)."""
        sc = self.scenario
        plan = {"transfer": transfer, "path": vpath, "reset": None,
                "stall": None, "full": None}
        for kind, after, on, trigger in (
                ("reset", sc.ftp_reset_after, sc.ftp_reset_on, sc.ftp_reset),
                ("stall", sc.ftp_stall_after, sc.ftp_stall_on,
                 sc.ftp_stall)):
            if after >= 0 and on.upper() in ("ANY", transfer) \
                    and trigger.arm(vpath):
                plan[kind] = after
        refuse = sc.ftp_refuse.get("STOR")
        if transfer == "STOR" and refuse and sc.ftp_stor_refuse_after >= 0 \
                and refuse[1].take(vpath):
            plan["full"] = (refuse[0], sc.ftp_stor_refuse_after)
        return plan

    def ftp_fault_fired(self, kind):
        trigger = self.scenario.ftp_reset if kind == "reset" \
            else self.scenario.ftp_stall
        trigger.fire()

    def ftp_refusal(self, cmd, *vpaths):
        """Reply code when a fault refuses this command, else None.  A
        STOR that fills the flash part-way is a transfer plan instead."""
        refuse = self.scenario.ftp_refuse.get(cmd)
        if refuse is None:
            return None
        if cmd == "STOR" and self.scenario.ftp_stor_refuse_after >= 0:
            return None
        return refuse[0] if refuse[1].take(*vpaths) else None
