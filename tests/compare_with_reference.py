#!/usr/bin/env python3
"""Runs quelvarn and the plain reference on genuine and synthetic catalogues,
plain and gzip-compressed, and fails on any byte of difference in the output
file, the console or the exit status.

usage: compare_with_reference.py QUELVARN_BINARY TEST_DATA_DIR

A Windows program (quelvarn.exe) is run under Wine, and its output and
console are expected with CR LF line ends.
"""

import gzip
import os
import random
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import reference_convert  # noqa: E402

DESIGNATIONS = [
    b"      (1) Ceres", b"  (620057) 2005 CG81", b"           1994 TG", b"    (4711) Xyla de Mor",
    b"   (12) Victoria-Ann Bee", b"", b"   ()", b" (47)Xyla", b"(123456789) Verylongname-withdash",
    b"\t(5)\tAstraea ", b"     Ab(c)d) e f g h", b"   (9) Metis\r", b"\xc3\x89los (77) ", b"     6344 P-L",
    b"(1 2) A B C D", b"  ABC DEF", b" " * 40, b"(((((( )))))) x y z",
    b"    (1) Ce]res=x#y;z,w", b"  [1] Ceres", b"  2019 A/B", b"    (9) Hash #1", b"   (9) Nul\x00l",
    b"    (3) \x1b[2J", b"       Sun", b"    ( ) Moon", b"  (100) Del\x7f", b"(7)\tTab",
]
EPOCHS = [b"K239D", b"K0011", b"K2421", b"K2431", b"K24AV", b"K2310", b"J9611", b"I99CV", b"K107N",
          b"J949P", b"K 5AA", b"K+5AA", b"K-1AA", b"K5x11", b"K\t712", b"Kaa11", b"X2311", b"k2311",
          b"     ", b"K23ZZ", b"K23a1", b"J00DW", b"I-911", b"K24X1", b"K2401", b"K24aa", b"K24D1",
          b"K24VV", b"I-9A1", b"K242V", b"K242T", b"K202T", b"J002T", b"K23\x1b[", b"K2C9V", b"K23CV",
          b"\x9b2JK1", b"K\xc3\xa9\x80", b"\xc2\x85\xe2\x82\xac", b"\xed\xa0\x80K", b"\xf0\x9f\x8c\x8d1"]
MAGNITUDES = [b"     ", b" 1x2 ", b"+12.5", b"12.  ", b" .5  ", b"1e1  ", b"nan  ", b"-0.0 ", b"inf  ", b"16.00",
              b"1e   ", b"\t15.9", b"15,9 "]
FLAGS = [b"    ", b"08G3", b"  1A", b"0x1F", b"-001", b"FFFF", b"0009", b"ffff", b"8 03", b"0011"]


# Replacements for a comet line's columns (first column, text): dates on
# both sides of the calendar reform and of leap days, fewer decimals, blank
# and broken fields, names the planetarium could not take.
COMET_EDITS = [
    (15, b"1582 10 04.9999"), (15, b"1582 10 05.0000"), (15, b"1582 10 15.0001"), (15, b"1500 02 29.5   "),
    (15, b"1700 02 29.5   "), (15, b"2000 02 29.25  "), (15, b" 837 04 10.3   "), (15, b"-043 03 15.5   "),
    (15, b"2021 13 01.0000"), (15, b"2021 00 01.0000"), (15, b"2021 04 31.0000"), (15, b"2021 04 00.5000"),
    (15, b"????"), (23, b" 1.     "), (23, b"1      "), (23, b"1.2.3  "), (23, b"31.99999"), (23, b" .5    "),
    (31, b" 0.000000"), (31, b"-0.100000"), (31, b"   .5    "), (31, b"  1e-3   "), (31, b"         "),
    (42, b"0.000000"), (42, b"-0.00001"), (42, b"1.000000"), (42, b"0.999999"), (42, b"+0.50000"),
    (52, b"   n/a  "), (62, b"        "), (72, b"  -1.5  "), (82, b"        "), (82, b"20210230"),
    (82, b"2021    "), (82, b"15821010"), (92, b"    "), (92, b" abc"), (97, b"    "), (97, b"4.0x"),
    (5, b"A"), (5, b"I"), (5, b"D"), (5, b"X"), (5, b"Q"), (1, b"0012P"), (1, b"12  P"), (6, b"K13R03a"),
    (6, b"      b"), (6, b"k13R030"), (5, b"P_WY0Mpc"), (5, b"C_MPCmpc"), (6, b"_WI0Mpc"), (6, b"_WY0M-c"), (6, b"       "), (1, b"0000"), (1, b"    "), (40, b"x"), (13, b"xx"), (103, b" " * 56), (103, b"Sun" + b" " * 53),
    (103, b"C/2023 A3 (Tsuchinshan-ATLAS)"), (103, b"12P/Pons-Brooks #2"), (103, b"C/2099 Z9 (a\tb)"),
    (103, b"[]/#"), (103, b"\xc3\x89l\xc3\xa8ne (Caf\xc3\xa9)"), (103, b"\x1b[2J"),
]


