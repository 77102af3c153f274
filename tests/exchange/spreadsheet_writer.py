#!/usr/bin/python3
"""Writes CSV tag lists the way a spreadsheet program saves them, with Python's csv module:
fields quoted only where they hold the separator, CR LF line ends, the encodings a user
picks when saving. Usage: spreadsheet_writer.py OUTPUT_DIRECTORY"""
import csv
import os
import sys

HEADER = [
    "Name", "Description", "Data type", "Location", "Access", "InitValue", "Conversion",
    "RawMin", "RawMax", "EngMin", "EngMax", "Unit", "Normal Prty", "Normal Text",
    "LoLo/Disc Alarm Value", "LoLo/Disc Alarm Prty", "LoLo/Disc Alarm Text",
    "Low Alarm Value", "Low Alarm Prty", "Low Alarm Text",
    "High Alarm Value", "High Alarm Prty", "High Alarm Text",
    "HiHi Alarm Value", "HiHi Alarm Prty", "HiHi Alarm Text",
    "Simulation type", "Source", "Condition", "SubCondition", "Attribute",
    "Low Process Value", "High Process Value", "Default Display", "Normal Ack",
    "LoLo/Disc Alarm Ack", "Low Alarm Ack", "High Alarm Ack", "HiHi Alarm Ack",
    " Alam Area", " Alarm Class",
]


def row(**cells):
    """One tag line; cells are named by header position: c0 .. c40."""
    out = [""] * len(HEADER)
    for key, value in cells.items():
        out[int(key[1:])] = value
    return out


ROWS = [
    # An analog tag with linear scaling and two limits.
    row(c0="Boiler.Drum.Level", c1="Niveau Trommel \u00e9", c2="REAL", c3="400011", c4="RW",
        c5="12.5", c6="LIN", c7="0", c8="27648", c9="-50", c10="150", c11="mm",
        c12="100", c13="back to normal", c17="-20", c18="700", c19="low level",
        c20="120", c21="800", c22="high level", c26="Sine", c31="-40", c32="140",
        c33="0.0", c34="Yes", c35="No", c36="Yes", c37="No", c38="No",
        c39="Boiler house", c40="4"),
    # A discrete alarm on an input status.
    row(c0="Boiler.Burner.Flame", c1="Flame detected", c2="BOOL", c3="100003", c4="RO",
        c5="0", c14="0", c15="900", c16="flame lost", c26="None", c27="Burner 1",
        c30="FALSE", c34="No", c35="Yes", c39="Boiler house", c40="2"),
    # A bare tag name continues in the group of the previous line.
    row(c0="Ignition", c2="BOOL", c3="000005", c4="RW", c5="1", c6="INV", c26="Ramp"),
    # An event signal of another device.
    row(c0="Turbine.Trip", c2="bool", c3="E00012", c4="R", c26="random"),
]


def write(path, encoding, dialect, rows, bom=b""):
    with open(path, "wb") as raw:
        raw.write(bom)
    with open(path, "a", encoding=encoding, newline="") as handle:
        writer = csv.writer(handle, dialect=dialect)
        writer.writerow(HEADER)
        writer.writerows(rows)


def main():
    out = sys.argv[1]
    write(os.path.join(out, "ansi.csv"), "latin-1", "excel", ROWS)
    write(os.path.join(out, "utf8.csv"), "utf-8-sig", "excel", ROWS)
    write(os.path.join(out, "unicode.txt"), "utf-16-le", "excel-tab", ROWS, bom=b"\xff\xfe")
    # A description with a comma is quoted by the writer; the tag list knows no quoting,
    # so that line's fields shift. A short row lacks its trailing empty cells.
    quoted = row(c0="Boiler.Pumps.P1", c1="Feed pump, main", c2="INT", c3="400020", c4="RW")
    short = ["Boiler.Pumps.P2", "Feed pump 2", "UINT", "300004"]
    write(os.path.join(out, "quoted.csv"), "latin-1", "excel", [quoted, short])


if __name__ == "__main__":
    main()
