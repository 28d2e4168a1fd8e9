#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end tests of the Code Tarvo window on a real Wayland desktop.

Starts its own headless sway, runs two instances of the program on Qt's Wayland platform and
acts only as a user does, from the keyboard: wtype types and presses keys (Tab moves between
the controls, Space presses a Copy button), swaymsg switches windows, wl-copy and wl-paste
stand for other programs. Every clipboard comparison is byte for byte, the plain text (UTF-8)
and the program's own format alike. Prints one line per case and a closing
"wayland-e2e: N passed, N failed" line; exits non-zero on any failure, and with 77 (skipped)
when a tool it needs is missing.

sway refuses to run as root. As root the driver runs sway alone as an unprivileged user of its
own (made once with useradd), in a runtime folder that user owns; everything else stays root,
which reaches sway's sockets whatever their owner.

Usage: wayland_e2e_test.py --app PATH/codetarvo --cli PATH/codetarvo-cli
"""

import glob
import json
import os
import pwd
import shutil
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
from e2e_common import (APP_ID, CLIENT_SIZE, CODES_FORMAT, WAIT, Cases, Failure, Program,
                        arguments, as_box_text, as_codes, copied, drive, large_text,
                        run_tool, shown, wait_for)

SKIPPED = 77
TOOLS = ("sway", "swaymsg", "wtype", "wl-copy", "wl-paste")
USER = "codetarvo-e2e"
TEXT = "text/plain;charset=utf-8"
# What asks clipboard managers to keep a copy out of their histories.
HINT = "x-kde-passwordManagerHint"
# wtype's virtual keyboard sends its keymap first; a key pressed before it arrives is lost.
KEYMAP_PAUSE_MS = "250"
IDLE_SAMPLES = 3

# The controls that take the focus, in the order Tab visits them; the Copy buttons only while
# they are enabled.
PLAIN, KEY, CODE = "plain box", "key box", "code box"
COPY = ["Copy 0", "Copy 1", "Copy 2"]


class Desktop:
    """A headless sway of our own and the tools that act on it."""

    def __init__(self, workdir):
        self.workdir = workdir
        self.owners = []
        self.sway = None
        self.log = open(os.path.join(workdir, "sway.log"), "wb")
        uid, gid = compositor_user()
        # A folder of its own under /tmp: the work folder may lie in a home that user cannot
        # enter.
        self.sway_runtime = tempfile.mkdtemp(prefix="codetarvo-sway-",
                                             dir="/tmp" if os.geteuid() == 0 else None)
        os.chown(self.sway_runtime, uid, gid)
        config = os.path.join(self.sway_runtime, "config")
        with open(config, "w") as file:
            file.write("xwayland disable\nfocus_follows_mouse no\n")
        sway_env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"),
                    "HOME": self.sway_runtime, "XDG_RUNTIME_DIR": self.sway_runtime,
                    "WLR_BACKENDS": "headless", "WLR_LIBINPUT_NO_DEVICES": "1",
                    "WLR_RENDERER": "pixman"}
        as_user = {} if os.geteuid() != 0 else {"user": uid, "group": gid, "extra_groups": []}
        self.sway = subprocess.Popen(["sway", "-c", config], env=sway_env, cwd=self.sway_runtime,
                                     stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log,
                                     **as_user)
        try:
            self.connect(workdir)
        except BaseException:
            self.close()
            raise

    def connect(self, workdir):
        """Waits for sway to answer and sets the environment of the programs that use it."""
        sockets = {}

        def listening():
            if self.sway.poll() is not None:
                raise Failure("sway exited (%s): %s" % (self.sway.returncode, self.sway_log()))
            sockets["wayland"] = glob.glob(os.path.join(self.sway_runtime, "wayland-[0-9]"))
            sockets["ipc"] = glob.glob(os.path.join(self.sway_runtime, "sway-ipc.*.sock"))
            return sockets["wayland"] and sockets["ipc"]

        wait_for(listening, "sway to listen")
        runtime = os.path.join(workdir, "runtime")
        os.mkdir(runtime, 0o700)
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("QT_", "XDG_", "WAYLAND_", "SWAY"))
               and k not in ("DISPLAY", "XAUTHORITY")}
        env.update(WAYLAND_DISPLAY=sockets["wayland"][0], SWAYSOCK=sockets["ipc"][0],
                   XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="wayland", LC_ALL="C.UTF-8")
        self.env = env
        wait_for(lambda: self.run("swaymsg", "-t", "get_version", check=False).returncode == 0,
                 "sway to answer")

    def sway_log(self):
        self.log.flush()
        with open(self.log.name, "rb") as file:
            return file.read()[-2000:].decode(errors="replace").strip()

    def run(self, *args, data=None, check=True, timeout=WAIT):
        return run_tool(self.env, *args, data=data, check=check, timeout=timeout)

    def views(self):
        """sway's windows: each a dict with its pid, app_id, name and window_rect."""
        def walk(node):
            if node.get("pid"):
                yield node
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                yield from walk(child)
        return list(walk(json.loads(self.run("swaymsg", "-t", "get_tree").stdout)))

    def clipboard(self, mime=TEXT):
        """The clipboard's bytes in MIME, or None when nothing holds that."""
        try:
            done = self.run("wl-paste", "--no-newline", "--type", mime, check=False)
        except subprocess.TimeoutExpired:
            return None  # a large transfer from a busy owner: the caller's wait goes on
        return done.stdout if done.returncode == 0 else None

    def types(self):
        return self.run("wl-paste", "--list-types", check=False).stdout.decode().split()

    def own(self, data):
        """Puts DATA on the clipboard as plain text from another program (wl-copy), and waits
        until it is there. wl-copy stays to serve it, reading a file, not a pipe."""
        source = tempfile.TemporaryFile(dir=self.workdir)
        source.write(data)
        source.seek(0)
        self.owners.append(subprocess.Popen(
            ["wl-copy", "--foreground", "--type", TEXT], stdin=source,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=self.env))
        source.close()
        wait_for(lambda: self.clipboard() == data, "wl-copy to own the clipboard", 4 * WAIT)

    def clear(self):
        self.run("wl-copy", "--clear")
        wait_for(lambda: self.clipboard() is None, "the clipboard to be empty")

    def close(self):
        for owner in self.owners:
            if owner.poll() is None:
                owner.terminate()
                owner.wait(WAIT)
        if self.sway:
            self.sway.terminate()
            try:
                self.sway.wait(WAIT)
            except subprocess.TimeoutExpired:
                self.sway.kill()
                self.sway.wait(WAIT)
        self.log.close()
        shutil.rmtree(self.sway_runtime, ignore_errors=True)