def synthetic_comets(rng, base_lines, count):
    out = []
    for _ in range(count):
        line = bytearray(rng.choice(base_lines))
        roll = rng.random()
        if roll < 0.02:
            out.append(b"")
            continue
        for _ in range(rng.choice((0, 1, 1, 2))):
            first, text = rng.choice(COMET_EDITS)
            line[first - 1:first - 1 + len(text)] = text
        if rng.random() < 0.03:
            del line[rng.randint(90, 110):]
        if rng.random() < 0.001:
            line += b"x" * 70000
        out.append(bytes(line))
    return out


def catalogue_from(header, records, crlf=False, final_newline=True):
    nl = b"\r\n" if crlf else b"\n"
    text = nl.join(header + records)
    return text + nl if final_newline else text


def synthetic_records(rng, base_records, count):
    out = []
    for _ in range(count):
        line = bytearray(rng.choice(base_records))
        roll = rng.random()
        if roll < 0.02:
            out.append(b"")
            continue
        if roll < 0.03:
            out.append(b" " * rng.randint(1, 250))
            continue
        if rng.random() < 0.3:
            line[20:25] = rng.choice(EPOCHS)
        if rng.random() < 0.3:
            designation = rng.choice(DESIGNATIONS)[:28].ljust(28)
            line[165:193] = designation
        if rng.random() < 0.1:
            start = rng.choice((8, 26, 37, 48, 59, 70, 80, 92, 175))
            line[start:start + 5] = b" \t  \r"[:5]
        if rng.random() < 0.1:
            line[8:13] = rng.choice(MAGNITUDES)
        if rng.random() < 0.1:
            line[161:165] = rng.choice(FLAGS)
        if rng.random() < 0.05:
            del line[rng.randint(150, 201):]
        if rng.random() < 0.001:
            line += b"x" * 70000
        out.append(bytes(line))
    return out


def option_args(options):
    args = []
    if "max_magnitude" in options:
        args += ["--max-magnitude", repr(options["max_magnitude"])]
    if options.get("numbered"):
        args.append("--numbered")
    if options.get("classes"):
        args.append("--class=" + ",".join(options["classes"]))
    for body in options.get("bodies", []):
        args += ["--body", body.decode()]
    if "limit" in options:
        args += ["--limit", str(options["limit"])]
    return args


def run_case(binary, workdir, name, data, stored=None, options=None, layout=None):
    """stored: the bytes to put in the input file (compressed form), if not data.
    options: the selection, as reference_convert.Selection takes it. layout:
    given as --layout, if any."""
    in_path = os.path.join(workdir, name)
    out_path = os.path.join(workdir, name + ".ini")
    with open(in_path, "wb") as f:
        f.write(data if stored is None else stored)
    if os.path.exists(out_path):
        os.unlink(out_path)
    args = option_args(options) if options else []
    if layout:
        args += ["--layout", layout]
    windows = binary.endswith(".exe")
    # Options after the paths too, as a user may put them.
    got = subprocess.run((["wine"] if windows else []) + [binary] + args[:2] + [in_path, out_path] + args[2:],
                         capture_output=True)
    want_console, want_output, want_status = reference_convert.convert(data, in_path, out_path, options,
                                                                       layout or "classic")
    if windows:
        want_console = want_console.replace(b"\n", b"\r\n")
        want_output = want_output and want_output.replace(b"\n", b"\r\n")
    problems = []
    if got.returncode != want_status:
        problems.append("exit status %d, expected %d" % (got.returncode, want_status))
    if got.stdout != want_console:
        problems.append("console differs:\n--- got\n%r\n--- expected\n%r" % (got.stdout[-2000:], want_console[-2000:]))
    if got.stderr:
        problems.append("wrote to standard error: %r" % got.stderr[:200])
    if want_output is None and os.path.exists(out_path):
        problems.append("a rejected input left an output file")
    if want_output is not None:
        with open(out_path, "rb") as f:
            output = f.read()
        if output != want_output:
            at = next((i for i, (a, b) in enumerate(zip(output, want_output)) if a != b), min(len(output), len(want_output)))
            problems.append("output differs at byte %d: got %r, expected %r"
                            % (at, output[max(0, at - 200):at + 100], want_output[max(0, at - 200):at + 100]))
    print("%-40s %s" % (name, "ok" if not problems else "FAILED"))
    for p in problems:
        print("    " + p)
    return not problems


