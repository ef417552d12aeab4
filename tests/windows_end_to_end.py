#!/usr/bin/env python3
"""Runs quelvarn.exe under Wine as a Windows user would: a conversion into a
user profile with a non-ASCII name, gzip and CR LF input, every refusal and
failure, NUL as output, a full disk and Ctrl-C in the middle of a run. Each
must leave the previous catalogue byte for byte as it was and no stray file.
Then INPUT as a URL, read with WinHTTP from a server on 127.0.0.1: the
cases of url_end_to_end.py over plain HTTP.

usage: windows_end_to_end.py QUELVARN_EXE SOURCE_DIR

What Wine cannot imitate is said where it matters, and not tested here:
Ctrl-Break and closing the console window (Wine delivers only SIGINT, as
Ctrl-C), and a target held open by another program without sharing (share
modes bind only Windows programs, and the test writes no helper for it).
Wine gives the program a console only on a terminal, so the console is
tested on a pseudo-terminal; Wine's console adds its own cursor sequences.
"""

import gzip
import os
import pty
import resource
import signal
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import reference_convert  # noqa: E402
import url_end_to_end  # noqa: E402

OLD = b"[old]\r\nname = the catalogue the user already has\r\n"


def crlf(text):
    return text.replace(b"\n", b"\r\n")


def windows_path(path):
    """The Windows spelling of a path under Wine's Z: drive."""
    return "Z:" + path.replace("/", "\\")


class Runner:
    def __init__(self, exe, source_dir):
        self.exe = exe
        self.source_dir = source_dir
        with open(os.path.join(source_dir, "tests/data/mpcorb-header.txt"), "rb") as f:
            self.header = f.read()
        with open(os.path.join(source_dir, "tests/data/mpcorb-records.txt"), "rb") as f:
            self.records = f.read()
        self.catalogue = self.header + self.records
        self.failures = []
        self.passed = 0

    def command(self, *args):
        return ["wine", self.exe, *args]

    def run(self, *args, preexec=None):
        def once():
            # No terminal on standard input: Wine would give the run a console.
            return subprocess.run(self.command(*args), stdin=subprocess.DEVNULL, capture_output=True,
                                  preexec_fn=preexec, timeout=120)

        got = once()
        if got.returncode != 0 and not got.stdout and not got.stderr:
            # The program says why whenever it fails; a failure with both
            # streams empty is Wine losing the run, as a busy wineserver
            # rarely does just after a console has closed. Once is enough.
            print("note: Wine ended a run without a word; running it again: %s" % " ".join(args))
            got = once()
        return got

    def check(self, name, condition, detail=""):
        if condition:
            self.passed += 1
        else:
            self.failures.append(name)
            print("FAILED: %s %s" % (name, detail))

    def expect_failure(self, name, got, message, cause_path=None):
        """A refusal: status 1, the message between empty lines and the banner,
        and, where the system gave one, its cause on standard error."""
        self.check(name + ": status", got.returncode == 1, got.returncode)
        self.check(name + ": console", got.stdout == crlf(b"\n" + message + b"\n" + reference_convert.BANNER),
                   got.stdout)
        if cause_path is None:
            self.check(name + ": nothing on standard error", got.stderr == b"", got.stderr)
        else:
            prefix = b"quelvarn: " + cause_path + b": "
            self.check(name + ": cause on standard error",
                       got.stderr.startswith(prefix) and got.stderr.endswith(b"\r\n") and got.stderr.count(b"\n") == 1
                       and len(got.stderr) > len(prefix) + 2, got.stderr)


