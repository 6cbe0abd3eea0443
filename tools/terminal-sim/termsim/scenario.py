"""Scenario files: what the terminal is, what it holds, how it misbehaves.

A scenario is an INI file with the sections [terminal], [release],
[builds], [flash] and [faults]; every key is optional.  README.md lists
the keys.
"""

import configparser
import os

from .faults import Trigger

TRUE_WORDS = ("1", "yes", "true", "on")


def _bool(text):
    return str(text).strip().lower() in TRUE_WORDS


def _codes(text):
    """'0x04, 0x92' -> {4, 0x92}"""
    out = set()
    for part in str(text).replace(";", ",").split(","):
        part = part.strip()
        if part:
            out.add(int(part, 0))
    return out


def _code_delays(text):
    """'0x92:5, 0x04:1.5' -> {0x92: 5.0, 4: 1.5}"""
    out = {}
    for part in str(text).replace(";", ",").split(","):
        part = part.strip()
        if part:
            code, _, secs = part.partition(":")
            out[int(code, 0)] = float(secs or 0)
    return out


DEFAULT_RELEASE = {
    "PIC": "2.03",
    "IB": "01.00.31.02",
    "ATB": "11",
    "AHW": "03",
    "HPA": "V2",
    "ASN": "A10042317",
    "CLASS": "11",
}

RELEASE_KEYS = ("PIC", "IB", "ATB", "AHW", "HPA", "ASN", "CLASS")

# FTP commands a fault can refuse, with the reply code "yes" stands for
REFUSABLE = {"STOR": 552, "RETR": 451, "DELE": 550, "RNFR": 550,
             "RNTO": 550}
SHELL_SPLITS = ("none", "calls", "lines", "bytes")


def _refuse_code(cmd, text):
    """'552' -> 552, 'yes' -> the command's usual code, 'no' -> None"""
    text = str(text).strip().lower()
    if text in ("", "no", "0", "false", "off"):
        return None
    if text in TRUE_WORDS:
        return REFUSABLE[cmd]
    code = int(text, 10)
    if not 400 <= code <= 599:
        raise ValueError("ftp_%s_refuse: %d is no 4xx/5xx reply"
                         % (cmd.lower(), code))
    return code


def _trigger(section, prefix):
    """The Trigger of keys <prefix>_match, <prefix>_nth, <prefix>_count."""
    get = section.get if section is not None else (lambda _k, d: d)
    return Trigger(get(prefix + "_match", ""),
                   int(str(get(prefix + "_nth", "1")), 0),
                   int(str(get(prefix + "_count", "0")), 0))


class Scenario:
    """Settings of one simulated terminal, with defaults for every key."""

    def __init__(self):
        # identity and software
        self.version = "5.1.0.9"
        self.default_version = "5.1.0.3"
        self.build_date = "Oct 29 2009"
        self.new_build_date = "Dec 14 2009"
        self.builds = {}
        self.fpga = "12"
        self.version_format = "{version} Rel, {date} fpga {fpga}"
        self.bootrom_format = "BOOTROM 1.0.4, {date} fpga {fpga}"
        self.bootrom_date = "Mar 03 2009"
        self.platform = 1
        self.battery = False
        self.bootrom_at_start = False
        self.bootrom_boots = set()   # boots (1 = the first) in BOOTROM
        self.shell_banner = "vxworks"
        # timing, in seconds before scaling
        self.boot_time = 3.0
        self.time_scale = 1.0
        self.antenna_install_time = 2.0
        self.ib_flash_time = 20.0
        self.ib_flash_start = "first_poll"
        self.ib_restart_delay = 2.0
        self.pic_reflash_time = 3.0
        self.power_off_time = 0.0
        # what the firmware installs turn into
        self.atb_after_install = ""
        self.hpa_after_install = ""
        self.pic_after_reflash = ""
        self.pic_data = "ok"
        self.pic_reflash = "completed"
        self.pic_recovery_repeats = 1
        self.release = dict(DEFAULT_RELEASE)
        # flash contents: virtual path -> spec ("text:...", "size:N",
        # "file:PATH"); None means the default layout
        self.flash = None
        self.base_dir = "."
        # faults
        self.drop_reply = set()
        self.drop_count = 0
        self.delay_reply = {}
        self.zing_closed = False
        self.unreachable = False
        self.ftp_login_refused = False
        self.ftp_reset_after = -1
        self.ftp_reset_on = "any"
        self.ftp_reset_count = 0
        self.ftp_reset_restart = False  # the reset is a power cut
        self.ftp_stall_after = -1
        self.ftp_stall_on = "any"
        self.ftp_stall_seconds = 0.0
        self.ftp_stall_count = 0
        self.ib_prepare_refused = False
        self.shell_session_held = False
        # ZING: the Nth request of a drop_reply code is the first dropped
        self.drop_nth = 1
        self.zing_split = 0            # pieces per reply; 0/1 = one send
        self.zing_split_pause = 0.1
        self.shell_split = "none"      # none | calls | lines | bytes
        self.shell_split_bytes = 5
        self.shell_split_pause = 0.1
        # FTP: transfer faults and refused commands, each with a Trigger
        self.ftp_reset = Trigger()
        self.ftp_stall = Trigger()
        self.ftp_refuse = {}           # "STOR" -> (reply code, Trigger)
        self.ftp_stor_refuse_after = -1
        # [ftp]: an older embedded FTP server, RNTO onto an existing file
        self.ftp_strict = False
        self.ftp_classic = False       # [ftp] commands = classic
        self.ftp_rename_existing = "replace"

    # -- derived values -------------------------------------------------

    def build_date_of(self, version, at_start):
        if version in self.builds:
            return self.builds[version]
        return self.build_date if at_start else self.new_build_date

    def scaled(self, seconds):
        return max(0.0, float(seconds) * self.time_scale)


