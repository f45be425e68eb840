#!/usr/bin/env python3
"""Drives the real program over SCPI with pyvisa, as a bench user's script does.

    remote_client_test.py PATH/TO/lumatrace

Starts `lumatrace --headless --remote 127.0.0.1:<free port>` on the virtual
instrument with its own APPDATA, HOME and XDG_RUNTIME_DIR, then: *IDN?, sets
T/div and V/div and reads them back, takes a Single record, waits with
*OPC?, reads the preamble and the record as a WORD block with
query_binary_values, and checks the virtual instrument's default sine (1 kHz,
2 V peak to peak on CH1) from the samples and the preamble alone. The program
is stopped at the end whatever happens; --quit-after is the safety net.
"""

import math
import os
import socket
import subprocess
import sys
import tempfile
import time

import pyvisa

NO_SAMPLE = 0xFFFF
EXPECTED_VPP = 2.0
EXPECTED_HZ = 1000.0


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_server(proc, port, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if proc.poll() is not None:
            raise RuntimeError(f"lumatrace ended early with {proc.returncode}")
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return
        except OSError:
            time.sleep(0.2)
    raise RuntimeError(f"nothing listens on port {port} after {seconds} s")


def check(condition, what):
    if not condition:
        raise AssertionError(what)
    print("ok:", what)


def no_errors(scope):
    entry = scope.query(":SYSTem:ERRor?")
    check(entry.startswith("0,"), f"error queue empty ({entry})")


def rising_crossings(volts, level, hysteresis):
    """Interpolated sample positions where the signal rises through `level`,
    armed only after it has been below level - hysteresis."""
    out = []
    armed = False
    for i in range(1, len(volts)):
        a, b = volts[i - 1], volts[i]
        if a < level - hysteresis:
            armed = True
        if armed and a < level <= b:
            out.append(i - 1 + (level - a) / (b - a))
            armed = False
    return out


def run(scope):
    idn = scope.query("*IDN?").split(",")
    check(len(idn) == 4 and idn[:2] == ["ORVEX", "ZEP-9100"], f"*IDN? names maker and model ({idn})")
    check(idn[3] != "" and idn[3] != "0", f"*IDN? gives the program version ({idn[3]})")

    scope.write("*CLS")
    scope.write(":TIMebase:SCALe 500us")
    scope.write(":CHANnel1:DISPlay ON;SCALe 1V")
    check(math.isclose(float(scope.query(":TIM:SCAL?")), 500e-6), "T/div reads back 500 us")
    check(math.isclose(float(scope.query(":CHAN1:SCAL?")), 1.0), "V/div reads back 1 V")
    no_errors(scope)

    scope.write(":SINGle")
    check(scope.query("*OPC?").strip() == "1", "*OPC? answers once the Single record is in")
    check(scope.query(":TRIGger:STATus?").strip() == "STOP", "the Single run has stopped")

    scope.write(":WAVeform:SOURce CH1;FORMat WORD")
    fields = scope.query(":WAVeform:PREamble?").split(",")
    check(len(fields) == 7 and fields[0] == "1", f"preamble of a WORD record ({fields})")
    points = int(fields[1])
    x_increment, x_origin = float(fields[2]), float(fields[3])
    y_increment, y_origin = float(fields[4]), float(fields[5])
    check(math.isclose(y_increment, 10.0 / 1024), f"1 V/div is {y_increment} V per code")
    check(math.isclose(points * x_increment, 10 * 500e-6, rel_tol=1e-6),
          f"{points} samples span ten divisions of 500 us")
    check(x_origin < 0 and -x_origin < points * x_increment, f"trigger inside the record ({x_origin})")

    codes = scope.query_binary_values(":WAVeform:DATA?", datatype="H", is_big_endian=False)
    check(len(codes) == points, f"the block holds {len(codes)} of {points} samples")
    check(NO_SAMPLE not in codes, "no missing samples in a completed Single record")
    check(all(0 <= c <= 1023 for c in codes), "codes are ten-bit")
    volts = [(c - y_origin) * y_increment for c in codes]

    vpp = max(volts) - min(volts)
    check(abs(vpp - EXPECTED_VPP) <= 0.05 * EXPECTED_VPP, f"peak to peak {vpp:.3f} V")
    mid = (max(volts) + min(volts)) / 2
    crossings = rising_crossings(volts, mid, vpp / 10)
    check(len(crossings) >= 3, f"{len(crossings)} rising edges in the record")
    period = (crossings[-1] - crossings[0]) / (len(crossings) - 1) * x_increment
    frequency = 1.0 / period
    check(abs(frequency - EXPECTED_HZ) <= 0.01 * EXPECTED_HZ, f"frequency {frequency:.2f} Hz")

    measured = float(scope.query(":MEASure:FREQuency? CH1"))
    check(abs(measured - frequency) <= 0.01 * frequency,
          f"the measurement engine agrees ({measured:.2f} Hz)")
    no_errors(scope)


def main():
    program = sys.argv[1]
    port = free_port()
    with tempfile.TemporaryDirectory(prefix="lumatrace-remote-") as root:
        env = dict(os.environ)
        for name in ("APPDATA", "HOME", "XDG_RUNTIME_DIR"):
            path = os.path.join(root, name.lower())
            os.mkdir(path, 0o700)
            env[name] = path
        env.pop("QT_QPA_PLATFORM", None)  # --headless chooses the off-screen platform itself
        proc = subprocess.Popen(
            [program, "--headless", "--remote", f"127.0.0.1:{port}", "--quit-after", "100"],
            env=env)
        try:
            wait_for_server(proc, port, 60)
            rm = pyvisa.ResourceManager("@py")
            scope = rm.open_resource(f"TCPIP0::127.0.0.1::{port}::SOCKET",
                                     read_termination="\n", write_termination="\n",
                                     timeout=30000)
            try:
                run(scope)
            finally:
                scope.close()
                rm.close()
            check(proc.poll() is None, "the program still runs after the client left")
        finally:
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(timeout=20)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
    print("remote client test passed")


if __name__ == "__main__":
    main()