def compositor_user():
    """The user and group sway runs as: ours, or as root a user of the test's own."""
    if os.geteuid() != 0:
        return os.getuid(), os.getgid()
    try:
        entry = pwd.getpwnam(USER)
    except KeyError:
        # Another run may be making it at the same time: look again whatever useradd says.
        subprocess.run(["useradd", "--system", "--no-create-home", "--user-group",
                        "--shell", "/usr/sbin/nologin", USER],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=WAIT)
        entry = pwd.getpwnam(USER)
    return entry.pw_uid, entry.pw_gid


class Instance(Program):
    """One running codetarvo, its window, and where its keyboard focus stands."""

    def __init__(self, desktop, app):
        super().__init__(desktop, app)
        wait_for(self.mapped, "the window of process %d to open" % self.process.pid)
        # Tab index 0 has the focus at start-up; the Copy buttons are disabled until the
        # first edit.
        self.focus = PLAIN
        self.buttons = False

    def mapped(self):
        """sway's windows of the program (none before it shows its window)."""
        if not self.alive():
            raise Failure("the program exited (%s): %s" % (self.process.returncode,
                                                           self.messages()))
        return [v for v in self.desktop.views() if v["pid"] == self.process.pid]

    def cpu_time(self):
        with open("/proc/%d/stat" % self.process.pid) as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        return int(fields[11]) + int(fields[12])  # utime and stime, in clock ticks

    def settle(self):
        """Waits until the program stops using the processor: every wtype run brings a new
        virtual keyboard, and a program busy (pasting a megabyte, say) while that keyboard
        comes and goes never binds it and loses all its keys. Idle means no processor time
        over IDLE_SAMPLES tenths of a second in a row: on a loaded machine a busy program can
        go a tenth without being scheduled."""
        last = [self.cpu_time()]
        still = [0]

        def idle():
            time.sleep(0.1)
            now = self.cpu_time()
            still[0] = still[0] + 1 if now == last[0] else 0
            last[0] = now
            return still[0] >= IDLE_SAMPLES
        wait_for(idle, "the program to be idle", 4 * WAIT)

    def keys(self, *steps):
        """Focuses the window, then has wtype run STEPS (its options and texts)."""
        if not self.alive():
            raise Failure("the program has exited (status %s): %s" % (
                self.process.returncode, self.messages()))
        self.settle()
        self.desktop.run("swaymsg", "[pid=%d] focus" % self.process.pid)
        self.desktop.run("wtype", "-s", KEYMAP_PAUSE_MS, *steps)

    def to(self, control):
        """The Tab presses that move the focus to CONTROL."""
        cycle = [PLAIN, KEY, CODE] + (COPY if self.buttons else [])
        presses = (cycle.index(control) - cycle.index(self.focus)) % len(cycle)
        self.focus = control
        return ["-k", "Tab"] * presses

    def fill(self, box, text):
        """Replaces the text of BOX by typing TEXT, Enter for each line break."""
        steps = self.to(box) + ["-M", "ctrl", "-k", "a", "-m", "ctrl"]
        if not text:
            steps += ["-k", "Delete"]
        for number, line in enumerate(text.split("\n")):
            if number:
                steps += ["-k", "Return"]
            if line:
                if line.startswith("-"):
                    raise Failure("wtype would take %r for an option" % line)
                steps.append(line)
        self.keys(*steps)
        if box == KEY:
            self.buttons = len(text) >= 2

    def copy(self, i, expect=None, changed_from=None, timeout=WAIT):
        """Presses Copy(i) from the keyboard; waits until the clipboard holds EXPECT (or
        anything but CHANGED_FROM) as plain text and the same codes in the program's own
        format, and returns the plain text. The clipboard is read only while it offers the
        program's own format, that is once the copy has landed: while wl-copy owns it an
        instance may still be pasting, and a program gives up a paste whose owner is slow."""
        desktop = self.desktop
        if expect is not None and self.own_format() and desktop.clipboard() == expect:
            desktop.clear()  # else the old copy would pass for the new one
        self.keys(*self.to(COPY[i]), "-k", "space")
        wait_for(self.own_format, "Copy %d to offer the program's own format" % i, timeout)
        text = copied(desktop.clipboard, i, expect, changed_from, timeout)
        own = desktop.clipboard(CODES_FORMAT)
        if own != as_codes(text):
            raise Failure("Copy %d put %s in the own format beside the text %s" % (
                i, shown(own), shown(text)))
        return text

    def own_format(self):
        return CODES_FORMAT in self.desktop.types()

    def paste(self, box, select_all=True):
        """Ctrl+V in BOX, replacing its text, or at its end. (Tab into the key box selects
        its text; End leaves it.)"""
        if select_all:
            select = ["-M", "ctrl", "-k", "a", "-m", "ctrl"]
        elif box == KEY:
            select = ["-k", "End"]
        else:
            select = ["-M", "ctrl", "-k", "End", "-m", "ctrl"]
        self.keys(*self.to(box), *select, "-M", "ctrl", "-k", "v", "-m", "ctrl")


