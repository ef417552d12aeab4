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
import math
from fractions import Fraction

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

KEYS = ["absolute_magnitude", "coord_func", "iau_designation", "minor_planet_number", "name",
        "orbit_ArgOfPericenter", "orbit_AscendingNode", "orbit_Eccentricity",
        "orbit_Epoch", "orbit_Inclination", "orbit_MeanAnomaly", "orbit_MeanMotion",
        "orbit_SemiMajorAxis", "slope_parameter", "type"]
# The keys each layout leaves out (empty values aside).
LEFT_OUT = {"classic": {"iau_designation", "slope_parameter"}, "current": {"coord_func"}}


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


def section(line, layout="classic"):
    def column(first_column, width):
        return field(line, first_column, width)

    name = section_name(line)
    number = trim(column(166, 9).replace(b"(", b"", 1).replace(b")", b"", 1))
    values = {
        "absolute_magnitude": trim(column(9, 5)),
        "coord_func": b"comet_orbit",
        # A body without a number is known by its provisional designation.
        "iau_designation": b"" if number else trim(column(176, 19)),
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
        "slope_parameter": trim(column(15, 5)),
        "type": b"asteroid",
    }
    out = [b"[" + name + b"]\n"]
    for key in KEYS:
        if key in LEFT_OUT[layout]:
            continue
        if key in ("minor_planet_number", "iau_designation", "slope_parameter") and not values[key]:
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


def minor_planet_problem(line):
    epoch = line[20:25]
    if len(line) > MAX_LINE:
        return b"too long"
    if len(line) < 175:
        return b"too short"
    if not epoch_exists(epoch):
        return b"bad epoch " + epoch
    if not designation_ok(line):
        return b"bad designation"
    return None


def recognise(lines):
    """(problem, section writer, first line index, summary word), or None for a bad file."""
    if not lines:
        return None
    if TITLE in lines[0][:MAX_LINE]:
        return minor_planet_problem, section, 43, b"asteroids"
    first = next((line for line in lines if line), None)
    if first is None or len(first) > MAX_LINE:
        return None
    if is_minor_planet_record(first):
        return minor_planet_problem, section, 0, b"asteroids"
    if comet_problem(first) is None:
        return comet_problem, comet_section, 0, b"comets"
    return None


def convert(data, in_path="in", out_path="out", options=None, layout="classic"):
    """Returns (console bytes, output bytes or None, exit status). options:
    the selection, as Selection takes it (minor planets only); layout:
    "classic" or "current"."""
    select = Selection(options) if options else None
    # A byte-order mark before the text is no part of it.
    lines = split_lines(data[3:] if data.startswith(b"\xef\xbb\xbf") else data)
    bad = b"\n file " + shown(in_path.encode()) + b" is bad\n" + BANNER
    kind = recognise(lines)
    if kind is None:
        return bad, None, 1
    problem, write, start, word = kind
    console = [b"\n Starting\n\n"]
    out = []
    records = skipped = converted = 0
    for number, line in enumerate(lines[start:], start=start + 1):
        if not line:
            continue
        records += 1
        if records % 10000 == 0:
            console.append(b" Processing line: %d\n" % records)
        reason = problem(line)
        if reason is None:
            converted += 1
            if not select or select.passes(line):
                out.append(write(line, layout))
            continue
        skipped += 1
        if skipped <= SHOWN_SKIPS:
            console.append(b" Skipped line %d: %s\n" % (number, shown(reason)))
        elif skipped == SHOWN_SKIPS + 1:
            console.append(b" Further skipped lines are not shown.\n")
    if not converted:
        return b"".join(console) + bad, None, 1
    console.append(b"\n End of processing: %d %s.\n" % (records, word))
    if select:
        console.append(b" Selected records: %d\n" % len(out))
    if skipped:
        console.append(b" Skipped records: %d\n" % skipped)
    for missing in select.not_found() if select else []:
        console.append(b" Not found: " + shown(missing) + b"\n")
    if select and not out:
        # Nothing chosen: the catalogue the user has must not be emptied.
        return (b"".join(console) + b"\n No record was selected: file " + shown(out_path.encode()) +
                b" is left as it was\n" + BANNER, None, 1)
    console.append(b"\n Finished\n")
    # Sections of one name are one body to the planetarium.
    bodies = len({section[1:section.index(b"]")] for section in out})
    if bodies > 20000:
        numbered = b"" if options and options.get("numbered") else b" --numbered,"
        console.append(b" Note: the catalogue holds %d bodies; the planetarium starts slowly with more than 20000."
                       b" Choose fewer with --max-magnitude, --class,%s --body, --limit"
                       b" or --update --existing.\n" % (bodies, numbered))
    console.append(BANNER)
    return b"".join(console), b"".join(out), 0