def main():
    binary, data_dir = sys.argv[1], sys.argv[2]
    with open(os.path.join(data_dir, "mpcorb-header.txt"), "rb") as f:
        header = f.read().split(b"\n")[:43]
    with open(os.path.join(data_dir, "mpcorb-records.txt"), "rb") as f:
        varied = f.read().split(b"\n")[:-1]
    with gzip.open(os.path.join(data_dir, "mpcorb-nea-2019.txt.gz")) as f:
        nea = f.read().split(b"\n")[:-1]
    with gzip.open(os.path.join(data_dir, "mpcorb-distant-2019.txt.gz")) as f:
        distant = f.read().split(b"\n")[:-1]
    with open(os.path.join(data_dir, "mpcorb-nea-2019.txt.gz"), "rb") as f:
        nea_gz = f.read()
    with open(os.path.join(data_dir, "cometels-2021-sample.txt"), "rb") as f:
        comets = f.read().split(b"\n")[:-1]

    rng = random.Random(20261207)
    tricky = synthetic_records(rng, varied, 30000)
    nea_catalogue = catalogue_from(header, nea)
    comet_tricky = synthetic_comets(rng, comets, 20000)
    tricky_bad_first = [varied[0][:30] + b"x" + varied[0][31:]]
    cases = [
        ("varied.DAT", catalogue_from(header, varied), None),
        ("nea.DAT", nea_catalogue, None),
        ("nea.DAT.gz", nea_catalogue, gzip.compress(nea_catalogue, 6)),
        ("nea-multimember.gz", nea_catalogue,
         gzip.compress(catalogue_from(header, [])) + gzip.compress(catalogue_from([], nea))),
        ("distant-crlf.DAT", catalogue_from(header, distant, crlf=True), None),
        ("tricky.DAT", catalogue_from(header, tricky), None),
        ("tricky-crlf-unterminated.DAT", catalogue_from(header, tricky, crlf=True, final_newline=False), None),
        ("tricky.DAT.gz", catalogue_from(header, tricky), gzip.compress(catalogue_from(header, tricky), 1)),
        ("header-only.DAT", catalogue_from(header, []), None),
        ("short-header.DAT", catalogue_from(header[:10], []), None),
        ("title-inside.DAT", catalogue_from([b"xx " + header[0] + b" yy"] + header[1:], varied[:50]), None),
        ("title-lowercase.DAT", catalogue_from([header[0].lower()] + header[1:], varied[:5]), None),
        ("title-on-line-2.DAT", catalogue_from([b""] + header, varied[:5]), None),
        ("empty.DAT", b"", None),
        ("last-record-unterminated.DAT", catalogue_from(header, varied[:3], final_newline=False), None),
        ("last-record-cr-only.DAT", catalogue_from(header, varied[:3], final_newline=False) + b"\r", None),
        ("cr-only-line-ends.DAT", b"\r".join(header + varied[:20]) + b"\r", None),
        ("every-record-skipped.DAT", catalogue_from(header, [v[:100] for v in varied[:150]]), None),
        # Headerless minor-planet files, such as NEA.txt.
        ("NEA.txt", catalogue_from([], nea), None),
        ("NEA.txt.gz", catalogue_from([], nea), nea_gz),
        ("headerless-blank-lines-first.txt", catalogue_from([b"", b""], distant), None),
        ("headerless-tricky-crlf.txt", catalogue_from(varied[:1], tricky, crlf=True), None),
        ("headerless-first-skipped-is-bad.txt", catalogue_from([], tricky_bad_first + varied), None),
        # The extended packed form first (2026 CA620), and a look-alike of it.
        ("DAILY-extended-first.txt", catalogue_from([], [b"_QC0000" + nea[0][7:]] + nea[:50]), None),
        ("DAILY-lookalike-first.txt", catalogue_from([], [b"_QI0000" + nea[0][7:]] + nea[:50]), None),
        ("comets-extended-first.txt", catalogue_from([], [comets[0][:4] + b"P_WY0Mpc" + comets[0][12:]] + comets), None),
        # The comet file, CometEls.txt.
        ("CometEls.txt", catalogue_from([], comets), None),
        ("CometEls.txt.gz", catalogue_from([], comets), gzip.compress(catalogue_from([], comets))),
        ("comets-tricky.txt", catalogue_from(comets[:1], comet_tricky), None),
        ("comets-tricky-crlf-unterminated.txt", catalogue_from([b""] + comets[:1], comet_tricky, crlf=True,
                                                               final_newline=False), None),
        ("comets-first-line-broken.txt", catalogue_from([comets[0][:40] + b"x" + comets[0][41:]], comets), None),
        # A byte-order mark first, as Windows editors write it, and a fragment of two letters.
        ("NEA-bom.txt", b"\xef\xbb\xbf" + catalogue_from([], nea), None),
        ("CometEls-bom-fragment.txt", b"\xef\xbb\xbf" + catalogue_from([], [c[:10] + b"bt" + c[12:] for c in comets
                                                                              if c[:4].strip()] + comets), None),
        # Neither: these stay bad.
        ("text.txt", b"Orbital elements of comets\n" + catalogue_from([], comets), None),
        ("blank-lines-only.txt", b"\n\r\n\n", None),
        ("record-in-comet-file.txt", catalogue_from(comets[:3] + varied[:3], []), None),
        ("comet-after-header.DAT", catalogue_from(header, comets[:5]), None),
    ]
    # Selections, alone and combined, against the plain filter in the reference.
    varied_catalogue = catalogue_from(header, varied)
    tricky_catalogue = catalogue_from(header, tricky)
    distant_catalogue = catalogue_from(header, distant)
    selections = [
        ("varied-bright", varied_catalogue, {"max_magnitude": 12.0}),
        ("varied-numbered", varied_catalogue, {"numbered": True}),
        ("varied-each-class", varied_catalogue, {"classes": list(reference_convert.CLASSES)[:8]}),
        ("varied-bodies", varied_catalogue,
         {"bodies": [b"4", b"ceres", b"(433)  EROS", b"2019 XX9", b"6344 p-l", b"Pallas", b"nowhere"]}),
        ("nea-pha-bright-limit", nea_catalogue, {"classes": ["pha", "km-neo"], "max_magnitude": 17.5, "limit": 300}),
        ("nea-aten-atira-numbered", nea_catalogue, {"classes": ["aten", "atira"], "numbered": True}),
        ("nea-limit-0", nea_catalogue, {"limit": 0}),
        ("distant-tno-classes", distant_catalogue, {"classes": ["plutino", "cubewano", "sdo", "resonant-tno"]}),
        ("distant-tno-centaur", distant_catalogue, {"classes": ["tno", "centaur"], "max_magnitude": 7.25}),
        ("tricky-everything", tricky_catalogue,
         {"max_magnitude": 16.0, "numbered": True, "classes": ["mars-crosser", "hilda", "trojan", "neo"],
          "bodies": [b"1", b"2", b"3", b"5", b"Victoria-Ann Bee", b"xyla"]}),
        ("tricky-bright", tricky_catalogue, {"max_magnitude": -0.5}),
    ]
    # The layout of the planetarium's newer releases.
    numbered_comets = [c for c in comets if c[:4].strip()]
    interstellar = [c[:4] + b"I" + (b"K17U010" if i % 2 else c[5:12]) + c[12:] for i, c in enumerate(numbered_comets)]
    layouts = [
        ("varied-current.DAT", catalogue_from(header, varied)),
        ("tricky-current.DAT", tricky_catalogue),
        ("CometEls-current.txt", catalogue_from([], comets)),
        ("comets-tricky-current.txt", catalogue_from(comets[:1], comet_tricky)),
        ("comets-interstellar-current.txt", catalogue_from([], interstellar)),
    ]
    with tempfile.TemporaryDirectory() as workdir:
        results = [run_case(binary, workdir, name, data, stored) for name, data, stored in cases]
        results += [run_case(binary, workdir, name, data, None, options) for name, data, options in selections]
        results += [run_case(binary, workdir, name, data, layout="current") for name, data in layouts]
    print("%d passed, %d failed" % (results.count(True), results.count(False)))
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