class Suite(Cases):
    def start_up(self):
        self.a = Instance(self.desktop, self.app)
        expected = (APP_ID, self.caption(), CLIENT_SIZE)
        seen = [None]

        def described():
            # sway may list the window before the program has given its title and size.
            view = self.a.mapped()[0]
            rect = view["window_rect"]
            seen[0] = (view.get("app_id"), view.get("name"), (rect["width"], rect["height"]))
            return seen[0] == expected

        try:
            wait_for(described, "the window's app id, caption and size")
        except Failure:
            raise Failure("window %r %r %s, expected %r %r %s" % (seen[0] + expected))

    def second_instance(self):
        self.b = Instance(self.desktop, self.app)
        if len(self.desktop.views()) != 2:
            raise Failure("sway shows %d windows" % len(self.desktop.views()))

    def code_of(self, instance, plain, key):
        """Copies INSTANCE's plain box (it must hold PLAIN), then its code box, which must
        decode to PLAIN with KEY; returns the code text."""
        instance.copy(1, expect=plain)
        code = instance.copy(2, changed_from=plain)
        if self.decode(code, key) != plain:
            raise Failure("code text %s does not decode to %s" % (shown(code), shown(plain)))
        return code

    def round_trip(self, text, key, ends_in_zero=False):
        """Types TEXT into A, copies A's code text, pastes it into B's code box with the same
        key, and copies B's plain box."""
        def body():
            a, b = self.a, self.b
            b.fill(KEY, key)
            a.fill(KEY, key)
            a.fill(PLAIN, text)
            plain = as_box_text(text)
            code = self.code_of(a, plain, key)
            if ends_in_zero and not code.endswith(b"\0"):
                raise Failure("precondition: code text %s does not end in code 0"
                              % shown(code[-8:]))
            types = self.desktop.types()
            if CODES_FORMAT not in types or TEXT not in types:
                raise Failure("the clipboard offers %s" % types)
            b.paste(CODE)
            b.copy(1, expect=plain)
        return body

    def foreign_code(self, text, key, ending_in_zero=False):
        """A code text made by codetarvo-cli and put on the clipboard by wl-copy, pasted into
        B's code box."""
        def body():
            data = text.encode()
            code = (self.encode_ending_in_zero(data, key) if ending_in_zero
                    else self.encode(data, key))
            b = self.b
            b.fill(KEY, key)
            self.desktop.own(code)
            b.paste(CODE)
            # A megabyte goes between the programs in parts; a loaded machine may take long.
            b.copy(1, expect=data, timeout=WAIT if len(data) < 100_000 else 4 * WAIT)
        return body

    def empty_box(self):
        """A's empty box copied, then an empty clipboard: pasting either at the end of B's
        boxes changes nothing, not even the draws of B's code text."""
        a, b, desktop = self.a, self.b, self.desktop
        key, text = "Tesk", "Rien à coller"
        b.fill(KEY, key)
        b.fill(PLAIN, text)
        plain = as_box_text(text)
        code = self.code_of(b, plain, key)
        a.fill(KEY, key)
        a.fill(PLAIN, "")
        a.copy(1, expect=b"")
        if desktop.clipboard(CODES_FORMAT) != b"":
            raise Failure("an empty box's copy lacks the own format")
        for clipboard in ("an empty box", "nothing"):
            if clipboard == "nothing":
                desktop.clear()
            for box in (KEY, PLAIN, CODE):
                b.paste(box, select_all=False)
            if not b.alive():
                raise Failure("pasting %s ended the program: %s" % (clipboard, b.messages()))
            b.copy(0, expect=key.encode())
            b.copy(1, expect=plain)
            b.copy(2, expect=code)

    def secrets_marked(self):
        """The key's and the plain box's copies offer the hint, the code box's does not; the
        types offered are otherwise the same and the texts exact."""
        a, desktop = self.a, self.desktop
        key, text = "clé", "à garder\npour soi"
        a.fill(KEY, key)
        a.fill(PLAIN, text)
        plain = as_box_text(text)
        a.copy(0, expect=as_box_text(key))
        key_types = desktop.types()
        a.copy(1, expect=plain)
        plain_types = desktop.types()
        a.copy(2, changed_from=plain)
        code_types = desktop.types()
        marked = sorted(code_types + [HINT])
        if HINT in code_types or sorted(key_types) != marked or sorted(plain_types) != marked:
            raise Failure("offered: key %s, plain text %s, code text %s"
                          % (key_types, plain_types, code_types))
        a.copy(1, expect=plain)
        if desktop.clipboard(HINT) != b"secret":
            raise Failure("the hint holds %s" % shown(desktop.clipboard(HINT)))

    def run_all(self):
        self.case("start-up: app id, caption, 622x283", self.start_up)
        self.case("second instance opens", self.second_instance)
        if not (self.a and self.b and self.a.alive() and self.b.alive()):
            return
        # With a two-character key an escape's new position is 0, and an accented letter
        # makes an escape with either letter of this key.
        self.case("instance to instance: code text ending in code 0 (2-character key)",
                  self.round_trip("Café", "ab", ends_in_zero=True))
        self.case("instance to instance: line breaks, 3-character key",
                  self.round_trip("première ligne\nseconde ligne\n\nfin", "clé"))
        self.case("instance to instance: accents, 4-character key",
                  self.round_trip("Déjà vu, garçon ! Œuvre à 5 €", "Tesk"))
        self.case("wl-copy code text ending in code 0",
                  self.foreign_code("Crème brûlé", "ab", ending_in_zero=True))
        self.case("wl-copy code text with line breaks, 3-character key",
                  self.foreign_code("un\r\ndeux\r\n", "clé"))
        self.case("pasting an empty box or an empty clipboard changes nothing",
                  self.empty_box)
        self.case("the key and the plain text offered as secrets, the code text not",
                  self.secrets_marked)
        self.case("1 MB code text ending in code 0 from wl-copy",
                  self.foreign_code(large_text(), "ab", ending_in_zero=True))


def main():
    args = arguments(__doc__)
    missing = [tool for tool in TOOLS if not shutil.which(tool)]
    if missing:
        print("wayland-e2e: skipped, %s not found (Debian packages sway, wtype, wl-clipboard)"
              % ", ".join(missing))
        return SKIPPED
    return drive("wayland-e2e", "sway", Desktop, Suite, args,
                 (Failure, OSError, KeyError, subprocess.SubprocessError))


if __name__ == "__main__":
    sys.exit(main())