def load(path=None):
    """Read a scenario file; None gives the defaults."""
    sc = Scenario()
    if path is None:
        return sc
    cp = configparser.ConfigParser(delimiters=("=",),
                                   inline_comment_prefixes=(";", "#"),
                                   interpolation=None)
    cp.optionxform = str
    with open(path, encoding="utf-8") as fh:
        cp.read_file(fh)
    sc.base_dir = os.path.dirname(os.path.abspath(path))

    if cp.has_section("terminal"):
        t = cp["terminal"]
        for key in ("version", "default_version", "build_date",
                    "new_build_date", "fpga", "version_format",
                    "bootrom_format", "bootrom_date", "shell_banner",
                    "ib_flash_start", "atb_after_install",
                    "hpa_after_install", "pic_after_reflash", "pic_data",
                    "pic_reflash"):
            if key in t:
                setattr(sc, key, t[key].strip())
        for key in ("boot_time", "time_scale", "antenna_install_time",
                    "ib_flash_time", "ib_restart_delay", "pic_reflash_time",
                    "power_off_time"):
            if key in t:
                setattr(sc, key, float(t[key]))
        for key in ("platform", "pic_recovery_repeats"):
            if key in t:
                setattr(sc, key, int(t[key], 0))
        for key in ("battery", "bootrom_at_start"):
            if key in t:
                setattr(sc, key, _bool(t[key]))

    if cp.has_section("release"):
        for key, value in cp["release"].items():
            ukey = key.upper()
            if ukey not in RELEASE_KEYS:
                raise ValueError("unknown release key %r" % key)
            if value.strip() == "-":
                sc.release.pop(ukey, None)   # the terminal omits this line
            else:
                sc.release[ukey] = value.strip()

    if cp.has_section("builds"):
        sc.builds = {k.strip(): v.strip() for k, v in cp["builds"].items()}

    if cp.has_section("flash"):
        sc.flash = {}
        for key, value in cp["flash"].items():
            sc.flash["/" + key.strip().lstrip("/")] = value.strip()

    if cp.has_section("faults"):
        f = cp["faults"]
        if "drop_reply" in f:
            sc.drop_reply = _codes(f["drop_reply"])
        if "delay_reply" in f:
            sc.delay_reply = _code_delays(f["delay_reply"])
        for key in ("drop_count", "ftp_reset_after", "ftp_reset_count",
                    "ftp_stall_after", "ftp_stall_count"):
            if key in f:
                setattr(sc, key, int(f[key], 0))
        for key in ("ftp_reset_on", "ftp_stall_on"):
            if key in f:
                setattr(sc, key, f[key].strip().upper())
        if "ftp_stall_seconds" in f:
            sc.ftp_stall_seconds = float(f["ftp_stall_seconds"])
        sc.zing_closed = f.get("zing", "open").strip().lower() == "closed"
        sc.unreachable = _bool(f.get("unreachable", "no"))
        sc.ftp_login_refused = (
            f.get("ftp_login", "accept").strip().lower() == "refuse")
        sc.ib_prepare_refused = (
            f.get("ib_prepare", "accept").strip().lower() == "refuse")
        sc.shell_session_held = _bool(f.get("shell_session_held", "no"))
        sc.ftp_reset_restart = _bool(f.get("ftp_reset_restart", "no"))
        for key in ("drop_nth", "zing_split", "ftp_stor_refuse_after",
                    "shell_split_bytes"):
            if key in f:
                setattr(sc, key, int(f[key], 0))
        for key in ("zing_split_pause", "shell_split_pause"):
            if key in f:
                setattr(sc, key, float(f[key]))
        if "shell_split" in f:
            sc.shell_split = f["shell_split"].strip().lower()
        if "bootrom_boots" in f:
            sc.bootrom_boots = {int(n, 0) for n in f["bootrom_boots"].split(",")
                                if n.strip()}
        sc.ftp_reset = _trigger(f, "ftp_reset")
        sc.ftp_stall = _trigger(f, "ftp_stall")
        for cmd in REFUSABLE:
            key = "ftp_%s_refuse" % cmd.lower()
            code = _refuse_code(cmd, f.get(key, "no"))
            if code is not None:
                sc.ftp_refuse[cmd] = (code, _trigger(f, key))

    if cp.has_section("ftp"):
        g = cp["ftp"]
        sc.ftp_strict = _bool(g.get("strict", "no"))
        commands = g.get("commands", "full").strip().lower()
        if commands not in ("full", "classic"):
            raise ValueError("[ftp] commands must be full or classic")
        sc.ftp_classic = commands == "classic"
        sc.ftp_rename_existing = g.get("rename_existing",
                                       "replace").strip().lower()

    if sc.shell_banner not in ("vxworks", "bsp2a", "bsp2c", "none"):
        raise ValueError("shell_banner must be vxworks, bsp2a, bsp2c or none")
    if sc.pic_reflash not in ("completed", "fail", "recovery"):
        raise ValueError("pic_reflash must be completed, fail or recovery")
    if sc.ib_flash_start not in ("first_poll", "boot"):
        raise ValueError("ib_flash_start must be first_poll or boot")
    if sc.shell_split not in SHELL_SPLITS:
        raise ValueError("shell_split must be none, calls, lines or bytes")
    if sc.ftp_rename_existing not in ("replace", "refuse"):
        raise ValueError("[ftp] rename_existing must be replace or refuse")
    return sc
