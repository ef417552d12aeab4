#!/usr/bin/env python3
"""An independent, deliberately plain reading of quelvarn's conversion rules.

It shares no code with the converter: it exists so that the tests can compare
the fast C++ program with something obviously right, byte for byte, on any
catalogue. Takes the input bytes (already decompressed), returns the console
text and the output bytes of a successful run, or the console text of a
rejected input.
"""

import os
import re
import unicodedata

TITLE = b"MINOR PLANET CENTER ORBIT DATABASE (MPCORB)"
MAX_LINE = 64 * 1024


def project_version():
    """The version as CMakeLists.txt's project() states it, the one place it is written."""
    cmake = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "CMakeLists.txt")
    with open(cmake, "rb") as f:
        return re.search(rb"project\(quelvarn VERSION ([0-9.]+)", f.read()).group(1)


BANNER = b"\n quelvarn " + project_version() + b"\n\n"
CODES = b"123456789ABCDEFGHIJKLMNOPQRSTUV"
CENTURY = {ord("I"): 1800, ord("J"): 1900, ord("K"): 2000}
MONTH_DAYS = [31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31]
SHOWN_SKIPS = 100
RESERVED_NAMES = (b"sun", b"earth", b"moon")

# Orbit classes: (orbit types in the low 6 bits of the flags, flag bits).
CLASSES = {
    "atira": ({1}, 0), "aten": ({2}, 0), "apollo": ({3}, 0), "amor": ({4}, 0),
    "mars-crosser": ({5, 6, 7}, 0), "hilda": ({8}, 0), "trojan": ({9}, 0), "centaur": ({10}, 0),
    "plutino": ({14}, 0), "resonant-tno": ({15}, 0), "cubewano": ({16}, 0), "sdo": ({17}, 0),
    "tno": ({14, 15, 16, 17}, 0), "neo": (set(), 2048), "km-neo": (set(), 4096), "pha": (set(), 32768),
}
DECIMAL = re.compile(rb"-?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?")
HEX_FLAGS = re.compile(rb"[0-9A-Fa-f]{1,4}")

KEYS = ["absolute_magnitude", "coord_func", "minor_planet_number", "name",
        "orbit_ArgOfPericenter", "orbit_AscendingNode", "orbit_Eccentricity",
        "orbit_Epoch", "orbit_Inclination", "orbit_MeanAnomaly", "orbit_MeanMotion",
        "orbit_SemiMajorAxis", "type"]


def split_lines(data):
    pieces = data.split(b"\n")
    terminated = [True] * (len(pieces) - 1) + [False]
    if pieces[-1] == b"":
        pieces, terminated = pieces[:-1], terminated[:-1]
    return [p[:-1] if t and p.endswith(b"\r") else p for p, t in zip(pieces, terminated)]


def trim(text):
    return text.strip(b" \n\r\t")


def char2int(code):
    return CODES.index(code) + 1 if len(code) == 1 and code in CODES else 1


def jd(epoch):
    y0 = CENTURY[epoch[0]] + int(epoch[1:3])
    m0, d = char2int(epoch[3:4]), char2int(epoch[4:5])
    y, m = (y0 - 1, m0 + 12) if m0 in (1, 2) else (y0, m0)
    a = int(y / 100)
    b = 2 - a + int(a / 4)
    return float(d + int(365.25 * (y + 4716)) + int(30.6001 * (m + 1))) + b - 1524.5


def epoch_exists(epoch):
    if len(epoch) != 5 or epoch[0] not in CENTURY or not epoch[1:3].isdigit():
        return False
    month = CODES.find(epoch[3:4]) + 1
    day = CODES.find(epoch[4:5]) + 1
    if not 1 <= month <= 12 or day < 1:
        return False
    year = CENTURY[epoch[0]] + int(epoch[1:3])
    leap = year % 4 == 0 and (year % 100 != 0 or year % 400 == 0)
    return day <= (29 if month == 2 and leap else MONTH_DAYS[month - 1])


def is_control(byte):
    return byte < 0x20 or byte == 0x7f


def field(line, first_column, width):
    return line[first_column - 1:first_column - 1 + width]


def section_name(line):
    name = trim(field(line, 166, 28))
    for c in (b"(", b")", b" ", b" "):
        name = name.replace(c, b"", 1)
    return name.lower()


def designation_ok(line):
    name = section_name(line)
    if not name.strip(b" ") or name in RESERVED_NAMES or any(is_control(b) or b in b"[]#/" for b in name):
        return False
    return not any(is_control(b) or b == ord("#") for b in trim(field(line, 176, 19)))


def shown(text):
    """Every character that is a control character, or not valid UTF-8, as "?"."""
    out, i = [], 0
    while i < len(text):
        for size in (1, 2, 3, 4):
            try:
                char = text[i:i + size].decode("utf-8")
            except UnicodeDecodeError:
                continue
            if len(char) == 1 and unicodedata.category(char) != "Cc":
                out.append(text[i:i + size])
                i += size
                break
        else:
            out.append(b"?")
            i += 1
    return b"".join(out)


