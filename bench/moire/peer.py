#!/usr/bin/python3
"""The peer of moire_bench: the filter's own weights applied as a separable
filter with SciPy, in float64 as ours: scipy.signal.upfirdn, which computes
only the target columns, along x over the source rows the target rows take.
That is the same work where every target column falls on its source sample
with the same fraction and every target row on a source row (whole-number
ratios, as the bench's halving): the script refuses other sizes. Best of 3,
timed inside the script (start-up excluded), on the core it is started on.
Our output is compared with its result away from the borders.

usage: peer.py DIR W H DW DH PITCH WIDTH   (DIR holds src.u16 and out.u16;
the results go to DIR/peer.txt)"""
import math
import sys
import time

import numpy as np
from scipy import signal


def lanczos(t, h):
    x = 2.0 * t / h
    out = np.zeros_like(x)
    inside = np.abs(x) < 2.0
    xi = x[inside]
    with np.errstate(invalid="ignore", divide="ignore"):
        v = np.sinc(xi) * np.sinc(xi / 2.0)  # numpy's sinc is sin(pi u)/(pi u)
    out[inside] = np.where(xi == 0.0, 1.0, v)
    return out


def cubic(s):
    a = np.abs(s)
    return np.where(a <= 1.0, 1.0 - 2.0 * s * s + a ** 3,
                    np.where(a < 2.0, 4.0 - 8.0 * a + 5.0 * s * s - a ** 3, 0.0))


def main():
    d = sys.argv[1]
    W, H, DW, DH, pitch = (int(v) for v in sys.argv[2:7])
    width = float(sys.argv[7])
    h = max(2, math.ceil(width / pitch))
    src = np.fromfile(d + "/src.u16", dtype="<u2").reshape(H, W)
    ours = np.fromfile(d + "/out.u16", dtype="<u2").reshape(DH, DW)

    # Where each target sample falls, as the filter places it.
    x = np.arange(DW) * W / DW
    nx = np.floor(x + 0.5).astype(np.int64)
    fx = x - nx
    fx[fx == 0.0] = 0.0001
    y = np.arange(DH) * H / DH
    ny = np.floor(y + 0.5).astype(np.int64)
    fy = y - ny
    k = np.arange(-2, 3)
    wy = cubic(fy[:, None] - k[None, :])
    down = W // DW
    if not (W == down * DW and np.all(nx == down * np.arange(DW)) and np.all(wy[:, 2] == 1.0)
            and np.all(np.delete(wy, 2, axis=1) == 0.0)):
        sys.exit("peer.py: the separable peer needs whole-number ratios of source to target size")
    taps = lanczos(fx[0] - (np.arange(2 * h + 1) - h), h)  # taps[i] weighs sample nx - h + i
    taps /= taps.sum()
    # upfirdn convolves: output n is sum_k taps[2h - k] x[down n - k], which is
    # target column c for down n = down c + h + pad, with pad leading columns
    # making that a multiple of down.
    pad = (-h) % down
    first = (h + pad) // down
    kernel = taps[::-1].copy()

    seconds = 1e30
    for _ in range(3):
        t0 = time.perf_counter()
        rows = src[ny]
        if pad:
            rows = np.pad(rows, ((0, 0), (pad, 0)))
        peer = signal.upfirdn(kernel, rows, up=1, down=down, axis=1)[:, first:first + DW]
        seconds = min(seconds, time.perf_counter() - t0)

    yfit = (y - h > 0) & (y + h < H)
    xfit = (x - h > 1) & (x + h < W - 2)
    rounded = np.clip(np.floor(peer + 0.5), 0, 4095)
    inside = yfit[:, None] & xfit[None, :]
    diff = np.abs(ours.astype(np.int64) - rounded.astype(np.int64))[inside]
    with open(d + "/peer.txt", "w") as out:
        out.write(f"peer_seconds {seconds}\n")
        out.write(f"max_difference {int(diff.max()) if diff.size else -1}\n")
        out.write(f"compared {diff.size}\n")
        out.write(f"differing {int(np.count_nonzero(diff))}\n")


if __name__ == "__main__":
    main()
