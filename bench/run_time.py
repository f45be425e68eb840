#!/usr/bin/python3
"""The program at run time: Auto on the virtual instrument, and what it costs.

Starts the built program offscreen with its own settings folder, home and
runtime folder, sets the record length over its remote control, runs Auto and
then, for a number of seconds, reads

  - records taken in and frames drawn, from the counts the program prints every
    second when LUMATRACE_RUN_COUNTS is set;
  - the CPU time of each of its threads, from /proc/<pid>/task/*/stat, split by
    thread name: threads named "vi-..." are the virtual instrument's (the
    instrument, its USB bus and the host kernel model around the driver),
    every other thread is the program's own (the window's thread, Qt's helper
    threads, the spectrum worker, the device library's reader).

CPU figures are seconds of CPU per second of wall time (1.0 = one core busy);
the program's own share is what the target "a light program" is about. The
wall-clock rates depend on how busy the machine is; run several repetitions
and compare the lowest CPU figures.

    bench/run_time.py build/bin/lumatrace [--seconds 10] [--points 10000,1000000]
                      [--repetitions 3] [--threads]
"""

import argparse
import os
import queue
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

COUNTS = re.compile(rb"run counts: records (\d+) frames (\d+)")
REMOTE = re.compile(rb"remote control on \S+ port (\d+)")
TICKS = os.sysconf("SC_CLK_TCK")


def thread_times(pid):
    """CPU seconds per thread id: (name, seconds)."""
    out = {}
    base = f"/proc/{pid}/task"
    try:
        tids = os.listdir(base)
    except FileNotFoundError:
        return out
    for tid in tids:
        try:
            with open(f"{base}/{tid}/stat", "rb") as f:
                stat = f.read()
        except (FileNotFoundError, ProcessLookupError):
            continue
        # The name sits in parentheses and may itself hold spaces or ')'.
        open_ = stat.index(b"(")
        close = stat.rindex(b")")
        name = stat[open_ + 1:close].decode(errors="replace")
        fields = stat[close + 2:].split()
        utime, stime = int(fields[11]), int(fields[12])
        out[tid] = (name, (utime + stime) / TICKS)
    return out


def is_instrument(name):
    return name.startswith("vi-")


class Remote:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=60)
        self.buffer = b""

    def send(self, command):
        self.sock.sendall(command.encode() + b"\n")

    def query(self, command):
        self.send(command)
        while b"\n" not in self.buffer:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise RuntimeError("remote control closed the connection")
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return line.decode().strip()

    def close(self):
        self.sock.close()


def reader(stream, lines):
    for line in iter(stream.readline, b""):
        lines.put((time.monotonic(), line))
    lines.put((time.monotonic(), None))


def wait_for(lines, pattern, timeout, log):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        try:
            _, line = lines.get(timeout=end - time.monotonic())
        except queue.Empty:
            break
        if line is None:
            raise RuntimeError("the program ended:\n" + b"".join(log).decode(errors="replace"))
        log.append(line)
        m = pattern.search(line)
        if m:
            return m
    raise RuntimeError("timed out waiting for " + pattern.pattern.decode())