# Files without MPCORB's header: minor-planet records, or comets.

NUMBER = re.compile(rb"[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)")
# A provisional designation, packed in the usual form (century, year,
# half-month, cycle count, second letter or 0 or a comet's fragment) or the
# extended one (_, year letter, half-month, four base-62 digits).
PACKED_PROVISIONAL = rb"[A-L][0-9]{2}[A-HJ-Y][0-9A-Za-z][0-9][A-HJ-Z0%s]|_[A-Za-z][A-HJ-Y][0-9A-Za-z]{4}"
PACKED_DESIGNATION = re.compile(
    rb"([0-9]{5}|[A-Za-z][0-9]{4}|~[0-9A-Za-z]{4})  |" + PACKED_PROVISIONAL % b"" + rb"|(PL|T1|T2|T3)S[0-9]{4}")


def is_number(text):
    return NUMBER.fullmatch(text) is not None


def is_minor_planet_record(line):
    def field(first, last):
        return line[first - 1:last]

    if not 175 <= len(line) <= MAX_LINE or not PACKED_DESIGNATION.fullmatch(field(1, 7)):
        return False
    if any(field(c, c) != b" " for c in (8, 14, 20, 26, 36, 37, 47, 48, 58, 59, 69, 70, 80, 92)):
        return False
    if any(trim(field(a, b)) and not is_number(trim(field(a, b))) for a, b in ((9, 13), (15, 19))):
        return False
    if not all(is_number(trim(field(a, b))) for a, b in ((27, 35), (38, 46), (49, 57), (60, 68), (71, 79),
                                                          (81, 91), (93, 103))):
        return False
    return epoch_exists(field(21, 25)) and designation_ok(line)


def is_julian_calendar(year, month, day):
    return (year, month, day) < (1582, 10, 15)


def date_exists(year, month, day):
    if not 1 <= month <= 12 or day < 1:
        return False
    if (1582, 10, 5) <= (year, month, day) <= (1582, 10, 14):
        return False
    if is_julian_calendar(year, month, day):
        leap = year % 4 == 0
    else:
        leap = year % 4 == 0 and (year % 100 != 0 or year % 400 == 0)
    return day <= MONTH_DAYS[month - 1] + (1 if month == 2 and leap else 0)


def julian_day(year, month, day):
    """Meeus, chapter 7, in exact fractions: day may carry a fraction."""
    julian = is_julian_calendar(year, month, int(day))
    if month <= 2:
        year, month = year - 1, month + 12
    b = 0 if julian else 2 - math.floor(year / 100) + math.floor(math.floor(year / 100) / 4)
    return (math.floor(Fraction(36525, 100) * (year + 4716)) + math.floor(Fraction(306001, 10000) * (month + 1))
            + day + b - Fraction(3049, 2))


def fixed(value, decimals):
    scaled = value * 10 ** decimals
    assert scaled.denominator == 1
    text = b"%d" % scaled.numerator
    text = text.rjust(decimals + 1, b"0")
    return text[:-decimals] + b"." + text[-decimals:]



def comet_fields(line):
    def field(first, last):
        return line[first - 1:last]

    return {
        "number": field(1, 4), "type": field(5, 5), "provisional": field(6, 12),
        "year": trim(field(15, 18)), "month": trim(field(20, 21)), "day": trim(field(23, 29)),
        "q": trim(field(31, 39)), "e": trim(field(42, 49)), "peri": trim(field(52, 59)),
        "node": trim(field(62, 69)), "incl": trim(field(72, 79)), "epoch": field(82, 89),
        "H": trim(field(92, 95)), "G": trim(field(97, 100)), "name": trim(field(103, 158)),
        "gaps": [field(a, b) for a, b in ((13, 14), (19, 19), (22, 22), (30, 30), (40, 41), (50, 51), (60, 61),
                                          (70, 71), (80, 81), (90, 91), (96, 96), (101, 102))],
    }


def comet_section_name(name):
    return bytes(c for c in name.lower() if chr(c) in "abcdefghijklmnopqrstuvwxyz0123456789()")


def perihelion(f):
    """(year, month, whole day, decimals) of an existing date, else None."""
    day = re.fullmatch(rb"([0-9]{1,9})(?:\.([0-9]*))?", f["day"])
    if not (re.fullmatch(rb"-?[0-9]{1,9}", f["year"]) and re.fullmatch(rb"[0-9]{1,9}", f["month"]) and day):
        return None
    year, month, whole = int(f["year"]), int(f["month"]), int(day.group(1))
    return (year, month, whole, day.group(2) or b"") if date_exists(year, month, whole) else None


