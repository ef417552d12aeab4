#!/usr/bin/env python3
"""INPUT given as a URL, end to end, against servers of our own on
127.0.0.1 (never the internet): each URL conversion equals the conversion
of the same file; a second run is answered 304 and converts the kept copy;
redirects are followed; every broken transfer exits 1 and leaves OUTPUT,
the kept copy and both folders as they were; progress is drawn only on a
terminal; Ctrl-C leaves no stray file; HTTPS is refused until the test's
own authority is trusted.

usage: url_end_to_end.py QUELVARN SOURCE_DIR
tests/windows_end_to_end.py runs the same cases against quelvarn.exe.
"""

import gzip
import os
import pty
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from http_test_server import HttpTestServer, Route  # noqa: E402

OLD = b"the catalogue the user already has\n"
HTML = b"<!DOCTYPE html>\n<html><body>Service unavailable</body></html>\n"


class Host:
    """How the program is run here: on Linux directly; see
    windows_end_to_end.py for Wine."""

    line_end = b"\n"
    https = True
    signals = True
    terminal = True
    pipes = True  # a FIFO can stand in a file's place

    def __init__(self, exe):
        self.exe = exe

    def command(self, *args):
        return [self.exe, *args]

    def path(self, path):
        return path

    def own_words(self, stderr):
        """What the program itself wrote to standard error."""
        return stderr


class Suite:
    def __init__(self, host, source_dir, work):
        self.host, self.work = host, work
        data = os.path.join(source_dir, "tests/data")
        with open(os.path.join(data, "mpcorb-header.txt"), "rb") as f:
            self.header = f.read()
        self.mpcorb = self.header
        with open(os.path.join(data, "mpcorb-records.txt"), "rb") as f:
            self.mpcorb += f.read()
        with open(os.path.join(data, "cometels-2021-sample.txt"), "rb") as f:
            self.comets = f.read()
        self.gz = gzip.compress(self.mpcorb, mtime=0)
        self.env = {k: v for k, v in os.environ.items() if "proxy" not in k.lower()}
        self.env["QUELVARN_TEST_STALL_SECONDS"] = "1"
        self.env["QUELVARN_TEST_TIME_LIMIT_SECONDS"] = "3"
        self.cache = os.path.join(work, "cache")
        self.out_dir = os.path.join(work, "out")
        os.makedirs(self.out_dir)
        self.failures, self.passed = [], 0

    def check(self, name, condition, detail=""):
        if condition:
            self.passed += 1
        else:
            self.failures.append(name)
            print("FAILED: %s %r" % (name, detail)[:2000])

    def run(self, *args, env=None, timeout=120, **kwargs):
        return subprocess.run(self.host.command(*args), capture_output=True, env=env or self.env, timeout=timeout,
                              **kwargs)

    def convert_url(self, url, out, *options, env=None):
        return self.run("--cache-dir", self.host.path(self.cache), *options, url, self.host.path(out), env=env)

    def lines(self, *lines):
        return b"".join(line + self.host.line_end for line in lines)

    def failure_text(self, url, what):
        return self.lines(b"", b" file " + url.encode() + what, b"", b" quelvarn 1.0.0", b"")

    def snapshot(self):
        def files(folder):
            result = {}
            for name in sorted(os.listdir(folder)) if os.path.isdir(folder) else []:
                with open(os.path.join(folder, name), "rb") as f:
                    result[name] = f.read()
            return result
        return files(self.cache), files(self.out_dir)


