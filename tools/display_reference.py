#!/usr/bin/python3
"""Reference rendering of a display tile into an 8-bit bitmap, written with
NumPy straight from the display rules, without any of the renderer's
shortcuts: the extended grey table, the row and column rules in float64, the
sharpening in float64.

usage: display_reference.py MANIFEST.json

The manifest is a list of cases; each names a raw sample file ("image",
little-endian, "bytes" 1 or 2 per sample, "width" x "height"), a 4096-byte
grey table ("table"), the tile's requested "zoom", "centreX", "centreY" and
"sharpness" (clamped here as the tile's setters clamp them), the bitmap's
"bitmapWidth", "rowLength", "bitmapHeight" and "background", an optional
"crop" [left, top, right, bottom] of the image to draw, and the file "out"
to write the bitmap's rowLength x bitmapHeight bytes to.
"""
import json
import math
import sys

import numpy as np


def clamp_zoom(z):
    if z >= 8.0:
        return 8.0
    if z < 0.05:
        return 0.05
    return z


def render(case):
    iw, ih = case["width"], case["height"]
    dtype = np.uint8 if case["bytes"] == 1 else np.dtype("<u2")
    img = np.fromfile(case["image"], dtype=dtype).astype(np.int64).reshape(ih, iw)
    if "crop" in case:
        l, t, r, b = case["crop"]
        img = img[t:b, l:r]
        ih, iw = img.shape
    table = np.fromfile(case["table"], dtype=np.uint8)
    assert table.size == 4096
    ext = np.empty(36864, dtype=np.uint8)
    ext[:4096] = table
    ext[4096:] = table[4095]

    z = clamp_zoom(float(case["zoom"]))
    fx = min(max(float(case["centreX"]), 0.0), 1.0)
    fy = min(max(float(case["centreY"]), 0.0), 1.0)
    s = min(max(float(case["sharpness"]), 0.0), 2.0)
    W, R, H = case["bitmapWidth"], case["rowLength"], case["bitmapHeight"]
    out = np.full((H, R), case["background"], dtype=np.uint8)

    k = 0.5 * s
    cx = iw * fx
    cy = ih * fy
    hw = W // 2
    hh = H // 2

    xs = np.arange(W, dtype=np.int64)
    ux = (xs - hw).astype(np.float64) / z + cx
    drawn = (ux >= 0.0) & (ux < iw)
    dx = xs[drawn]
    sx = np.minimum(np.trunc(ux[drawn]).astype(np.int64), iw - 1)

    y = max(math.floor(hh - cy * z), 0)
    while y < H:
        u = float(y - hh) / z + cy
        if u >= ih:
            break
        # A first row above the image reads its top row.
        sy = min(max(math.trunc(u), 0), ih - 1)
        v = img[sy, sx]
        if k == 0.0:
            out[y, dx] = table[np.minimum(v, 4095)]
        else:
            n = img[max(sy - 1, 0), sx]
            so = img[min(sy + 1, ih - 1), sx]
            e = img[sy, np.minimum(sx + 1, iw - 1)]
            w = img[sy, np.maximum(sx - 1, 0)]
            t = v.astype(np.float64) * (1 + 4 * k) - k * (n + so + e + w).astype(np.float64)
            t = np.trunc(t)
            t = np.where(t < 0, 0, np.where(t > 36863, 36863, t)).astype(np.int64)
            out[y, dx] = ext[t]
        y += 1
    return out


def main():
    with open(sys.argv[1]) as f:
        cases = json.load(f)
    for case in cases:
        render(case).tofile(case["out"])


if __name__ == "__main__":
    main()
