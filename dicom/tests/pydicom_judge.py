#!/usr/bin/python3
"""Reports what pydicom reads from a DICOM file, for the interop tests.

    pydicom_judge.py FILE OUTDIR

Prints one fact per line:
    syntax <transfer syntax UID>
    rows <n> / columns <n>
    pixels <byte count>      native pixel data as stored, OW words little-endian, in OUTDIR/pixels.bin
    fragments <n>            encapsulated pixel data, fragment i in OUTDIR/fragment<i>.bin
    E <gggg,eeee> <VR> <value>   each top-level element but the pixel data:
        text decoded by its character set (multiple values joined by a backslash),
        numbers in decimal, bytes in hex, sequences as their item count
"""
import os
import sys

import numpy
import pydicom
from pydicom.encaps import decode_data_sequence


def text(value):
    if isinstance(value, pydicom.multival.MultiValue):
        return "\\".join(text(v) for v in value)
    if isinstance(value, (bytes, bytearray)):
        return value.hex()
    return str(value)


def main():
    path, outdir = sys.argv[1], sys.argv[2]
    ds = pydicom.dcmread(path, force=True)
    syntax = ds.file_meta.get("TransferSyntaxUID", "") if hasattr(ds, "file_meta") else ""
    print("syntax", syntax)
    if "Rows" in ds:
        print("rows", ds.Rows)
        print("columns", ds.Columns)
    if "PixelData" in ds:
        elem = ds["PixelData"]
        if getattr(syntax, "is_compressed", False):
            frags = decode_data_sequence(elem.value)
            print("fragments", len(frags))
            for i, f in enumerate(frags):
                with open(os.path.join(outdir, "fragment%d.bin" % i), "wb") as out:
                    out.write(f)
        else:
            data = elem.value
            if not ds.is_little_endian and elem.VR == "OW":
                data = numpy.frombuffer(data, dtype=">u2").astype("<u2").tobytes()
            print("pixels", len(data))
            with open(os.path.join(outdir, "pixels.bin"), "wb") as out:
                out.write(data)
    for elem in ds:
        if elem.tag == 0x7FE00010:
            continue
        if elem.VR == "SQ":
            value = str(len(elem.value))
        else:
            value = text(elem.value)
        # A VR pydicom converted (a UN it recognised) is an enum member, not text.
        vr = getattr(elem.VR, "value", elem.VR)
        print("E %04X,%04X %s %s" % (elem.tag.group, elem.tag.element, vr, value))
    return 0


if __name__ == "__main__":
    sys.exit(main())
