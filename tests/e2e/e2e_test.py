#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end tests of the Code Tarvo window on a real X server.

Starts its own Xvfb, runs two instances of the program and acts only as a user does: xdotool
types, presses keys and clicks the Copy buttons, xclip reads and sets the clipboard. Every
clipboard comparison is byte for byte (UTF-8). Prints one line per case and a closing
"e2e: N passed, N failed" line; exits non-zero on any failure.

Usage: e2e_test.py --app PATH/codetarvo --cli PATH/codetarvo-cli, with the build's
CODETARVO_APP_ID and CODETARVO_CODES_FORMAT in the environment, as ctest runs it.
"""

import ctypes
import os
import shutil
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
from e2e_common import (CLIENT_SIZE, CODES_FORMAT, DPI, ERREUR, INITIAL_PLAIN, TITLE_PREFIX,
                        WAIT, Cases, Failure, Program, arguments, as_box_text, as_codes,
                        copied, drive, large_text, pixels, run_tool, shown, wait_for)


def centre(left, top, width, height):
    return pixels(left) + pixels(width) // 2, pixels(top) + pixels(height) // 2


# Controls in twips from the client area's top-left corner (left, top, width, height).
KEY_BOX = centre(120, 120, 7215, 285)
PLAIN_BOX = (pixels(120) + 40, pixels(600) + 20)  # inside the text, clear of the scroll bars
CODE_BOX = (pixels(120) + 40, pixels(2400) + 20)
COPY = [centre(8520, 120, 735, 375), centre(8520, 1920, 735, 375), centre(8520, 3720, 735, 375)]

TYPING_ATTEMPTS = 5  # xdotool's typing of characters outside the keyboard map can be lost


class SelectionOwners:
    """Who owns a selection, asked of the X server itself (Xlib through ctypes): reading a
    selection instead would take its data from the owner, competing with a program that is
    pasting it. A program gives up a paste whose owner is slow to answer."""

    def __init__(self, display):
        self.xlib = ctypes.CDLL("libX11.so.6")
        self.xlib.XOpenDisplay.restype = ctypes.c_void_p
        self.xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.xlib.XInternAtom.restype = ctypes.c_ulong
        self.xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        self.xlib.XGetSelectionOwner.restype = ctypes.c_ulong
        self.xlib.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.connection = self.xlib.XOpenDisplay(display.encode())
        if not self.connection:
            raise Failure("cannot connect to the X server %s" % display)

    def owner(self, selection):
        atom = self.xlib.XInternAtom(self.connection, selection.upper().encode(), 0)
        return self.xlib.XGetSelectionOwner(self.connection, atom)

    def close(self):
        self.xlib.XCloseDisplay(self.connection)


class Desktop:
    """An Xvfb of our own and the tools that act on it."""

    def __init__(self, workdir):
        self.workdir = workdir
        read_end, write_end = os.pipe()
        self.server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
             "-dpi", str(DPI), "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    raise Failure("Xvfb did not start")
                number += chunk
        self.env = {k: v for k, v in os.environ.items()
                    if not k.startswith(("QT_", "XDG_", "WAYLAND_"))}
        runtime = os.path.join(workdir, "runtime")
        os.mkdir(runtime, 0o700)
        self.env.update(DISPLAY=":" + number.decode().strip(), QT_QPA_PLATFORM="xcb",
                        XDG_RUNTIME_DIR=runtime, LC_ALL="C.UTF-8")
        self.env.pop("XAUTHORITY", None)
        self.owners = []
        self.xclip_windows = {}  # each xclip owner by the window it owns a selection with
        try:
            self.selections = SelectionOwners(self.env["DISPLAY"])
        except Failure:
            self.server.terminate()
            raise

    def run(self, *args, data=None, check=True, timeout=WAIT):
        return run_tool(self.env, *args, data=data, check=check, timeout=timeout)

    def xdotool(self, *args):
        return self.run("xdotool", *args).stdout.decode()

    def find_window(self, what, *conditions, program=None):
        """The first visible window that xdotool search finds with CONDITIONS, once there is
        one. A search that meets a window destroyed as it reads it (programs starting open and
        close windows of their own, Wine's most of all) fails with BadWindow: it is done
        again. Fails early when PROGRAM, which should show the window, has exited."""
        found = []

        def shown():
            if program and not program.alive():
                raise Failure("the program exited (status %s) before showing %s: %s" % (
                    program.process.returncode, what, program.messages()))
            done = self.run("xdotool", "search", "--onlyvisible", *conditions, check=False)
            found[:] = done.stdout.decode().split() if done.returncode == 0 else []
            return found

        wait_for(shown, what)
        return found[0]

    def position(self, window):
        """WINDOW's top-left corner on the screen, or None once it is gone."""
        done = self.run("xdotool", "getwindowgeometry", "--shell", window, check=False)
        fields = dict(line.split("=", 1) for line in done.stdout.decode().split() if "=" in line)
        return (int(fields["X"]), int(fields["Y"])) if done.returncode == 0 else None

    def place(self, window, left, top):
        """Moves WINDOW to LEFT, TOP and waits until it is there, moving it again while it is
        not: a program that has just mapped its window may still place it itself."""
        def there():
            if self.position(window) == (left, top):
                return True
            self.run("xdotool", "windowmove", window, str(left), str(top), check=False)
            return False

        wait_for(there, "window %s to move to %d,%d" % (window, left, top))

    def clipboard(self, selection="clipboard", target=None):
        """The selection's bytes as xclip reads them, or None when nobody owns it."""
        args = ["xclip", "-selection", selection, "-o"]
        if target:
            args += ["-t", target]
        try:
            done = self.run(*args, check=False)
        except subprocess.TimeoutExpired:
            return None  # a large transfer from a busy owner: the caller's wait goes on
        return done.stdout if done.returncode == 0 else None

    def own(self, data, selection="clipboard", target="UTF8_STRING"):
        """Puts DATA on the selection as another program (xclip) and waits until it is there."""
        owner = subprocess.Popen(["xclip", "-quiet", "-selection", selection, "-t", target,
                                  "-loops", "0"],
                                 stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL, env=self.env)
        owner.stdin.write(data)
        owner.stdin.close()
        self.owners.append(owner)
        wait_for(lambda: self.clipboard(selection, target) == data,
                 "xclip to own the %s" % selection)
        self.xclip_windows[self.selections.owner(selection)] = owner
        return owner

    def xclip_owns(self, selection="clipboard"):
        """Whether a running xclip owns SELECTION (a window of an xclip that has exited may
        be another program's now)."""
        owner = self.xclip_windows.get(self.selections.owner(selection))
        return owner is not None and owner.poll() is None

    def empty(self, selection="clipboard"):
        """Leaves the selection with no owner: the owning program exits."""
        owner = self.own(b"x", selection)
        owner.terminate()
        owner.wait(WAIT)
        wait_for(lambda: self.clipboard(selection) is None, "the %s to have no owner" % selection)

    def close(self):
        for owner in self.owners:
            if owner.poll() is None:
                owner.terminate()
                owner.wait(WAIT)
        self.selections.close()
        self.server.terminate()
        self.server.wait(WAIT)


class Instance(Program):
    """One running codetarvo and its window."""

    def __init__(self, desktop, app, top):
        super().__init__(desktop, app)
        try:
            self.window = desktop.find_window("the window of process %d" % self.process.pid,
                                              "--all", "--pid", str(self.process.pid),
                                              "--name", "^" + TITLE_PREFIX, program=self)
            if top is not None:
                # Without a window manager every window opens at 0,0: move it out of the way.
                desktop.place(self.window, 0, top)
            self.shown()
        except BaseException:
            self.stop()  # no case will: it would outlive the run
            raise

    def shown(self):
        """Whatever else the window needs before the cases use it."""

    def act(self, *steps):
        """Gives the window the focus, then runs xdotool STEPS (a command chain)."""
        if not self.alive():
            raise Failure("the program has exited (status %s): %s" % (
                self.process.returncode, self.messages()))
        self.desktop.xdotool("windowfocus", "--sync", self.window, *steps)

    def click(self, where, button="1"):
        return ["mousemove", "--window", self.window, str(where[0]), str(where[1]),
                "click", button]

    def copy(self, i, expect=None, changed_from=None, timeout=WAIT):
        """Clicks Copy(i); waits until the clipboard holds EXPECT (or anything but
        CHANGED_FROM) and returns it. When the clipboard holds EXPECT already, another
        program's text replaces it first, or the old copy would pass for the new one. While
        xclip owns the clipboard the copy has not landed, and an instance may still be
        pasting from xclip: the clipboard is read only once it has left xclip."""
        desktop = self.desktop
        if expect is not None and not desktop.xclip_owns() and desktop.clipboard() == expect:
            desktop.own(b"before Copy %d" % i)
        self.act(*self.click(COPY[i]))
        wait_for(lambda: not desktop.xclip_owns(),
                 "Copy %d to take the clipboard from xclip" % i, timeout)
        return copied(desktop.clipboard, i, expect, changed_from, timeout)

    def enter(self, box, i, text):
        """Replaces the text of the box at BOX by typing TEXT (Enter for each line break),
        and checks it with Copy(i). xdotool types a character missing from the keyboard map
        by mapping it for a moment, which an application can miss: then it types again, each
        time waiting longer for a copy that may only be slow."""
        expect = as_box_text(text)
        for attempt in range(1, TYPING_ATTEMPTS + 1):
            self.act(*self.click(box), "key", "ctrl+a", "key", "Delete")
            for number, line in enumerate(text.split("\n")):
                if number:
                    self.act("key", "Return")
                if line:
                    # type takes every argument after it as text: one call per line.
                    self.act("type", "--delay", "12", "--", line)
            try:
                self.copy(i, expect=expect, timeout=attempt * WAIT / TYPING_ATTEMPTS)
                return
            except Failure:
                if attempt == TYPING_ATTEMPTS:
                    raise

    def set_key(self, key):
        self.enter(KEY_BOX, 0, key)

    def type_plain(self, text):
        self.enter(PLAIN_BOX, 1, text)

    def paste_code(self):
        self.act(*self.click(CODE_BOX), "key", "ctrl+a", "key", "ctrl+v")


class Suite(Cases):
    # --- the cases -------------------------------------------------------------------------

    def start_up(self):
        desktop = self.desktop
        self.a = Instance(desktop, self.app, top=None)
        name = desktop.xdotool("getwindowname", self.a.window).strip()
        if name != self.caption():
            raise Failure("caption %r, expected %r" % (name, self.caption()))
        info = desktop.run("xwininfo", "-id", self.a.window).stdout.decode()
        size = tuple(int(line.split(":")[1]) for line in info.splitlines()
                     if line.strip().startswith(("Width:", "Height:")))
        if size != CLIENT_SIZE:
            raise Failure("client size %s, expected %s" % (size, CLIENT_SIZE))
        # Buttons disabled: clicking them leaves the clipboard alone. Then Ctrl+A with no
        # click selects the focused box's text, which X11 publishes as PRIMARY: once that
        # shows the plain text, the clicks before it have been handled too.
        sentinel = b"before any edit"
        owner = desktop.own(sentinel)
        self.a.act(*self.a.click(COPY[0]), *self.a.click(COPY[1]), *self.a.click(COPY[2]))
        self.a.act("key", "ctrl+a")
        wait_for(lambda: desktop.clipboard("primary") == INITIAL_PLAIN,
                 "Ctrl+A to select the plain box (focus at start-up)")
        if owner.poll() is not None or desktop.clipboard() != sentinel:
            raise Failure("a disabled Copy button changed the clipboard to %s"
                          % shown(desktop.clipboard()))

    def second_instance(self):
        self.b = Instance(self.desktop, self.app, top=CLIENT_SIZE[1] + 60)

    def round_trip(self, text, key, ends_in_zero=False):
        """Types TEXT into A, copies A's code text, pastes it into B's code box with the same
        key, and copies B's plain box."""
        def body():
            a, b = self.a, self.b
            # B's key first: checking a typed key copies it, replacing the code text.
            b.set_key(key)
            a.set_key(key)
            a.type_plain(text)
            plain = as_box_text(text)
            code = self.code_of(a, plain, key)
            if ends_in_zero and not code.endswith(b"\0"):
                raise Failure("precondition: code text %s does not end in code 0"
                              % shown(code[-8:]))
            b.paste_code()
            b.copy(1, expect=plain)
        return body

    def code_of(self, instance, plain, key):
        """Copies INSTANCE's plain box (it must hold PLAIN, which syncs with the typing),
        then its code box, which must decode to PLAIN with KEY; returns the code text."""
        instance.copy(1, expect=plain)
        code = instance.copy(2, changed_from=plain)
        if self.decode(code, key) != plain:
            raise Failure("code text %s does not decode to %s" % (shown(code), shown(plain)))
        own = self.desktop.clipboard(target=CODES_FORMAT)
        if own != as_codes(code):
            raise Failure("the program's own format holds %s" % shown(own))
        return code

    def drag_ending_in_zero(self):
        """Drags A's whole code text, ending in code 0, into B's empty code box."""
        a, b, desktop = self.a, self.b, self.desktop
        key, text = "ab", "Glaçé"
        b.set_key(key)
        a.set_key(key)
        a.type_plain(text)
        plain = as_box_text(text)
        code = self.code_of(a, plain, key)
        if not code.endswith(b"\0"):
            raise Failure("precondition: code text %s does not end in code 0" % shown(code))
        attempts = 3
        for attempt in range(1, attempts + 1):
            b.act(*b.click(CODE_BOX), "key", "ctrl+a", "key", "Delete")
            a.act(*a.click(CODE_BOX), "key", "ctrl+a")
            # Press on the selected text, move past the drag distance in steps, release
            # over the other window's code box. The hand moves at a person's pace, slower
            # on each attempt: a program that misses the motions of a too quick drag on a
            # busy machine never starts it.
            desktop.xdotool("mousemove", "--window", a.window, str(CODE_BOX[0] - 20),
                            str(CODE_BOX[1]), "mousedown", "1")
            for y in range(CODE_BOX[1] + 10, CLIENT_SIZE[1] + 60 + CODE_BOX[1], 40):
                desktop.xdotool("mousemove", "--window", a.window, str(CODE_BOX[0]), str(y))
                time.sleep(0.03 * attempt)
            for dx in (0, 2):
                desktop.xdotool("mousemove", "--window", b.window, str(CODE_BOX[0] + dx),
                                str(CODE_BOX[1]))
                time.sleep(0.1 * attempt)
            desktop.xdotool("mouseup", "1")
            try:
                b.copy(1, expect=plain, timeout=attempt * WAIT / attempts)
                return
            except Failure:
                if attempt == attempts:
                    raise

    def wrong_key(self):
        a, b = self.a, self.b
        # Four spaces in a row meet the key's 'T' whatever the start: 32 + 84 = 116, below
        # the wrong key's 126, so the decoding fails. Its characters are on every keyboard map.
        text, key, wrong = "Bonjour    !", "Tesk", "~~~~"
        b.set_key(wrong)
        a.set_key(key)
        a.type_plain(text)
        code = self.code_of(a, text.encode(), key)
        if self.decode(code, wrong) is not None:
            raise Failure("precondition: %r decodes with the wrong key" % code)
        b.paste_code()
        b.copy(1, expect=ERREUR)

    def empty_clipboard_paste(self):
        desktop, b = self.desktop, self.b
        key, text = "Tesk", "Rien à coller"
        b.set_key(key)
        b.type_plain(text)
        plain = as_box_text(text)
        code = self.code_of(b, plain, key)
        # The instance that copied last exits; with no clipboard manager nothing owns the
        # clipboard any more.
        c = Instance(desktop, self.app, top=2 * (CLIENT_SIZE[1] + 60))
        c.set_key("Clé")
        c.copy(0, expect="Clé".encode())
        c.stop()
        left = [None]

        def emptied():
            left[0] = desktop.clipboard()
            return left[0] is None

        try:
            wait_for(emptied, "the clipboard to be empty after its owner exited")
        except Failure:
            raise Failure("the clipboard still holds %s after its owner exited"
                          % shown(left[0]))
        desktop.empty("primary")
        for box in (KEY_BOX, PLAIN_BOX, CODE_BOX):
            # Ctrl+V, the middle button (PRIMARY) and the context menu's Paste (P).
            b.act(*b.click(box), "key", "ctrl+v", *b.click(box, "2"), *b.click(box, "3"),
                  "key", "p", "key", "Escape")
        if not b.alive():
            raise Failure("pasting nothing ended the program: %s" % b.messages())
        b.copy(0, expect=key.encode())
        b.copy(1, expect=plain)
        b.copy(2, expect=code)

    def foreign_code(self, text, key, target="UTF8_STRING", ending_in_zero=False,
                     selection="clipboard"):
        """A code text made by codetarvo-cli and put on the clipboard by xclip, pasted into
        B's code box (Ctrl+V, or the middle button for PRIMARY)."""
        def body():
            data = text.encode() if isinstance(text, str) else text
            code = (self.encode_ending_in_zero(data, key) if ending_in_zero
                    else self.encode(data, key))
            if target == "STRING":
                code = code.decode().encode("latin-1")  # fails on a code not in Latin-1
            b = self.b
            b.set_key(key)
            if selection == "primary":
                # Empty the code box first: selecting its text would make it PRIMARY.
                b.act(*b.click(CODE_BOX), "key", "ctrl+a", "key", "Delete")
                b.copy(2, expect=b"")
                self.desktop.own(code, "primary", target)
                b.act(*b.click(CODE_BOX, "2"))
            else:
                self.desktop.own(code, "clipboard", target)
                b.paste_code()
            # A megabyte goes between the programs in parts; a loaded machine may take long.
            b.copy(1, expect=data, timeout=WAIT if len(data) < 100_000 else 4 * WAIT)
        return body

    def foreign_plain(self):
        """A plain text with every awkward character, put there as UTF-8 by xclip, pasted
        into the plain box: copying the box gives it back, and its code text decodes to it."""
        b = self.b
        text = ("ligne\r\nlone\nCR\rnbsp\u00a0undefined\u0081\u008d\u008f\u0090\u009d"
                "\u20ac\u0152\u017e\u00ff\u00e9 end").encode()
        b.set_key("Tesk")
        self.desktop.own(text)
        b.act(*b.click(PLAIN_BOX), "key", "ctrl+a", "key", "ctrl+v")
        b.copy(1, expect=text)
        code = b.copy(2, changed_from=text)
        if self.decode(code, "Tesk") != text:
            raise Failure("the code text %s does not decode to the pasted text" % shown(code))

    def rapid_copies(self):
        a, desktop = self.a, self.desktop
        key, text = "Tesk", "vite"
        a.set_key(key)
        a.type_plain(text)
        plain = as_box_text(text)
        code = self.code_of(a, plain, key)
        # Many clicks in a row, the clipboard read while they land; the last one wins.
        clicks = []
        for i in [0, 1, 2] * 10 + [1]:
            clicks += a.click(COPY[i])
        a.act(*clicks)
        for _ in range(10):
            seen = desktop.clipboard()
            if seen not in (key.encode(), plain, code):
                raise Failure("the clipboard held %s between copies" % shown(seen))
        a.copy(1, expect=plain)
        a.act(*[step for _ in range(20) for step in a.click(COPY[2])])
        a.copy(2, expect=code)

    def large_text(self):
        """A 1 MB plain text whose code text ends in code 0, through xclip (incremental
        transfer) into B, and B's plain box back out."""
        self.foreign_code(large_text(), "ab", ending_in_zero=True)()

    def run_all(self):
        self.case("start-up: caption, 622x283, focus in the plain box, Copy disabled",
                  self.start_up)
        self.case("second instance opens", self.second_instance)
        if not (self.a and self.b and self.a.alive() and self.b.alive()):
            return
        self.case("round trip: accents, 4-character key",
                  self.round_trip("Déjà vu, garçon ! Œuvre à 5 €", "Tesk"))
        self.case("round trip: line breaks, 3-character key",
                  self.round_trip("première ligne\nseconde ligne\n\nfin", "clé"))
        self.case("round trip: 2-character key",
                  self.round_trip("Bonjour", "ab"))
        self.case("round trip: 7-character key, every printable ASCII",
                  self.round_trip("".join(chr(c) for c in range(32, 127)), "Secrète"))
        # With a two-character key an escape's new position is 0, and an accented letter
        # makes an escape with either letter of this key.
        self.case("round trip: code text ending in code 0 (2-character key)",
                  self.round_trip("Café", "ab", ends_in_zero=True))
        self.case("drag and drop of a code text ending in code 0", self.drag_ending_in_zero)
        self.case("wrong key gives Erreur", self.wrong_key)
        self.case("pasting an empty clipboard changes nothing", self.empty_clipboard_paste)
        self.case("xclip code text, UTF-8", self.foreign_code("Forêt noire", "Tesk"))
        self.case("xclip code text ending in code 0, UTF-8",
                  self.foreign_code("Crème brûlé", "ab", ending_in_zero=True))
        self.case("xclip code text ending in code 0, Latin-1 STRING",
                  self.foreign_code("Ãtre à", "ab", target="STRING", ending_in_zero=True))
        self.case("xclip code text ending in code 0, PRIMARY, middle click",
                  self.foreign_code("Où ça ? Là", "ab", ending_in_zero=True,
                                    selection="primary"))
        self.case("xclip code text with line breaks, 3-character key",
                  self.foreign_code("un\r\ndeux\r\n", "clé"))
        self.case("xclip plain text: line breaks, U+00A0, undefined codes",
                  self.foreign_plain)
        self.case("rapid repeated copies", self.rapid_copies)
        self.case("1 MB code text ending in code 0 from xclip", self.large_text)


def main():
    args = arguments(__doc__)
    for tool in ("Xvfb", "xdotool", "xclip", "xwininfo"):
        if not shutil.which(tool):
            print("e2e: %s not found" % tool)
            return 2
    return drive("e2e", "Xvfb", Desktop, Suite, args)


if __name__ == "__main__":
    sys.exit(main())
