#!/usr/bin/python3
"""Decodes every text element of a DICOM file (or bare implicit data set) with
pydicom and prints one line per complaint:
    warning <message>            pydicom warned while reading or decoding
    unreadable <tag> <text>      a decoded value holds a replacement character
and "text <tag> <value>" for each decoded person name, long and short string,
so that a test can compare what a reader sees with what was typed.

    dicom_text_judge.py FILE
"""
import sys
import warnings

import pydicom
from pydicom.dataset import FileMetaDataset
from pydicom.uid import ImplicitVRLittleEndian

TEXT_VRS = {"SH", "LO", "ST", "LT", "UT", "PN", "UC"}


def main():
    warnings.simplefilter("always")
    with warnings.catch_warnings(record=True) as caught:
        with open(sys.argv[1], "rb") as f:
            ds = pydicom.dcmread(f, force=True)
        if "TransferSyntaxUID" not in getattr(ds, "file_meta", {}):
            ds.file_meta = FileMetaDataset()
            ds.file_meta.TransferSyntaxUID = ImplicitVRLittleEndian
        ds.decode()
        lines = []
        for elem in ds.iterall():
            if elem.VR not in TEXT_VRS or elem.value is None:
                continue
            value = str(elem.value)
            tag = "%04X,%04X" % (elem.tag.group, elem.tag.element)
            if "\ufffd" in value:
                lines.append("unreadable %s %s" % (tag, value))
            lines.append("text %s %s" % (tag, value))
    for w in caught:
        print("warning", str(w.message).replace("\n", " "))
    for line in lines:
        print(line)


main()
