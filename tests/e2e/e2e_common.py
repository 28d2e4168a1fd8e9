# SPDX-License-Identifier: GPL-3.0-or-later
"""What the end-to-end drivers share: waiting, reporting, the command-line reference and
the texts the cases use."""

import argparse
import os
import random
import subprocess
import sys
import tempfile
import time


def _from_build(name):
    """The build's value NAME, which CTest hands the drivers in their environment."""
    value = os.environ.get(name)
    if not value:
        sys.exit("%s is not set: run the end-to-end tests through ctest, which takes it from "
                 "the build" % name)
    return value


TITLE_PREFIX = "Code Tarvo "  # the caption, before its version
APP_ID = _from_build("CODETARVO_APP_ID")
CODES_FORMAT = _from_build("CODETARVO_CODES_FORMAT")  # the clipboard format of the codes
INITIAL_PLAIN = b"Saisie"
ERREUR = b"Erreur"
DPI = 96


def _slowness():
    """How much slower than usual the machine may be: CODETARVO_E2E_SLOWNESS (1 when unset)
    multiplies every deadline, for a machine loaded far beyond a build beside the tests."""
    value = os.environ.get("CODETARVO_E2E_SLOWNESS") or "1"
    try:
        factor = float(value)
    except ValueError:
        factor = 0
    if factor <= 0:
        sys.exit("CODETARVO_E2E_SLOWNESS must be a positive number, not %r" % value)
    return factor


# Seconds any single expected change may take, a 1 MB decode included, on a machine busy with
# a build beside the tests. Only a failing wait lasts that long.
WAIT = 30.0 * _slowness()


def pixels(twips):
    return (twips * DPI + 720) // 1440


CLIENT_SIZE = (pixels(9330), pixels(4245))


class Failure(Exception):
    pass


def shown(data, limit=80):
    if data is None:
        return "nothing (no owner)"
    text = repr(data[:limit])
    return text + ("... (%d bytes)" % len(data) if len(data) > limit else "")


def wait_for(predicate, what, timeout=WAIT):
    """Polls PREDICATE until it holds; past TIMEOUT seconds a Failure names WHAT it awaited."""
    started = time.monotonic()
    while True:
        if predicate():
            return
        if time.monotonic() - started > timeout:
            raise Failure("timed out after %.0fs waiting for %s" % (timeout, what))
        time.sleep(0.05)


def as_box_text(text):
    """What copying a box gives for TEXT typed or pasted with LF line breaks: CR LF."""
    return text.replace("\n", "\r\n").encode()


def _code_of_character():
    """Each character of the code page and its code: Windows-1252, with the five positions it
    leaves undefined standing for themselves."""
    table = {}
    for code in range(256):
        try:
            table[bytes([code]).decode("cp1252")] = code
        except UnicodeDecodeError:
            table[chr(code)] = code
    return table


CODE_OF = _code_of_character()


def as_codes(text):
    """The program's own clipboard format of TEXT (UTF-8 bytes): one byte per code."""
    return bytes(CODE_OF[c] for c in text.decode())


def large_text():
    """About a megabyte of plain text with line breaks and accents, ending in an accent."""
    rng = random.Random(20261207)
    letters = "abcdefghijklmnopqrstuvwxyz éèàçù\n"
    text = "".join(rng.choice(letters) for _ in range(1_000_000)) + "é"
    return text.replace("\n", "\r\n")


def run_tool(env, *args, data=None, check=True, timeout=WAIT):
    """Runs the command ARGS in ENV with DATA as its input and gives what it did; a non-zero
    exit is a Failure unless CHECK is off."""
    done = subprocess.run(list(args), input=data, capture_output=True, env=env, timeout=timeout)
    if check and done.returncode != 0:
        raise Failure("%s failed (%d): %s" % (" ".join(args[:3]), done.returncode,
                                             done.stderr.decode(errors="replace").strip()))
    return done