def conversions(t, server):
    """Each kind of file by URL equals the file converted from disk."""
    for name, data in [("plain", t.mpcorb), ("gzip", t.gz), ("comets", t.comets)]:
        server.routes["/" + name] = Route("file", data)
        source = os.path.join(t.work, name)
        with open(source, "wb") as f:
            f.write(data)
        by_file, by_url = os.path.join(t.out_dir, name + "-file.ini"), os.path.join(t.out_dir, name + "-url.ini")
        expected = t.run(t.host.path(source), t.host.path(by_file))
        got = t.convert_url(server.url("/" + name), by_url)
        t.check(name + ": status", got.returncode == 0 and expected.returncode == 0, got)
        t.check(name + ": console", got.stdout == expected.stdout, got.stdout)
        t.check(name + ": nothing on standard error (no terminal, no progress)", got.stderr == b"", got.stderr)
        with open(by_file, "rb") as a, open(by_url, "rb") as b:
            t.check(name + ": the same catalogue", a.read() == b.read())
    t.check("user agent", all(a == "quelvarn/1.0.0" for a in server.agents), server.agents)


def second_run(t, server):
    """The copy is kept, and the next run asks for it conditionally."""
    url = server.url("/gzip")
    out = os.path.join(t.out_dir, "again.ini")
    got = t.convert_url(url, out)
    t.check("304: status", got.returncode == 0, got)
    said = t.lines(b"") + b" file " + url.encode() + b" not modified: converting the copy kept in "
    t.check("304: said on the console", got.stdout.startswith(said), got.stdout)
    t.check("304: one full transfer for two runs", [s for p, s in server.log if p == "/gzip"] == [200, 304], server.log)
    with open(out, "rb") as a, open(os.path.join(t.out_dir, "gzip-url.ini"), "rb") as b:
        t.check("304: the same catalogue", a.read() == b.read())


def redirects(t, server):
    server.routes["/hop1"] = Route("redirect", code=302, location="/sub/hop2")
    server.routes["/sub/hop2"] = Route("redirect", code=301, location="hop3")
    server.routes["/sub/hop3"] = Route("redirect", code=307, location=server.url("/comets"))
    got = t.convert_url(server.url("/hop1"), os.path.join(t.out_dir, "hops.ini"))
    t.check("redirects followed", got.returncode == 0 and b"End of processing: 923 comets." in got.stdout, got)


