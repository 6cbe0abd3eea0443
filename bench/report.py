#!/usr/bin/python3
"""Runs the benchmarks and prints their figures as one markdown table.

Each figure is run a few rounds and its median shown; where a reference is
measured in the same run (the curl command line, the timer with no
transfer, the idle memory, a plain loop) the figure is also shown as a ratio
against it. Everything runs on loopback; every server started here stops by
itself (on SIGTERM, on the death of this process, or after its lifetime).

  report.py --build BUILD [--rounds 3] [--only ftp,ticks,rss,upgrade,engine]
"""

import argparse
import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
SIM = os.path.join(SOURCE, "tools", "terminal-sim", "terminal_sim.py")
SCENARIO = os.path.join(SOURCE, "tools", "terminal-sim", "scenarios", "sample.ini")
# The terminals of the upgrade's CPU figure, one per round; no other test
# or script uses 127.0.5.x.
UPGRADE_ADDRESSES = ["127.0.5.%d" % n for n in range(1, 21)]
UPGRADE_SCALE = 0.1
MB = 1024 * 1024
# The size of the throughput figures' file, in MB.
FTP_MB = 1024


def log(text):
    print("bench: " + text, file=sys.stderr, flush=True)


def run_json(args, timeout):
    """Runs a bench program; its measurements by key, in order."""
    log(" ".join(os.path.basename(a) if i == 0 else a for i, a in enumerate(args)))
    r = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                       timeout=timeout, check=False)
    if r.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (args[0], r.returncode, r.stderr.strip()))
    values = {}
    for line in r.stdout.splitlines():
        o = json.loads(line)
        values.setdefault(o["key"], []).append(o["value"])
    return values


def median(values, key):
    return statistics.median(values[key])


def median_ratio(values, key, reference):
    return statistics.median(a / b for a, b in zip(values[key], values[reference]))


# ------------------------------------------------------------ the upgrade


