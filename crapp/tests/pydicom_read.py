# Reads a DICOM file with pydicom and prints what it found, one element a line:
#   E GGGG,EEEE VR value      (multiple values joined by a backslash)
# and writes the decoded pixels as little-endian 16-bit samples to <dir>/pixels.bin.
import sys

import pydicom


def text(elem):
    value = elem.value
    if value is None:
        return ""
    if isinstance(value, bytes):
        return value.hex()
    if isinstance(value, pydicom.multival.MultiValue):
        return "\\".join(str(v) for v in value)
    return str(value)


def main():
    path, out = sys.argv[1], sys.argv[2]
    ds = pydicom.dcmread(path)
    for elem in ds.file_meta:
        print("E %04X,%04X %s %s" % (elem.tag.group, elem.tag.element, elem.VR, text(elem)))
    for elem in ds:
        if elem.tag == 0x7FE00010:
            continue
        print("E %04X,%04X %s %s" % (elem.tag.group, elem.tag.element, elem.VR, text(elem)))
    pixels = ds.pixel_array
    print("shape %dx%d" % (pixels.shape[0], pixels.shape[1]))
    with open(out + "/pixels.bin", "wb") as f:
        f.write(pixels.astype("<u2").tobytes())


main()