def run_once(program, points, seconds, warmup):
    root = tempfile.mkdtemp(prefix="lumatrace-runtime-")
    try:
        appdata = os.path.join(root, "appdata")
        os.makedirs(os.path.join(appdata, "ORVEX", "ZEP-9100"))
        os.makedirs(os.path.join(root, "home"))
        os.makedirs(os.path.join(root, "runtime"), mode=0o700)
        env = dict(os.environ)
        env.update({
            "APPDATA": appdata,
            "HOME": os.path.join(root, "home"),
            "XDG_RUNTIME_DIR": os.path.join(root, "runtime"),
            "QT_QPA_PLATFORM": "offscreen",
            "ZEP9100_VIRTUAL": "seed = 1",
            "LUMATRACE_RUN_COUNTS": "1",
        })
        for name in ("DISPLAY", "WAYLAND_DISPLAY"):
            env.pop(name, None)
        process = subprocess.Popen([program, "--remote", "127.0.0.1:0"], cwd=root, env=env,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.PIPE)
        lines = queue.Queue()
        threading.Thread(target=reader, args=(process.stderr, lines), daemon=True).start()
        log = []
        try:
            port = int(wait_for(lines, REMOTE, 60, log).group(1))
            wait_for(lines, COUNTS, 60, log)  # the window is up and its loop runs
            remote = Remote(port)
            # *OPC? answers once the window has handled what came before it.
            if points != 10000:
                remote.send(f":ACQ:POIN {points}")
            remote.query("*OPC?")
            answered = remote.query(":ACQ:POIN?")
            if int(float(answered)) != points:
                raise RuntimeError(f"the record length is {answered}, not {points}")
            remote.send(":AUTO")
            remote.query("*OPC?")
            start = time.monotonic() + warmup
            samples = []  # (time, records, frames, thread times)
            while True:
                stamp, line = lines.get(timeout=30)
                if line is None:
                    raise RuntimeError("the program ended during the run")
                m = COUNTS.search(line)
                if not m:
                    log.append(line)
                    continue
                snapshot = thread_times(process.pid)
                if stamp < start:
                    continue
                samples.append((stamp, int(m.group(1)), int(m.group(2)), snapshot))
                if len(samples) > 1 and samples[-1][0] - samples[0][0] >= seconds:
                    break
            status = remote.query(":TRIG:STAT?")
            remote.send(":STOP")
            remote.query("*OPC?")
            remote.close()
        finally:
            process.terminate()
            try:
                process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        (t0, r0, f0, c0), (t1, r1, f1, c1) = samples[0], samples[-1]
        wall = t1 - t0
        per_name = {}
        for tid, (name, cpu) in c1.items():
            before = c0.get(tid, (name, 0.0))[1]
            per_name[name] = per_name.get(name, 0.0) + (cpu - before) / wall
        return {
            "points": points,
            "wall": wall,
            "records": (r1 - r0) / wall,
            "frames": (f1 - f0) / wall,
            "program": sum(v for n, v in per_name.items() if not is_instrument(n)),
            "instrument": sum(v for n, v in per_name.items() if is_instrument(n)),
            "threads": per_name,
            "status": status,
        }
    finally:
        shutil.rmtree(root, ignore_errors=True)


def per_record(r):
    """The program's CPU milliseconds per record: how fast records come depends on how busy the
    machine is, what each costs much less."""
    return 1000.0 * r["program"] / r["records"] if r["records"] else float("nan")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("program", help="the built lumatrace")
    parser.add_argument("--seconds", type=float, default=10.0, help="measured run (10)")
    parser.add_argument("--warmup", type=float, default=2.0, help="run before measuring (2)")
    parser.add_argument("--points", default="10000,1000000", help="record lengths")
    parser.add_argument("--repetitions", type=int, default=3)
    parser.add_argument("--threads", action="store_true", help="show each thread's share")
    args = parser.parse_args()

    print(f"{'points':>8} {'rep':>3} {'records/s':>10} {'frames/s':>9} "
          f"{'program CPU':>12} {'instrument CPU':>15} {'program ms/record':>18}"
          "  (CPU seconds per second)")
    for points in (int(p) for p in args.points.split(",")):
        results = []
        for rep in range(args.repetitions):
            r = run_once(os.path.abspath(args.program), points, args.seconds, args.warmup)
            results.append(r)
            print(f"{points:>8} {rep + 1:>3} {r['records']:>10.1f} {r['frames']:>9.1f} "
                  f"{r['program']:>12.3f} {r['instrument']:>15.3f} "
                  f"{per_record(r):>18.3f}  [{r['status']}]")
            if args.threads:
                for name, share in sorted(r["threads"].items(), key=lambda kv: -kv[1]):
                    if share >= 0.0005:
                        print(f"{'':>14}{name:<18}{share:>8.3f}")
            sys.stdout.flush()
        best = min(results, key=lambda r: r["program"])
        print(f"{points:>8} min {best['records']:>10.1f} {best['frames']:>9.1f} "
              f"{best['program']:>12.3f} {best['instrument']:>15.3f} "
              f"{per_record(best):>18.3f}  (lowest program CPU)")


if __name__ == "__main__":
    main()
