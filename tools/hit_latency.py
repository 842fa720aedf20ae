#!/usr/bin/env python3
"""Times a program from a frame's arrival to its hit at a TCP client, black-box.

Starts each given tessary program on a named pipe (--camera raw:FIFO), logs in,
makes one full-frame zone (or a 40 x 30 grid with --grid), then writes frames
at the given rate: a still picture, and every tenth frame its inverse, so that
exactly one frame in ten moves. The latency of one change runs from the end of
its write to the first hit message on the client's socket. Programs are run in
turn, round after round, so that they share the machine's state.

    tools/hit_latency.py [--fps 15] [--changes 40] [--grid] PROGRAM [PROGRAM ...]
"""
import argparse
import os
import re
import select
import socket
import statistics
import subprocess
import sys
import tempfile
import time

FRAME_BYTES = 160 * 120 * 4


def checkerboard(phase):
    row = bytearray()
    out = bytearray()
    for y in range(120):
        row.clear()
        for x in range(160):
            level = 220 if (x + y + phase) % 2 == 0 else 20
            row += bytes((level, level, level, 0))
        out += row
    return bytes(out)


class Run:
    def __init__(self, program, folder, grid):
        self.fifo = os.path.join(folder, "camera")
        code_file = os.path.join(folder, "code")
        if not os.path.exists(self.fifo):
            os.mkfifo(self.fifo)
        subprocess.run([program, "--code-file", code_file, "--set-code"], input=b"probe\n",
                       check=True, capture_output=True)
        # A runtime folder of its own, so that its single-instance lock lets
        # the other programs run beside it.
        environment = dict(os.environ, XDG_RUNTIME_DIR=folder)
        self.process = subprocess.Popen(
            [program, "--camera", "raw:" + self.fifo, "--port", "0", "--web-port", "off",
             "--headless", "--code-file", code_file],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=environment)
        self.camera = None
        self.client = None
        line = self.process.stdout.readline().decode()
        listening = re.search(r"listening on port (\d+)", line)
        if not listening:
            self.process.kill()
            raise SystemExit(f"{program} did not start: {self.process.stderr.read().decode().strip()}")
        port = int(listening.group(1))
        self.client = socket.create_connection(("127.0.0.1", port))
        self.client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        zone = "grid(cell,0,0,160,120,40,30)" if grid else "add(whole,0,0,160,120)"
        self.client.sendall(("set_data_type(commands);login(probe);display_size(160,120);"
                             + zone + ";").encode())
        self.pending = b""
        # Capture starts with the client's first zone; only then is the pipe
        # opened at the other end.
        self.camera = open(self.fifo, "wb", buffering=0)

    def hits_waiting(self, timeout):
        """The hit messages that arrive within `timeout` seconds."""
        hits = 0
        end = time.monotonic() + timeout
        while True:
            left = end - time.monotonic()
            if left <= 0 or not select.select([self.client], [], [], left)[0]:
                return hits
            data = self.client.recv(65536)
            if not data:
                return hits
            self.pending += data
            *messages, self.pending = self.pending.split(b"\0")
            hits += sum(1 for m in messages if b".hit()" in m)
            if hits:
                return hits

    def close(self):
        if self.camera:
            self.camera.close()
        if self.client:
            self.client.close()
        self.process.terminate()
        self.process.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--fps", type=float, default=15.0)
    parser.add_argument("--changes", type=int, default=40)
    parser.add_argument("--grid", action="store_true")
    parser.add_argument("programs", nargs="+")
    args = parser.parse_args()
    frames = (checkerboard(0), checkerboard(1))
    period = 1.0 / args.fps
    latencies = {program: [] for program in args.programs}
    with tempfile.TemporaryDirectory() as folder:
        for program in args.programs:
            os.makedirs(os.path.join(folder, str(args.programs.index(program))), exist_ok=True)
        runs = {}
        try:
            for index, program in enumerate(args.programs):
                runs[program] = Run(program, os.path.join(folder, str(index)), args.grid)
            for program, run in runs.items():  # past start-up and the first comparisons
                for _ in range(10):
                    run.camera.write(frames[0])
                    time.sleep(period)
                run.hits_waiting(0.5)
            for change in range(args.changes):
                for program, run in runs.items():
                    phase = (change + 1) % 2
                    for _ in range(9):
                        run.camera.write(frames[1 - phase])
                        run.hits_waiting(period)
                    run.camera.write(frames[phase])
                    written = time.monotonic()
                    if run.hits_waiting(1.0):
                        latencies[program].append((time.monotonic() - written) * 1000)
                    run.hits_waiting(period)
        finally:
            for run in runs.values():
                run.close()
    for program, values in latencies.items():
        if not values:
            print(f"{program}: no hits")
            continue
        values.sort()
        p90 = values[int(0.9 * (len(values) - 1))]
        print(f"{program}: {len(values)} changes, median {statistics.median(values):.1f} ms, "
              f"90th percentile {p90:.1f} ms, max {values[-1]:.1f} ms")


if __name__ == "__main__":
    sys.exit(main())
