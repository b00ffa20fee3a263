#!/usr/bin/python3
"""The peers of moire_bench: the filter's own arithmetic with NumPy/SciPy
(sparse matrices built from its weights, best of 3), to which our output is
compared away from the borders; and, for scale only, scipy.ndimage's
smoothing and cubic spline zoom, which is other work.

usage: peer.py DIR W H DW DH PITCH WIDTH   (DIR holds src.u16 and out.u16;
the results go to DIR/peer.txt)"""
import math
import sys
import time

import numpy as np
from scipy import ndimage, sparse


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

    # scipy: the normalised Lanczos window along x, then the cubic spline zoom.
    taps = lanczos(np.arange(-h, h + 1, dtype=np.float64), h)
    taps /= taps.sum()
    scipy_seconds = 1e30
    for _ in range(3):
        t0 = time.perf_counter()
        smoothed = ndimage.correlate1d(src, taps, axis=1, output=np.float64, mode="nearest")
        zoomed = ndimage.zoom(smoothed, (DH / H, DW / W), order=3, mode="nearest")
        scipy_seconds = min(scipy_seconds, time.perf_counter() - t0)
    assert zoomed.shape == (DH, DW), zoomed.shape
    del smoothed, zoomed

    # The oracle: target = Cy . src . Wx^T with the filter's own weights, best of 3.
    oracle_seconds = 1e30
    for _ in range(3):
        t0 = time.perf_counter()
        oracle = same_work(src, W, H, DW, DH, h)
        oracle_seconds = min(oracle_seconds, time.perf_counter() - t0)
    r = np.arange(DH)
    y = r * H / DH
    yfit = (y - h > 0) & (y + h < H)
    c = np.arange(DW)
    x = c * W / DW
    xfit = (x - h > 1) & (x + h < W - 2)
    rounded = np.clip(np.floor(oracle + 0.5), 0, 4095)
    inside = yfit[:, None] & xfit[None, :]
    diff = np.abs(ours.astype(np.int64) - rounded.astype(np.int64))[inside]
    with open(d + "/peer.txt", "w") as out:
        out.write(f"scipy_seconds {scipy_seconds}\n")
        out.write(f"oracle_seconds {oracle_seconds}\n")
        out.write(f"max_difference {int(diff.max()) if diff.size else -1}\n")
        out.write(f"compared {diff.size}\n")
        out.write(f"differing {int(np.count_nonzero(diff))}\n")


def same_work(src, W, H, DW, DH, h):
    c = np.arange(DW)
    x = c * W / DW
    nx = np.floor(x + 0.5).astype(np.int64)
    fx = x - nx
    fx[fx == 0.0] = 0.0001
    i = np.arange(2 * h + 1)
    wx = lanczos(fx[:, None] - (i[None, :] - h), h)
    wx /= wx.sum(axis=1, keepdims=True)
    cols = np.clip(nx[:, None] - h + i[None, :], 0, W - 1)
    rows = np.repeat(c[:, None], 2 * h + 1, axis=1)
    Wx = sparse.csr_matrix((wx.ravel(), (rows.ravel(), cols.ravel())), shape=(DW, W))

    r = np.arange(DH)
    y = r * H / DH
    ny = np.floor(y + 0.5).astype(np.int64)
    fy = y - ny
    k = np.arange(-2, 3)
    wy = cubic(fy[:, None] - k[None, :])
    yrows = np.clip(ny[:, None] + k[None, :], 0, H - 1)
    Cy = sparse.csr_matrix((wy.ravel(), (np.repeat(r[:, None], 5, axis=1).ravel(), yrows.ravel())),
                           shape=(DH, H))

    along_x = Wx @ src.astype(np.float64).T          # DW x H
    return Cy @ along_x.T                           # DH x DW


if __name__ == "__main__":
    main()