def broken_transfers(t, server):
    """Each way a transfer can break, after a good copy of the same URL was
    kept: exit 1, the cause on standard error, everything as it was."""
    server.routes["/switch"] = Route("file", t.gz)
    url = server.url("/switch")
    out = os.path.join(t.out_dir, "ssystem_minor.ini")
    t.check("good copy kept", t.convert_url(url, out).returncode == 0)
    loop = Route("redirect", code=302, location="/switch")
    records = b"".join(t.mpcorb.splitlines(True)[-10:])
    half_line = t.mpcorb[:t.mpcorb.rindex(b"\n", 0, len(t.mpcorb) // 2) + 50]
    cases = [
        ("404", Route("status", code=404), b" cannot be read", b"HTTP 404 Not Found"),
        ("500", Route("status", code=500), b" cannot be read", b"HTTP 500 Internal Server Error"),
        ("redirect loop", loop, b" cannot be read", b"more than 10 redirects"),
        ("redirect to ftp", Route("redirect", code=302, location="ftp://127.0.0.1/x"), b" cannot be read", b"not http"),
        ("body shorter than announced", Route("short", t.gz[:5000]), b" cannot be read", b"ended after 5000 of"),
        ("stall", Route("stall", t.gz[:5000], stall=5), b" cannot be read", b"nothing received for 1 s"),
        # Before the head is whole, the library may hold bytes it does not count.
        ("no answer", Route("silent", stall=5), b" cannot be read", b"slower than 1 kB/s for 1 s"),
        ("gzip cut short, no length", Route("unannounced", t.gz[:-100]), b" cannot be read", b"truncated"),
        ("plain cut short, no length", Route("unannounced", half_line), b" cannot be read", b"middle of a line"),
        ("length not a number", Route("bad length", t.gz), b" cannot be read", b"not a number: 9999"),
        ("two lengths that differ", Route("two lengths", t.mpcorb), b" cannot be read", b"not a number: %d, " % len(t.mpcorb)),
        ("trickle", Route("trickle", t.gz), b" cannot be read", b"slower than 1 kB/s for 1 s"),
        ("head trickled", Route("slow head", t.gz), b" cannot be read", b"slower than 1 kB/s for 1 s"),
        ("endless body", Route("endless", records), b" cannot be read", b"not finished within 3 s"),
        ("huge head", Route("huge head", t.gz), b" cannot be read", b"the server's response header is too large"),
        # Complete, with a new ETag, but no orbit file: the good copy stays.
        ("HTML page", Route("file", HTML), b" is bad", None),
        ("empty body", Route("file", b""), b" is bad", None),
        ("MPCORB header alone", Route("file", t.header), b" is bad", None),
        ("empty gzip", Route("file", gzip.compress(b"", mtime=0)), b" is bad", None),
    ]
    for name, route, what, cause in cases:
        with open(out, "wb") as f:
            f.write(OLD)
        before = t.snapshot()
        server.routes["/switch"] = route
        got = t.convert_url(url, out)
        t.check(name + ": status", got.returncode == 1, got)
        # A failure once the conversion has begun follows its first lines.
        started = t.lines(b"", b" Starting", b"")
        t.check(name + ": console", got.stdout in (t.failure_text(url, what), started + t.failure_text(url, what)),
                got.stdout)
        expected_stderr = b"" if cause is None else b"quelvarn: " + url.encode() + b": "
        t.check(name + ": cause", got.stderr.startswith(expected_stderr) and (cause or b"") in got.stderr, got.stderr)
        t.check(name + ": output, kept copy and folders as they were", t.snapshot() == before)
    refused = "http://127.0.0.1:%d/x" % free_port()
    got = t.convert_url(refused, out)
    t.check("refused: status and console", got.returncode == 1 and got.stdout == t.failure_text(refused, b" cannot be read"),
            got)


def damaged_copies(t, server):
    """A kept copy changed on disk proves false: it is dropped, the file is
    downloaded again (unconditionally, once) and the catalogue is whole."""
    out = os.path.join(t.out_dir, "healed.ini")
    for name, data in [("plain", t.mpcorb), ("gzip", t.gz)]:
        expected = os.path.join(t.out_dir, name + "-url.ini")
        url = server.url("/" + name)
        server.routes["/" + name] = Route("file", data)
        copy = [os.path.join(t.cache, f) for f in os.listdir(t.cache) if f.endswith("-" + name)][0]
        for damage in ("cut to half", "one byte changed"):
            with open(copy, "r+b") as f:
                if damage == "cut to half":
                    f.truncate(len(data) // 2)
                else:
                    f.seek(len(data) // 2)
                    byte = f.read(1)
                    f.seek(len(data) // 2)
                    f.write(bytes([byte[0] ^ 1]))
            del server.log[:]
            got = t.convert_url(url, out)
            with open(out, "rb") as a, open(expected, "rb") as b:
                t.check("%s copy %s: downloaded again, whole" % (name, damage),
                        got.returncode == 0 and a.read() == b.read() and server.log == [("/" + name, 200)],
                        (got, server.log))
            with open(copy, "rb") as f:
                t.check("%s copy %s: healed" % (name, damage), f.read() == data)
    got = t.convert_url(server.url("/gzip"), out)
    t.check("healed copy: answered 304 again", b"not modified" in got.stdout and server.log[-1] == ("/gzip", 304),
            server.log)
    if not t.host.pipes:
        return
    # A pipe in the place of the lock waits for no writer.
    expected = os.path.join(t.out_dir, "gzip-url.ini")
    copy = [os.path.join(t.cache, f) for f in os.listdir(t.cache) if f.endswith("-gzip")][0]
    for suffix in (".lock",):
        path = copy + suffix
        os.remove(path)
        os.mkfifo(path)
        try:
            got = t.run("--cache-dir", t.cache, server.url("/gzip"), out, timeout=20)
        except subprocess.TimeoutExpired as e:
            got = e
        with open(out, "rb") as a, open(expected, "rb") as b:
            t.check("a pipe as the copy%s: converted" % suffix, getattr(got, "returncode", None) == 0 and
                    a.read() == b.read(), got)
        if os.path.exists(path) and not os.path.isfile(path):
            os.remove(path)


def copy_not_kept(t, server):
    """A cache folder that cannot take the copy (here a file-size limit
    below it) costs the copy, said once; on a 304 there is nothing to keep
    and nothing to say, even in a folder no one may write."""
    import resource

    def limited():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (64 << 10, 64 << 10))

    server.routes["/big"] = Route("file", t.mpcorb)
    cache = os.path.join(t.work, "small-cache")
    out = os.path.join(t.out_dir, "ceres.ini")
    got = t.run("--cache-dir", t.host.path(cache), "--body", "Ceres", server.url("/big"), t.host.path(out),
                preexec_fn=limited)
    prefix = b"quelvarn: " + t.host.path(cache).encode()
    t.check("copy not kept: converted all the same", got.returncode == 0, got)
    said = t.host.own_words(got.stderr)
    t.check("copy not kept: said once", said.startswith(prefix) and said.count(b"\n") == 1 and
            said.endswith(b" (the download is not kept)" + t.host.line_end), got.stderr)
    t.check("copy not kept: no stray file", os.listdir(cache) == [], os.listdir(cache))
    if os.geteuid() == 0:
        return  # root writes in any folder
    got = t.convert_url(server.url("/comets"), out)
    os.chmod(t.cache, 0o555)
    try:
        got = t.convert_url(server.url("/comets"), out)
    finally:
        os.chmod(t.cache, 0o755)
    t.check("304 in a read-only cache: nothing said", got.returncode == 0 and b"not modified" in got.stdout and
            got.stderr == b"", got)


def password(t, server):
    """A URL's password is shown and kept as ***."""
    secret = server.url("/comets").replace("://", "://reader:s3cret@")
    shown = secret.replace("s3cret", "***").encode()
    runs = [t.convert_url(secret, os.path.join(t.out_dir, "pw.ini")) for _ in range(2)]
    missing = secret.replace("/comets", "/nowhere")
    runs.append(t.convert_url(missing, os.path.join(t.out_dir, "pw.ini")))
    said = b"".join(r.stdout + r.stderr for r in runs)
    t.check("password: converted", runs[0].returncode == 0 and b" file " + shown + b" not modified" in said, said)
    t.check("password: never shown", b"s3cret" not in said and
            b"quelvarn: " + shown.replace(b"/comets", b"/nowhere") + b": HTTP 404" in said, said)
    kept = b"".join(open(os.path.join(t.cache, f), "rb").read() for f in os.listdir(t.cache))
    t.check("password: never kept", b"s3cret" not in kept and b"url " + shown in kept)


def free_port():
    import socket
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def interrupted(t, server):
    """Ctrl-C while the transfer waits: nothing left behind."""
    server.routes["/slow"] = Route("stall", t.gz[:20000], stall=20)
    out = os.path.join(t.out_dir, "ssystem_minor.ini")
    before = t.snapshot()
    env = dict(t.env, QUELVARN_TEST_STALL_SECONDS="30")
    proc = subprocess.Popen(t.host.command("--cache-dir", t.cache, server.url("/slow"), out), env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 10
    while not any(p == "/slow" for p, _ in server.log) and time.monotonic() < deadline:
        time.sleep(0.05)
    time.sleep(0.5)
    proc.send_signal(signal.SIGINT)
    t.check("Ctrl-C: ends the run", proc.wait(timeout=30) == -signal.SIGINT, proc.returncode)
    t.check("Ctrl-C: nothing left behind", t.snapshot() == before)


def progress(t, server):
    """On a terminal, one line drawn in place and erased at the end."""
    try:
        master, slave = pty.openpty()
    except OSError as e:
        # A chroot or a minimal container may have no /dev/pts.
        print("skipped: terminal progress, no pseudo-terminal here (%s)" % e)
        return
    out = os.path.join(t.out_dir, "tty.ini")
    server.routes["/tty"] = Route("file", t.mpcorb)
    proc = subprocess.Popen(t.host.command("--cache-dir", t.cache, server.url("/tty"), out), env=t.env,
                            stdout=subprocess.DEVNULL, stderr=slave)
    os.close(slave)
    drawn = b""
    while True:
        try:
            piece = os.read(master, 4096)
        except OSError:
            break
        if not piece:
            break
        drawn += piece
    os.close(master)
    proc.wait()
    last = drawn.rsplit(b"Downloading: ", 1)[-1]
    t.check("terminal: progress drawn", proc.returncode == 0 and b"\r Downloading: " in drawn, drawn)
    t.check("terminal: erased at the end", last.endswith(b"\r") and last.split(b"\r")[-2].strip() == b"", drawn)


def https(t, server):
    """Verified always; the test's own authority only when pointed at."""
    cert, key = os.path.join(t.work, "cert.pem"), os.path.join(t.work, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                    "-keyout", key, "-out", cert, "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                    "subjectAltName=IP:127.0.0.1"], check=True, capture_output=True)
    secure = HttpTestServer({"/comets": Route("file", t.comets),
                             "/down": Route("redirect", code=302, location=server.url("/comets"))},
                            certificate=(cert, key))
    try:
        out = os.path.join(t.out_dir, "tls.ini")
        got = t.convert_url(secure.url("/comets"), out)
        t.check("https, authority not trusted: refused", got.returncode == 1 and b"certificate" in got.stderr, got)
        trusted = dict(t.env, QUELVARN_TEST_CA_FILE=cert)
        got = t.convert_url(secure.url("/comets"), out, env=trusted)
        t.check("https, authority trusted: converted", got.returncode == 0, got)
        got = t.convert_url(secure.url("/down"), out, env=trusted)
        t.check("https redirected to http: refused",
                got.returncode == 1 and b"from https to http" in got.stderr, got.stderr)
    finally:
        secure.stop()


def default_cache(t, server):
    """Without --cache-dir the copy goes to $XDG_CACHE_HOME/quelvarn."""
    env = dict(t.env, XDG_CACHE_HOME=os.path.join(t.work, "xdg"))
    got = t.run(server.url("/comets"), os.path.join(t.out_dir, "xdg.ini"), env=env)
    kept = os.listdir(os.path.join(t.work, "xdg", "quelvarn"))
    t.check("default cache folder", got.returncode == 0 and len(kept) == 3, (got, kept))


def unusable_cache(t, server):
    """A cache folder that cannot be made costs the copy, not the conversion."""
    blocked = os.path.join(t.work, "a-file")
    with open(blocked, "wb") as f:
        f.write(b"not a folder")
    got = t.run("--cache-dir", t.host.path(blocked), server.url("/comets"),
                t.host.path(os.path.join(t.out_dir, "uncached.ini")))
    t.check("unusable cache folder: converted all the same", got.returncode == 0, got)
    t.check("unusable cache folder: said on standard error", got.stderr.startswith(
        b"quelvarn: " + t.host.path(blocked).encode() + b": ") and b"not kept" in got.stderr, got.stderr)


def run_cases(host, source_dir):
    """Runs every case the host can; returns (passed, failures)."""
    with tempfile.TemporaryDirectory() as work:
        t = Suite(host, source_dir, work)
        server = HttpTestServer({})
        try:
            conversions(t, server)
            second_run(t, server)
            redirects(t, server)
            broken_transfers(t, server)
            damaged_copies(t, server)
            copy_not_kept(t, server)
            password(t, server)
            unusable_cache(t, server)
            if host.signals:
                interrupted(t, server)
            if host.terminal:
                progress(t, server)
                default_cache(t, server)
            if host.https:
                https(t, server)
        finally:
            server.stop()
        return t.passed, t.failures


def main():
    passed, failures = run_cases(Host(sys.argv[1]), sys.argv[2])
    print("%d checks passed, %d failed" % (passed, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