def upgrade_cpu(program, address, work):
    """One time-scaled upgrade of all four items against a fresh simulated
    terminal: the upgrader's user + system CPU seconds, its wall time and
    the terminal's CPU seconds."""
    release = os.path.join(work, "release")
    subprocess.run([os.path.join(SOURCE, "scripts", "make-sample-release"), release],
                   check=True, stdout=subprocess.DEVNULL)
    sim = subprocess.Popen(["/usr/bin/python3", SIM, "--address", address, "--scenario",
                            SCENARIO, "--flash", os.path.join(work, "flash"), "--journal",
                            os.path.join(work, "journal.jsonl"), "--time-scale",
                            str(UPGRADE_SCALE)],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        if sim.stdout.readline().strip() != b"READY":
            raise RuntimeError("the simulated terminal on %s did not start (ports 21 and 23 "
                               "need root or a low ip_unprivileged_port_start)" % address)
        env = dict(os.environ, ORVEX_TIME_SCALE=str(UPGRADE_SCALE), ORVEX_LOOPBACK_ONLY="1",
                   HOME=work)
        env.pop("ORVEX_MODEM_ADDRESS", None)
        out_path = os.path.join(work, "out.jsonl")
        with open(out_path, "w") as out:
            start = time.monotonic()
            proc = subprocess.Popen([program, "--address", address, "--release", release,
                                     "--yes", "--json", "upgrade", "all"],
                                    env=env, stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=subprocess.DEVNULL)
            # The upgrader's own usage, not the terminal's.
            _, status, usage = os.wait4(proc.pid, 0)
            wall = time.monotonic() - start
            proc.returncode = os.waitstatus_to_exitcode(status)
        with open(out_path) as fh:
            events = [json.loads(line) for line in fh if line.strip()]
        items = {e["name"]: e["result"] for e in events if e.get("event") == "item"}
        if proc.returncode != 0 or sorted(items) != ["antenna", "ib", "pic", "software"] \
                or set(items.values()) != {"done"}:
            raise RuntimeError("the upgrade did not finish: exit %d, items %s"
                               % (proc.returncode, items))
        sim_cpu = cpu_of(sim.pid)
        return usage.ru_utime + usage.ru_stime, wall, sim_cpu
    finally:
        sim.send_signal(signal.SIGTERM)
        try:
            sim.wait(10)
        except subprocess.TimeoutExpired:
            sim.kill()
            sim.wait(5)


def cpu_of(pid):
    with open("/proc/%d/stat" % pid) as fh:
        fields = fh.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def run_upgrades(program, rounds):
    values = {"upgrade_cpu_s": [], "upgrade_wall_s": [], "upgrade_sim_cpu_s": []}
    for r in range(rounds):
        log("orvex-upgrade --yes upgrade all against %s (round %d)"
            % (UPGRADE_ADDRESSES[r % len(UPGRADE_ADDRESSES)], r + 1))
        work = tempfile.mkdtemp(prefix="orvex-bench-upgrade-")
        try:
            cpu, wall, sim = upgrade_cpu(program, UPGRADE_ADDRESSES[r % len(UPGRADE_ADDRESSES)],
                                         work)
        finally:
            shutil.rmtree(work, ignore_errors=True)
        values["upgrade_cpu_s"].append(cpu)
        values["upgrade_wall_s"].append(wall)
        values["upgrade_sim_cpu_s"].append(sim)
    return values


# ---------------------------------------------------------- the table


def yes(ok):
    return "yes" if ok else "**no**"


def ms(seconds):
    return "%.1f ms" % (seconds * 1000)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", required=True)
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--only", default="ftp,ticks,rss,upgrade,engine")
    args = ap.parse_args()
    only = set(args.only.split(","))
    rounds = str(max(1, args.rounds))
    ftp_bench = os.path.join(args.build, "bench", "ftp_bench")
    engine_bench = os.path.join(args.build, "bench", "engine_bench")
    started = time.monotonic()

    rows, notes = [], []
    if "ftp" in only:
        # Two reference servers: the tests' own in Python, which spends about
        # as much CPU as a transfer lasts and so may set the pace, and
        # Debian's vsftpd, written in C, which does not.
        for server, served in (("python", "pyftpdlib"), ("vsftpd", "vsftpd")):
            v = run_json([ftp_bench, "--mode", "throughput", "--server", server, "--mb",
                          str(FTP_MB), "--rounds", rounds], 1800)
            for verb, name in (("put", "PUT"), ("get", "GET")):
                ratio = median_ratio(v, verb + "_ours_s", verb + "_curl_s")
                rows.append(("FTP %s 1 GB to %s, time through the adapter / curl command line"
                             % (name, served),
                             "%.2f s = **%.2f** × ref" % (median(v, verb + "_ours_s"), ratio),
                             "%.2f s (curl)" % median(v, verb + "_curl_s"),
                             "≤ 0.77 × ref", yes(ratio <= 0.77)))
                notes.append("%s 1 GB to %s, CPU per transfer (median): FTP server %.2f s "
                             "with the adapter, %.2f s with curl; client %.2f s (adapter, "
                             "whole process) and %.2f s (curl)" % (
                                 name, served, median(v, verb + "_ours_server_cpu_s"),
                                 median(v, verb + "_curl_server_cpu_s"),
                                 median(v, verb + "_ours_client_cpu_s"),
                                 median(v, verb + "_curl_client_cpu_s")))
    if "ticks" in only:
        v = run_json([ftp_bench, "--mode", "ticks", "--mb", "200", "--rounds", rounds], 1800)
        idle = median(v, "ticks_idle_s")
        for key, what in (("ticks_put_s", "during a 200 MB PUT"),
                          ("ticks_hold_s", "during a PUT whose 226 is held back 3 s")):
            gap = median(v, key)
            rows.append(("Longest gap between 1 ms timer ticks on the GUI thread, " + what,
                         "%s = %.1f × ref" % (ms(gap), median_ratio(v, key, "ticks_idle_s")),
                         "%s (no transfer)" % ms(idle), "< 16 ms", yes(gap < 0.016)))
        notes.append("the PUT with the held-back 226 took %.2f s (median)"
                     % median(v, "hold_put_s"))
    if "rss" in only:
        v = run_json([ftp_bench, "--mode", "rss", "--mb", "1024", "--rounds", rounds], 3600)
        for verb, name in (("put", "PUT"), ("get", "GET")):
            growth = median(v, "rss_%s_peak_growth_bytes" % verb)
            idle = median(v, "rss_%s_idle_bytes" % verb)
            rows.append(("Peak RSS growth during a 1 GB %s" % name,
                         "%.1f MB = %.2f × ref" % (growth / MB, growth / idle),
                         "%.1f MB (idle RSS)" % (idle / MB), "< 64 MB", yes(growth < 64 * MB)))
            notes.append("1 GB %s took %.1f s (median)" % (name, median(v, "rss_%s_s" % verb)))
    if "upgrade" in only:
        v = run_upgrades(os.path.join(args.build, "orvex-upgrade"), int(rounds))
        cpu = median(v, "upgrade_cpu_s")
        wall = median(v, "upgrade_wall_s")
        rows.append(("Upgrader CPU (user + sys), four-item upgrade at time scale %g"
                     % UPGRADE_SCALE,
                     "%.2f s = %.1f %% of wall" % (cpu, 100 * cpu / wall),
                     "— (wall %.1f s)" % wall, "< 1 s", yes(cpu < 1.0)))
        notes.append("the simulated terminal's own CPU over the upgrade: %.2f s (median)"
                     % median(v, "upgrade_sim_cpu_s"))
    if "engine" in only:
        v = run_json([engine_bench, "--rounds", rounds], 600)
        t = median(v, "log_ours_s")
        rows.append(("%d log lines, each file opened, appended, closed" % v["log_lines"][0],
                     "%s = %.2f × ref" % (ms(t), median_ratio(v, "log_ours_s", "log_plain_s")),
                     "%s (plain fopen/fwrite/fclose loop)" % ms(median(v, "log_plain_s")),
                     "< 1 s", yes(t < 1.0)))
        for key, how in (("listing_off_s", "log off"), ("listing_on_s", "log as shipped")):
            t = median(v, key)
            rows.append(("%d-name \"LS \" listing read, deletion rule decided (%s)"
                         % (v["listing_names"][0], how),
                         "%s = %.0f × ref" % (ms(t), median_ratio(v, key, "listing_plain_s")),
                         "%s (plain split and match)" % ms(median(v, "listing_plain_s")),
                         "< 20 ms", yes(t < 0.020)))
        notes.append("the listing's rule deletes %d images, each Delete answered at once by "
                     "the fake terminal, so the listing rows count our side only, Deletes "
                     "included; the reading of the listing alone takes %s with the log off "
                     "and %s with the log as shipped"
                     % (v["listing_deletes"][0], ms(median(v, "listing_read_off_s")),
                        ms(median(v, "listing_read_on_s"))))

    print("| figure | ours | reference | target | met |")
    print("|---|---|---|---|---|")
    for row in rows:
        print("| " + " | ".join(row) + " |")
    print()
    print("Medians of %s rounds; %s." % (rounds, "; ".join(notes)))
    log("done in %.0f s" % (time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main())