def conversions(t, work):
    """Plain, gzip and CR LF input into a profile path with a non-ASCII name,
    byte for byte what the reference writes, with CR LF line ends."""
    console, output, _ = reference_convert.convert(t.catalogue)
    data = os.path.join(work, "Zoë", "AppData", "Roaming", "Stellarium", "data")
    os.makedirs(data)
    target = os.path.join(data, "ssystem_minor.ini")
    with open(target, "wb") as f:
        f.write(OLD)
    inputs = {
        "MPCORB.DAT": t.catalogue,
        "MPCORB.DAT.gz": gzip.compress(t.catalogue),
        "MPCORB-crlf.DAT": crlf(t.catalogue),
    }
    for name, data_bytes in inputs.items():
        source = os.path.join(work, name)
        with open(source, "wb") as f:
            f.write(data_bytes)
        got = t.run(windows_path(source), windows_path(target))
        t.check(name + ": status", got.returncode == 0, got.returncode)
        t.check(name + ": console", got.stdout == crlf(console), got.stdout[-300:])
        t.check(name + ": no errors", got.stderr == b"", got.stderr)
        with open(target, "rb") as f:
            t.check(name + ": output", f.read() == crlf(output))
        t.check(name + ": no stray file", os.listdir(data) == ["ssystem_minor.ini"], os.listdir(data))
    # A headerless file whose first record has the extended packed designation
    # (2026 CA620), and a comet file whose first line has one (P/2032 YT4130).
    with open(os.path.join(t.source_dir, "tests", "data", "cometels-2021-sample.txt"), "rb") as f:
        comets = f.read()
    extended = {
        "DAILY.DAT": b"_QC0000" + t.records[7:165] + b"          2026 CA620         20261231\n" + t.records,
        "CometEls.txt": comets[:4] + b"P_WY0Mpc" + comets[12:comets.index(b"\n") + 1] + comets,
    }
    for name, data_bytes in extended.items():
        source = os.path.join(work, name)
        with open(source, "wb") as f:
            f.write(data_bytes)
        expected = reference_convert.convert(data_bytes)
        got = t.run(windows_path(source), windows_path(target))
        with open(target, "rb") as f:
            t.check(name + ": the extended packed form first", got.returncode == 0 and expected[2] == 0
                    and got.stdout == crlf(expected[0]) and f.read() == crlf(expected[1]), got.stdout[-300:])
    got = t.run(windows_path(os.path.join(work, "MPCORB.DAT")), "NUL")
    t.check("NUL as output", got.returncode == 0 and got.stdout == crlf(console), got)
    # Past 20,000 bodies the planetarium starts slowly: said of a file, not of NUL.
    nea = windows_path(os.path.join(t.source_dir, "tests", "data", "mpcorb-nea-2019.txt.gz"))
    for out, noted in ((windows_path(target), True), ("NUL", False)):
        got = t.run("--limit", "20001", nea, out)
        t.check("size note: " + out, got.returncode == 0 and
                (b"\r\n Note: the catalogue holds 20001 bodies;" in got.stdout) == noted, got.stdout[-300:])
    # The shipped sample, against what the Linux build must write.
    got = t.run(windows_path(os.path.join(t.source_dir, "data", "MPCORB.sample.DAT")), windows_path(target))
    with open(os.path.join(t.source_dir, "tests", "data", "sample.expected.ini"), "rb") as f:
        expected = f.read()
    with open(target, "rb") as f:
        t.check("sample: as the Linux build, with CR LF", got.returncode == 0 and f.read() == crlf(expected))


def command_line(t):
    got = t.run("--version")
    t.check("--version", got.returncode == 0 and got.stdout == b"quelvarn " + reference_convert.project_version() +
            b" (gzip: zlib)\r\n", got)
    got = t.run()
    t.check("no arguments: usage", got.returncode == 2 and b"\r\n <file In> <file Out>\r\n" in got.stdout, got)


def on_terminal(t, *args):
    """Runs on a pseudo-terminal, where Wine gives the program a console."""
    main, side = pty.openpty()
    p = subprocess.Popen(t.command(*args), stdin=side, stdout=side, stderr=side)
    os.close(side)
    seen = b""
    while True:
        try:
            chunk = os.read(main, 65536)
        except OSError:  # the terminal's other side has closed
            break
        if not chunk:
            break
        seen += chunk
    os.close(main)
    return p.wait(timeout=60), seen


def console(t, work):
    """The console proper (WriteConsoleW): non-ASCII paths shown as they are,
    and CON as the output."""
    source = os.path.join(work, "MPCORB.DAT")
    missing = windows_path(os.path.join(work, "Zoë.DAT"))
    status, seen = on_terminal(t, missing, windows_path(os.path.join(work, "out.ini")))
    t.check("console: missing input", status == 1 and (" file " + missing + " not exits").encode() in seen, seen)
    status, seen = on_terminal(t, windows_path(source), "CON")
    t.check("console: CON as output", status == 0 and b"[1ceres]\r" in seen and b" Finished\r" in seen, seen[-300:])


