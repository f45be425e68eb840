#!/usr/bin/env python3
"""Capture one record from Lumatrace over its SCPI interface and plot it.

Needs pyvisa with the pure-Python backend and matplotlib
(Debian: python3-pyvisa python3-pyvisa-py python3-matplotlib).

    python3 capture.py                      # 127.0.0.1:5025, CH1, show the plot
    python3 capture.py --port 6000 --source CH2 --out capture.png

The script sets the time base and the channel's scale, takes a Single
record, waits for it with *OPC?, reads the preamble and the record as a
WORD block, turns codes into volts (missing samples become NaN) and prints
the peak-to-peak voltage and the frequency it sees before plotting.
"""

import argparse
import sys

import numpy as np
import pyvisa

NO_SAMPLE = 0xFFFF


def connect(host, port):
    rm = pyvisa.ResourceManager("@py")
    scope = rm.open_resource(
        f"TCPIP0::{host}::{port}::SOCKET",
        read_termination="\n",
        write_termination="\n",
        timeout=20000,
    )
    return scope


def check_errors(scope):
    """Reads the error queue empty; raises if anything was queued."""
    errors = []
    while True:
        entry = scope.query(":SYSTem:ERRor?")
        if entry.startswith("0,"):
            break
        errors.append(entry)
    if errors:
        raise RuntimeError("instrument reported: " + "; ".join(errors))


def capture(scope, source, time_per_div, volts_per_div):
    scope.write("*CLS")
    scope.write(f":TIMebase:SCALe {time_per_div}")
    if source.startswith("CH"):
        scope.write(f":CHANnel{source[2]}:DISPlay ON;SCALe {volts_per_div}")
    scope.write(":SINGle")
    scope.query("*OPC?")  # answers once the Single record is complete
    scope.write(f":WAVeform:SOURce {source};FORMat WORD")
    fields = scope.query(":WAVeform:PREamble?").split(",")
    points = int(fields[1])
    x_increment, x_origin = float(fields[2]), float(fields[3])
    y_increment, y_origin = float(fields[4]), float(fields[5])
    codes = scope.query_binary_values(
        ":WAVeform:DATA?", datatype="H", is_big_endian=False, container=np.array
    )
    check_errors(scope)
    if len(codes) != points:
        raise RuntimeError(f"preamble says {points} points, block holds {len(codes)}")
    volts = np.where(codes == NO_SAMPLE, np.nan, (codes.astype(float) - y_origin) * y_increment)
    times = x_origin + np.arange(points) * x_increment
    return times, volts


def frequency(times, volts):
    """Rising crossings of the mean, with a little hysteresis against noise."""
    valid = ~np.isnan(volts)
    if valid.sum() < 3:
        return float("nan")
    v, t = volts[valid], times[valid]
    mean = v.mean()
    band = (v.max() - v.min()) * 0.1
    crossings, armed = [], False
    for i in range(1, len(v)):
        if v[i] < mean - band:
            armed = True
        elif armed and v[i - 1] < mean <= v[i]:
            crossings.append(t[i])
            armed = False
    if len(crossings) < 2:
        return float("nan")
    return (len(crossings) - 1) / (crossings[-1] - crossings[0])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=5025)
    parser.add_argument("--source", default="CH1", choices=["CH1", "CH2", "MATH"])
    parser.add_argument("--tdiv", type=float, default=1e-3, help="seconds per division")
    parser.add_argument("--vdiv", type=float, default=0.5, help="volts per division")
    parser.add_argument("--out", help="save the plot to this file instead of showing it")
    args = parser.parse_args()

    scope = connect(args.host, args.port)
    try:
        print(scope.query("*IDN?"))
        times, volts = capture(scope, args.source, args.tdiv, args.vdiv)
    finally:
        scope.close()

    vpp = np.nanmax(volts) - np.nanmin(volts)
    print(
        f"{args.source}: {len(volts)} points, {np.isnan(volts).sum()} missing, "
        f"Vpp {vpp:.3f} V, frequency {frequency(times, volts):.1f} Hz"
    )

    import matplotlib

    if args.out:
        matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, ax = plt.subplots(figsize=(10, 4))
    ax.plot(times * 1e3, volts, linewidth=0.8)
    ax.axvline(0.0, color="grey", linewidth=0.5)  # the trigger
    ax.set_xlabel("time from trigger (ms)")
    ax.set_ylabel(f"{args.source} (V)")
    ax.grid(True, linewidth=0.3)
    fig.tight_layout()
    if args.out:
        fig.savefig(args.out, dpi=100)
        print(f"plot saved to {args.out}")
    else:
        plt.show()
    return 0


if __name__ == "__main__":
    sys.exit(main())