class Program:
    """One running codetarvo APP (a path, or a command as a list) on DESKTOP. Its messages go
    to a file: a pipe nobody reads could fill up and stop it."""

    def __init__(self, desktop, app):
        self.desktop = desktop
        self.log = tempfile.TemporaryFile(dir=desktop.workdir)
        command = [app] if isinstance(app, str) else list(app)
        self.process = subprocess.Popen(command, env=desktop.env, stdout=subprocess.DEVNULL,
                                        stderr=self.log)

    def alive(self):
        return self.process.poll() is None

    def messages(self):
        self.log.seek(0)
        return self.log.read().decode(errors="replace").strip()

    def stop(self):
        if self.alive():
            self.process.terminate()
        try:
            self.process.wait(WAIT)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait(WAIT)
        self.log.close()


class Cases:
    """Runs named cases on DESKTOP with the program APP, counts them and reaches CLI,
    codetarvo-cli, the desktop's way. A and B are the instances the cases open."""

    def __init__(self, desktop, app, cli):
        self.desktop = desktop
        self.run = desktop.run
        self.app = app
        self.cli = cli
        self.a = None
        self.b = None
        self.passed = 0
        self.failed = 0

    def case(self, name, body):
        started = time.monotonic()
        try:
            body()
        except (Failure, subprocess.TimeoutExpired, OSError) as error:
            self.failed += 1
            print("FAIL %s: %s" % (name, error), flush=True)
        else:
            self.passed += 1
            print("ok   %s (%.1fs)" % (name, time.monotonic() - started), flush=True)

    def caption(self):
        """The caption the window should have: the version codetarvo-cli reports, its minor
        number without the leading zero ("1.00" shows as "1.0")."""
        first = self.run(self.cli, "--version").stdout.decode().splitlines()[0]
        major, minor = first.rsplit(" ", 1)[1].split(".")
        return "%s%s.%d" % (TITLE_PREFIX, major, int(minor))

    def encode(self, text, key, *options):
        return self.run(self.cli, "encode", "--key", key, *options, data=text).stdout

    def decode(self, code, key):
        done = self.run(self.cli, "decode", "--key", key, data=code, check=False)
        return done.stdout if done.returncode == 0 else None

    def encode_ending_in_zero(self, text, key):
        """A code text of TEXT that ends in code 0 (drawn again until one does)."""
        for _ in range(50):
            code = self.encode(text, key)
            if code.endswith(b"\0"):
                return code
        raise Failure("no code text of %r with key %r ends in code 0" % (text, key))

    def summary(self, name, started):
        print("%s: %d passed, %d failed (%.1fs)" % (name, self.passed, self.failed,
                                                   time.monotonic() - started))
        return 1 if self.failed or self.passed == 0 else 0


def copied(clipboard, i, expect, changed_from, timeout):
    """Waits until CLIPBOARD() gives EXPECT after Copy(I), or, without EXPECT, anything but
    CHANGED_FROM, and gives what it read."""
    last = [None]

    def arrived():
        last[0] = clipboard()
        if expect is not None:
            return last[0] == expect
        return last[0] is not None and last[0] != changed_from

    try:
        wait_for(arrived, "Copy %d" % i, timeout)
    except Failure:
        raise Failure("Copy %d gave %s, expected %s" % (
            i, shown(last[0]), shown(expect) if expect is not None else "a change"))
    return last[0]


def arguments(doc):
    """The driver's --app and --cli options; DOC is its docstring."""
    parser = argparse.ArgumentParser(description=doc.splitlines()[0])
    parser.add_argument("--app", required=True)
    parser.add_argument("--cli", required=True)
    return parser.parse_args()


def drive(name, what, make_desktop, make_suite, args, errors=(Failure, OSError)):
    """Starts WHAT by MAKE_DESKTOP in a scratch folder, runs every case of the suite
    MAKE_SUITE makes on it, stops all it opened and gives the exit status; NAME heads the
    closing line."""
    started = time.monotonic()
    with tempfile.TemporaryDirectory(prefix="codetarvo-%s-" % name) as workdir:
        try:
            desktop = make_desktop(workdir)
        except errors as error:
            print("FAIL starting %s: %s" % (what, error))
            print("%s: 0 passed, 1 failed" % name)
            return 1
        suite = make_suite(desktop, os.path.abspath(args.app), os.path.abspath(args.cli))
        try:
            suite.run_all()
        finally:
            for instance in (suite.a, suite.b):
                if instance:
                    instance.stop()
            desktop.close()
    return suite.summary(name, started)