def refusals(t, work):
    """Every refusal leaves the catalogue the user has exactly as it was."""
    folder = os.path.join(work, "refusals")
    os.makedirs(os.path.join(folder, "sub"))
    source, target = os.path.join(folder, "MPCORB.DAT"), os.path.join(folder, "out.ini")
    notes = os.path.join(folder, "notes.txt")
    for path, data in ((source, t.catalogue), (target, OLD), (notes, b"not a catalogue\r\n")):
        with open(path, "wb") as f:
            f.write(data)
    os.link(source, os.path.join(folder, "hard.DAT"))
    readonly = os.path.join(folder, "readonly.ini")
    with open(readonly, "wb") as f:
        f.write(OLD)
    os.chmod(readonly, 0o444)  # Wine shows it as FILE_ATTRIBUTE_READONLY

    def w(name):
        return windows_path(os.path.join(folder, name)).encode()

    missing = w("manquée.DAT")
    t.expect_failure("missing input", t.run(missing.decode(), w("out.ini").decode()),
                     b" file " + missing + b" not exits", missing)
    t.expect_failure("folder as input", t.run(w("sub").decode(), w("out.ini").decode()),
                     b" file " + w("sub") + b" not exits", w("sub"))
    t.expect_failure("not a catalogue", t.run(w("notes.txt").decode(), w("out.ini").decode()),
                     b" file " + w("notes.txt") + b" is bad")
    for out in (w("MPCORB.DAT"), w("hard.DAT"), w("sub\\..\\MPCORB.DAT")):
        t.expect_failure("same file " + out.decode(), t.run(w("MPCORB.DAT").decode(), out.decode()),
                         b" file " + out + b" is the input file")
    for out in (w("readonly.ini"), w("sub"), w("no\\such\\folder\\out.ini")):
        t.expect_failure("unwritable " + out.decode(), t.run(w("MPCORB.DAT").decode(), out.decode()),
                         b" file " + out + b" cannot be written", out)
    with open(readonly, "rb") as f:
        t.check("read-only target unchanged", f.read() == OLD)
    with open(target, "rb") as f:
        t.check("target unchanged", f.read() == OLD)
    t.check("no stray file", sorted(os.listdir(folder)) ==
            ["MPCORB.DAT", "hard.DAT", "notes.txt", "out.ini", "readonly.ini", "sub"], os.listdir(folder))


def updates(t, work):
    """--update keeps a catalogue's own line ends, LF or CR LF, gives its new
    sections the same, and changes nothing when run again; a selection of
    nothing creates no catalogue; a read-only one is refused."""
    folder = os.path.join(work, "Zoë", "mise à jour")
    os.makedirs(folder)
    sample = windows_path(os.path.join(t.source_dir, "data", "MPCORB.sample.DAT"))
    curated = b"# mine\n[1ceres]\nname = Ceres\nminor_planet_number = 1\nradius = 470\nslope_parameter = 0.12\n"
    for name, text in (("lf.ini", curated), ("crlf.ini", crlf(curated))):
        target = os.path.join(folder, name)
        with open(target, "wb") as f:
            f.write(text)
        args = ("--update", "--body", "Ceres", "--body", "Pallas", sample, windows_path(target))
        got = t.run(*args)
        with open(target, "rb") as f:
            updated = f.read()
        t.check(name + ": updated", got.returncode == 0 and b" Updated sections: 1\r\n Added sections: 1\r\n" in got.stdout,
                got.stdout)
        ends_kept = updated.count(b"\r\n") == (0 if text == curated else updated.count(b"\n"))
        t.check(name + ": line ends kept", ends_kept and b"radius = 470" in updated and b"[2pallas]" in updated,
                updated)
        t.check(name + ": G follows H", b"slope_parameter = 0.15" in updated, updated)
        t.run(*args)
        with open(target, "rb") as f:
            t.check(name + ": the same again", f.read() == updated)
    got = t.run("--body", "Cerse", sample, windows_path(os.path.join(folder, "new.ini")))
    t.check("nothing selected: refused", got.returncode == 1 and b" Not found: Cerse\r\n" in got.stdout, got.stdout)
    readonly = os.path.join(folder, "readonly.ini")
    with open(readonly, "wb") as f:
        f.write(OLD)
    os.chmod(readonly, 0o444)
    got = t.run("--update", sample, windows_path(readonly))
    t.check("read-only: refused", got.returncode == 1 and b"Starting" not in got.stdout, got.stdout)
    with open(readonly, "rb") as f:
        t.check("read-only: unchanged", f.read() == OLD)
    t.check("updates: no stray file", sorted(os.listdir(folder)) == ["crlf.ini", "lf.ini", "readonly.ini"],
            os.listdir(folder))