def section(line):
    def column(first_column, width):
        return field(line, first_column, width)

    name = section_name(line)
    number = trim(column(166, 9).replace(b"(", b"", 1).replace(b")", b"", 1))
    values = {
        "absolute_magnitude": trim(column(9, 5)),
        "coord_func": b"comet_orbit",
        "minor_planet_number": number,
        "name": trim(column(176, 19)),
        "orbit_ArgOfPericenter": trim(column(38, 9)),
        "orbit_AscendingNode": trim(column(49, 9)),
        "orbit_Eccentricity": trim(column(71, 9)),
        "orbit_Epoch": (b"%.10g" % jd(column(21, 5))),
        "orbit_Inclination": trim(column(60, 9)),
        "orbit_MeanAnomaly": trim(column(27, 9)),
        "orbit_MeanMotion": trim(column(81, 11)),
        "orbit_SemiMajorAxis": trim(column(93, 11)),
        "type": b"asteroid",
    }
    out = [b"[" + name + b"]\n"]
    for key in KEYS:
        if key == "minor_planet_number" and not number:
            continue
        out.append(key.encode().ljust(31) + b"= " + values[key] + b"\n")
    out.append(b"\n")
    return b"".join(out)


def same_id(text):
    return b" ".join(re.split(rb"[ \t\r\n]+", trim(text))).lower()


class Selection:
    """The selection options, given as a dict: max_magnitude (float), numbered
    (bool), classes (list of names), bodies (list of bytes), limit (int)."""

    def __init__(self, options):
        self.options = options
        self.found = set()
        self.taken = 0

    def body_matches(self, line):
        number = trim(field(line, 166, 9).replace(b"(", b"", 1).replace(b")", b"", 1))
        ids = {same_id(text) for text in (number, trim(field(line, 166, 29)), trim(field(line, 176, 19))) if text}
        wanted = {same_id(b) for b in self.options["bodies"]}
        self.found |= ids & wanted
        return bool(ids & wanted)

    def in_classes(self, line):
        flags = trim(field(line, 162, 4))
        if not HEX_FLAGS.fullmatch(flags):
            return False
        value = int(flags, 16)
        for name in self.options["classes"]:
            types, bits = CLASSES[name]
            if value % 64 in types or value & bits:
                return True
        return False

    def passes(self, line):
        o = self.options
        if o.get("bodies") and not self.body_matches(line):
            return False
        if "max_magnitude" in o:
            h = trim(field(line, 9, 5))
            if not DECIMAL.fullmatch(h) or float(h) > o["max_magnitude"]:
                return False
        if o.get("numbered") and not trim(field(line, 166, 9).replace(b"(", b"", 1).replace(b")", b"", 1)):
            return False
        if o.get("classes") and not self.in_classes(line):
            return False
        if "limit" in o and self.taken >= o["limit"]:
            return False
        self.taken += 1
        return True

    def not_found(self):
        return [b for b in self.options.get("bodies", []) if same_id(b) not in self.found]


def convert(data, in_path="in", out_path="out", options=None):
    """Returns (console bytes, output bytes or None, exit status). options:
    the selection, as Selection takes it."""
    select = Selection(options) if options else None
    lines = split_lines(data)
    bad = b"\n file " + shown(in_path.encode()) + b" is bad\n" + BANNER
    if not lines or TITLE not in lines[0][:MAX_LINE]:
        return bad, None, 1
    console = [b"\n Starting\n\n"]
    out = []
    records = skipped = converted = 0
    for number, line in enumerate(lines[43:], start=44):
        if not line:
            continue
        records += 1
        if records % 10000 == 0:
            console.append(b" Processing line: %d\n" % records)
        epoch = line[20:25]
        if len(line) > MAX_LINE:
            reason = b"too long"
        elif len(line) < 175:
            reason = b"too short"
        elif not epoch_exists(epoch):
            reason = b"bad epoch " + epoch
        elif not designation_ok(line):
            reason = b"bad designation"
        else:
            converted += 1
            if not select or select.passes(line):
                out.append(section(line))
            continue
        skipped += 1
        if skipped <= SHOWN_SKIPS:
            console.append(b" Skipped line %d: %s\n" % (number, shown(reason)))
        elif skipped == SHOWN_SKIPS + 1:
            console.append(b" Further skipped lines are not shown.\n")
    if not converted:
        return b"".join(console) + bad, None, 1
    console.append(b"\n End of processing: %d asteroids.\n" % records)
    if select:
        console.append(b" Selected records: %d\n" % len(out))
    if skipped:
        console.append(b" Skipped records: %d\n" % skipped)
    for missing in select.not_found() if select else []:
        console.append(b" Not found: " + shown(missing) + b"\n")
    console.append(b"\n Finished\n" + BANNER)
    return b"".join(console), b"".join(out), 0