def comet_problem(line):
    if len(line) > MAX_LINE:
        return b"too long"
    if len(line) < 103:
        return b"too short"
    f = comet_fields(line)
    packed = re.fullmatch(PACKED_PROVISIONAL % b"a-z", f["provisional"])
    numbered = re.fullmatch(rb"[0-9]{4}", f["number"]) and f["number"] != b"0000"
    designation = (f["type"] in (b"C", b"P", b"D", b"X", b"I", b"A")
                   and ((numbered and (packed or re.fullmatch(rb" {6}[ a-z]| {5}[a-z]{2}", f["provisional"])))
                        or (f["number"] == b"    " and packed)))
    if (not designation or re.search(rb"[\x00-\x1f\x7f#]", f["name"])
            or comet_section_name(f["name"]) in (b"", b"sun", b"earth", b"moon")):
        return b"bad designation"
    if any(g.strip(b" ") for g in f["gaps"]):
        return b"bad elements"
    if not all(is_number(f[k]) for k in ("q", "e", "peri", "node", "incl")):
        return b"bad elements"
    if any(f[k] and not is_number(f[k]) for k in ("H", "G")):
        return b"bad elements"
    if perihelion(f) is None:
        return b"bad elements"
    epoch = f["epoch"]
    if epoch.strip(b" ") and not (re.fullmatch(rb"[0-9]{8}", epoch)
                                  and date_exists(int(epoch[:4]), int(epoch[4:6]), int(epoch[6:]))):
        return b"bad elements"
    if float(f["q"]) <= 0 or float(f["e"]) < 0:
        return b"bad elements"
    return None


BASE62 = b"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
SECOND_LETTERS = b"ABCDEFGHJKLMNOPQRSTUVWXYZ"


def unpack_provisional(packed):
    """A comet's columns 6-12 as its readable provisional designation (b"2013 R3-A"), or None."""
    if not re.fullmatch(PACKED_PROVISIONAL % b"a-z", packed):
        return None
    if packed[:1] == b"_":
        k = 620 * 25
        for i, c in enumerate(reversed(packed[3:])):
            k += BASE62.index(c) * 62 ** i
        return b"%d %c%c%d" % (2000 + BASE62.index(packed[1]), packed[2], SECOND_LETTERS[k % 25], k // 25)
    year = (packed[0] - ord("A") + 10) * 100 + int(packed[1:3])
    number = BASE62.index(packed[4]) * 10 + int(packed[5:6])
    last = packed[6:7]
    text = b"%d %c" % (year, packed[3])
    text += last if last.isupper() else b""
    text += b"%d" % number if number else b""
    return text + (b"-" + last.upper() if last.islower() else b"")


def comet_iau_designation(f):
    """The designation part of the name; for a numbered interstellar object
    its number and letter, with the provisional designation if the line has
    one; nothing for a numbered periodic comet."""
    provisional = unpack_provisional(f["provisional"])
    if f["number"].strip(b" "):
        if f["type"] != b"I":
            return b""
        text = b"%d%s" % (int(f["number"]), f["type"])
        packed = f["provisional"]
        if packed[6:7].islower():
            text += b"-" + (packed[5:6].upper() if packed[5:6].islower() else b"") + packed[6:7].upper()
        return text + (b"/" + provisional if provisional else b"")
    part = trim(f["name"].split(b"(")[0])
    if b"/" in part:
        return part
    return f["type"] + b"/" + provisional if provisional else b""


def comet_section(line, layout="classic"):
    f = comet_fields(line)
    year, month, day, decimals = perihelion(f)
    values = [("absolute_magnitude", f["H"]), ("coord_func", b"comet_orbit" if layout == "classic" else b""),
              ("iau_designation", comet_iau_designation(f) if layout == "current" else b""), ("name", f["name"]),
              ("orbit_ArgOfPericenter", f["peri"]), ("orbit_AscendingNode", f["node"]),
              ("orbit_Eccentricity", f["e"])]
    if f["epoch"].strip(b" "):
        epoch = julian_day(int(f["epoch"][:4]), int(f["epoch"][4:6]), int(f["epoch"][6:]))
        values.append(("orbit_Epoch", b"%.10g" % epoch))
    if f["type"] == b"I":
        kind = b"interstellar object"
    elif f["type"] == b"A" and float(f["e"]) < 1:
        kind = b"asteroid"
    else:
        kind = b"comet"
    time = julian_day(year, month, day + Fraction(int(decimals or b"0"), 10 ** len(decimals)))
    values += [("orbit_Inclination", f["incl"]), ("orbit_PericenterDistance", f["q"]),
               ("orbit_TimeAtPericenter", fixed(time, max(len(decimals), 1))),
               ("slope_parameter", f["G"]), ("type", kind)]
    out = [b"[" + comet_section_name(f["name"]) + b"]\n"]
    out += [key.encode().ljust(31) + b"= " + value + b"\n" for key, value in values if value]
    return b"".join(out) + b"\n"