def faults(t, work):
    """A full disk (a file-size limit, which Wine reports as a full disk) and
    Ctrl-C in the middle of a run."""
    folder = os.path.join(work, "faults")
    os.makedirs(folder)
    source, target = os.path.join(folder, "MPCORB.DAT"), os.path.join(folder, "out.ini")
    big = t.header + t.records * 30  # about 24000 records
    with open(source, "wb") as f:
        f.write(big)
    with open(target, "wb") as f:
        f.write(OLD)

    def limited():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (4 << 20, 4 << 20))

    got = t.run(windows_path(source), windows_path(target), preexec=limited)
    t.check("disk full: status", got.returncode == 1, got.returncode)
    t.check("disk full: message", got.stdout.endswith(crlf(b"\n file " + windows_path(target).encode() +
                                                          b" cannot be written\n" + reference_convert.BANNER)),
            got.stdout[-200:])
    t.check("disk full: cause", got.stderr.startswith(b"quelvarn: " + windows_path(target).encode() + b": "),
            got.stderr)

    # Ctrl-C: Wine turns SIGINT into CTRL_C_EVENT for the console handlers.
    fifo = os.path.join(folder, "feed")
    os.mkfifo(fifo)
    p = subprocess.Popen(t.command(windows_path(fifo), windows_path(target)), stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE)
    with open(fifo, "wb") as feed:
        feed.write(big[:len(big) // 2])
        feed.flush()
        seen = b""
        while b"Processing line: 10000" not in seen:
            chunk = p.stdout.read1(4096)
            if not chunk:
                break
            seen += chunk
        p.send_signal(signal.SIGINT)
        p.communicate(timeout=60)
    t.check("Ctrl-C: reached the records", b"Processing line: 10000" in seen, seen[-200:])
    t.check("Ctrl-C: run stopped with a failure", p.returncode != 0, p.returncode)
    os.unlink(fifo)
    with open(target, "rb") as f:
        t.check("faults: target unchanged", f.read() == OLD)
    t.check("faults: no stray file", sorted(os.listdir(folder)) == ["MPCORB.DAT", "out.ini"], os.listdir(folder))


class WineHost(url_end_to_end.Host):
    """quelvarn.exe under Wine: CR LF console lines, Windows paths, plain
    HTTP only (no test authority for WinHTTP); Ctrl-C and the console are
    tested above."""

    line_end = b"\r\n"
    https = False
    signals = False
    terminal = False
    pipes = False

    def command(self, *args):
        return ["wine", self.exe, *args]

    def path(self, path):
        return windows_path(path)

    def own_words(self, stderr):
        # A wineserver the run starts under its file-size limit complains
        # of its own registry files on the same stream.
        return b"".join(line for line in stderr.splitlines(keepends=True) if not line.startswith(b"wineserver:"))


def urls(t):
    """INPUT as a URL, read with WinHTTP from a server on 127.0.0.1."""
    passed, failures = url_end_to_end.run_cases(WineHost(t.exe), t.source_dir)
    t.passed += passed
    t.failures += ["url: " + name for name in failures]


def main():
    exe, source_dir = sys.argv[1], sys.argv[2]
    # Wine reads the arguments in the locale's encoding: UTF-8, as the tests write them.
    os.environ["LC_ALL"] = "C.UTF-8"
    t = Runner(exe, source_dir)
    with tempfile.TemporaryDirectory() as work:
        command_line(t)
        conversions(t, work)
        console(t, work)
        refusals(t, work)
        updates(t, work)
        faults(t, work)
        urls(t)
    print("%d passed, %d failed" % (t.passed, len(t.failures)))
    return 1 if t.failures else 0


if __name__ == "__main__":
    sys.exit(main())
