#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end tests of the Windows build under Wine, on an X server of its own.

Makes a Wine prefix of its own, runs the installer silently, then runs two instances of the
installed codetarvo.exe and one of the Linux codetarvo on the same X server, and acts only as
a user does (xdotool clicks and presses keys). Texts reach the boxes by pasting what xclip
put on the X11 clipboard, which Wine hands to Windows programs; every result is read back as
the program's own format, the codes themselves, byte for byte. Between the two Windows
instances texts go through the Windows clipboard; between a Windows and the Linux instance
through Wine's X11 bridge. Ends with the uninstaller. Prints one line per case and a closing
"e2e_wine: N passed, N failed" line; exits 77 when Wine, the X11 tools or the Linux build
are missing.

Usage: wine_e2e_test.py --installer SETUP.exe --app LINUX/codetarvo --cli LINUX/codetarvo-cli
"""

import argparse
import glob
import os
import random
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
from e2e_common import (CLIENT_SIZE, CODES_FORMAT, ERREUR, WAIT, Cases, Failure, Program,
                        as_codes, drive, large_text, shown, wait_for)
from e2e_test import CODE_BOX, COPY, KEY_BOX, PLAIN_BOX, Desktop, Instance

INSTALL_DIR = "C:\\Program Files\\Code Tarvo"
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Code Tarvo"
PASTE_ATTEMPTS = 3


class WineDesktop(Desktop):
    """An Xvfb of our own with a Wine prefix of our own, whose wineserver alone it stops."""

    def __init__(self, workdir):
        super().__init__(workdir)
        self.prefix = os.path.join(workdir, "wine")
        # Quiet, no offer to install Mono or Gecko, no menu entries written for the desktop.
        self.env.update(WINEPREFIX=self.prefix, WINEARCH="win64", WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
        try:
            self.run("wineboot", "--init", timeout=10 * WAIT)
            self.wait_for_wine("Wine to make its prefix")
        except (Failure, subprocess.TimeoutExpired):
            self.close()  # no suite will: the X server would outlive the run
            raise

    def unix_path(self, windows_path):
        """Where WINDOWS_PATH (on drive C:) lies in the prefix."""
        return os.path.join(self.prefix, "drive_c", *windows_path[3:].split("\\"))

    def wine(self, *args, data=None, check=True, timeout=WAIT):
        return self.run("wine", *args, data=data, check=check, timeout=timeout)

    def wait_for_wine(self, what):
        """Waits until every Windows program of the prefix has ended and its wineserver with
        them, which is when all WHAT has done is done."""
        try:
            self.run("wineserver", "--wait", timeout=10 * WAIT)
        except subprocess.TimeoutExpired:
            raise Failure("timed out after %.0fs waiting for %s: Wine's programs still run"
                          % (10 * WAIT, what))

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env, check=False)
        super().close()


class WindowsInstance(Instance):
    """One codetarvo.exe under Wine. Without a window manager Wine draws the window's frame
    itself, so the clicks move by the frame's size. Wine centres every new window on the
    screen, where the windows opened later would cover part of it: each goes to the left
    edge at TOP."""

    def __init__(self, desktop, top):
        super().__init__(desktop, ["wine", INSTALL_DIR + "\\codetarvo.exe"], top)

    def shown(self):
        width, height = framed_size(self.desktop, self.window)
        border = (width - CLIENT_SIZE[0]) // 2
        self.offset = (border, height - CLIENT_SIZE[1] - border)

    def click(self, where, button="1"):
        return super().click((where[0] + self.offset[0], where[1] + self.offset[1]), button)


def window_size(desktop, window):
    """WINDOW's width and height, or None once it is gone."""
    done = desktop.run("xwininfo", "-id", window, check=False)
    size = tuple(int(line.split(":")[1]) for line in done.stdout.decode().splitlines()
                 if line.strip().startswith(("Width:", "Height:")))
    return size if done.returncode == 0 and len(size) == 2 else None


def framed_size(desktop, window):
    """The size of WINDOW with any frame Wine draws around the client area, once it holds
    the client area and two readings agree: Wine may still be sizing a window it has just
    shown."""
    last = [None]

    def settled():
        size = window_size(desktop, window)
        agree = size is not None and size == last[0]
        last[0] = size
        return agree and size[0] >= CLIENT_SIZE[0] and size[1] >= CLIENT_SIZE[1]

    wait_for(settled, "window %s to show its frame and client area" % window)
    return last[0]


class Suite(Cases):
    def __init__(self, desktop, app, cli, installer):
        super().__init__(desktop, app, cli)
        self.installer = installer
        self.linux = None

    # --- acting and reading ----------------------------------------------------------------

    def paste(self, instance, box, text):
        """Puts TEXT (UTF-8) on the X11 clipboard with xclip and pastes it into INSTANCE's
        BOX over what the box held."""
        self.desktop.own(text)
        instance.act(*instance.click(box), "key", "ctrl+a", "key", "ctrl+v")

    def copy_on_clipboard(self):
        """The codes of the copy on the clipboard: its own format, or the plain text of a copy
        without one (an empty text from Windows). None while xclip, which answers every
        target with its one text, still owns the clipboard: then nothing is read, which would
        compete with Wine taking in xclip's text."""
        if self.desktop.xclip_owns():
            return None
        targets = self.desktop.clipboard(target="TARGETS")
        if targets is None:
            return None
        if CODES_FORMAT in targets.decode(errors="replace").split():
            return self.desktop.clipboard(target=CODES_FORMAT)
        return self.desktop.clipboard(target="UTF8_STRING")

    def copied(self, instance, i, codes, timeout=WAIT):
        """Clicks INSTANCE's Copy(i) and waits until the clipboard holds its copy of CODES;
        gives what it holds. A click Wine lost, while it moved the focus between instances,
        leaves the clipboard as it was: the button is clicked once more."""
        last = [None]

        def arrived():
            last[0] = self.copy_on_clipboard()
            return last[0] == codes

        for attempt in (1, 2):
            instance.act(*instance.click(COPY[i]))
            try:
                wait_for(arrived, "Copy %d" % i, timeout / 2)
                return last[0]
            except Failure:
                if attempt == 2:
                    raise Failure("Copy %d gave %s, expected %s"
                                  % (i, shown(last[0]), shown(codes)))

    def code_copied(self, instance, plain, key):
        """Copies INSTANCE's code box, which must decode to PLAIN (codes) with KEY; gives the
        code text's codes."""
        instance.act(*instance.click(COPY[2]))
        code = [None]

        def decodes():
            code[0] = self.copy_on_clipboard()
            return code[0] is not None and code[0] != plain and self.decode_codes(
                code[0], key) == plain

        wait_for(decodes, "a code text of %s" % shown(plain), 4 * WAIT)
        return code[0]

    def decode_codes(self, code, key):
        done = self.run(self.cli, "decode", "--bytes", "--key", key, data=code, check=False)
        return done.stdout if done.returncode == 0 else None

    def pasted(self, instance, box, i, text, codes, timeout=WAIT):
        """Pastes TEXT from xclip into INSTANCE's BOX and checks with Copy(i) that it holds
        CODES. Wine takes in another program's new X11 clipboard a moment after it changes,
        emptying the Windows clipboard as it does: a paste or a copy in that moment reads
        the text before or is lost, and then both are done again."""
        return self.until_copied(lambda: self.paste(instance, box, text), instance, i, codes,
                                 timeout)

    def until_copied(self, paste, instance, i, codes, timeout):
        """Runs PASTE until INSTANCE's Copy(i) gives CODES, at most PASTE_ATTEMPTS times (see
        pasted())."""
        for attempt in range(1, PASTE_ATTEMPTS + 1):
            paste()
            try:
                return self.copied(instance, i, codes, attempt * timeout / PASTE_ATTEMPTS)
            except Failure:
                if attempt == PASTE_ATTEMPTS:
                    raise

    def code_pasted(self, source, plain, key, target, expect):
        """Copies SOURCE's code text of PLAIN (codes) with KEY and pastes it into TARGET's code
        box until TARGET's Copy(1) gives EXPECT. Keys pressed while Wine still moves the focus
        from SOURCE to TARGET are lost, as with Notepad; the paste is then done again, after
        copying the code text anew, since the check's Copy replaced it on the clipboard."""
        def paste():
            self.code_copied(source, plain, key)
            target.act(*target.click(CODE_BOX), "key", "ctrl+a", "key", "ctrl+v")
        return self.until_copied(paste, target, 1, expect, 4 * WAIT)

    def set_key(self, instance, key):
        self.pasted(instance, KEY_BOX, 0, key.encode(), as_codes(key.encode()))

    def set_plain(self, instance, text):
        """Pastes TEXT into INSTANCE's plain box and checks it; gives its codes. The control
        pictures of LF and CR enter those codes alone."""
        codes = as_codes(text.replace("\u240a", "\n").replace("\u240d", "\r").encode())
        self.pasted(instance, PLAIN_BOX, 1, text.encode(), codes, 4 * WAIT)
        return codes

    # --- the cases -------------------------------------------------------------------------

    def install(self):
        desktop = self.desktop
        desktop.wine(self.installer, "/S", timeout=10 * WAIT)
        for name in ("codetarvo.exe", "codetarvo-cli.exe", "Uninstall.exe"):
            if not os.path.isfile(desktop.unix_path(INSTALL_DIR + "\\" + name)):
                raise Failure("the installer left no %s in %s" % (name, INSTALL_DIR))
        if not self.start_menu_entries():
            raise Failure("no Start menu entry for Code Tarvo")
        desktop.wine("reg", "query", UNINSTALL_KEY)

    def start_menu_entries(self):
        return glob.glob(os.path.join(self.desktop.prefix, "drive_c", "*", "Microsoft",
                                      "Windows", "Start Menu", "Programs", "Code Tarvo",
                                      "Code Tarvo.lnk"))

    def start_up(self):
        self.a = WindowsInstance(self.desktop, top=0)
        name = self.desktop.xdotool("getwindowname", self.a.window).strip()
        if name != self.caption():
            raise Failure("caption %r, expected %r" % (name, self.caption()))
        self.b = WindowsInstance(self.desktop, top=CLIENT_SIZE[1] + 80)
        # The Copy buttons wait for a first edit; pasting the initial key would not be one.
        for instance in (self.a, self.b):
            self.set_key(instance, "ab")

    def exchange(self, text, key, ends_in_zero=False):
        """TEXT into A's plain box; A's code text, copied, pasted into B's code box with the
        same key, gives TEXT in B's plain box."""
        def body():
            a, b = self.a, self.b
            self.set_key(b, key)
            self.set_key(a, key)
            plain = self.set_plain(a, text)
            code = self.code_copied(a, plain, key)
            if ends_in_zero and not code.endswith(b"\0"):
                raise Failure("precondition: code text %s does not end in code 0"
                              % shown(code[-8:]))
            self.until_copied(
                lambda: b.act(*b.click(CODE_BOX), "key", "ctrl+a", "key", "ctrl+v"), b, 1,
                plain, 4 * WAIT)
        return body

    def empty_box(self):
        """An empty box copied in A and pasted into B's code box, where nothing is selected,
        leaves B's code alone (over a selection it would remove the selection)."""
        a, b = self.a, self.b
        self.set_key(b, "Tesk")
        plain = self.set_plain(b, "garde")
        code = self.code_copied(b, plain, "Tesk")
        a.act(*a.click(CODE_BOX), "key", "ctrl+a", "key", "Delete")
        self.copied(a, 2, b"")
        b.act(*b.click(CODE_BOX), "key", "ctrl+End", "key", "ctrl+v")
        self.copied(b, 2, code)
        self.copied(b, 1, plain)

    def notepad_line_breaks(self):
        """Notepad's CR LF line breaks, copied there and pasted into B's plain box, stay CR LF."""
        desktop, b = self.desktop, self.b
        lines = b"premier\r\ndeuxi\xe8me\r\n\r\nfin"
        with open(desktop.unix_path("C:\\lignes.txt"), "wb") as out:
            out.write(lines)
        notepad = Program(desktop, ["wine", "notepad", "C:\\lignes.txt"])
        try:
            # Its caption names the file once it has read it.
            window = desktop.find_window("Notepad's window", "--name", "lignes",
                                         program=notepad)
            # Opened in the middle of the screen, it would cover part of B.
            desktop.place(window, CLIENT_SIZE[0] + 20, 0)
            # Notepad's copy reaches X11 too, as UTF-8 with LF line breaks. Keys pressed
            # while Wine still hands Notepad the focus are lost: then they are pressed again.
            as_x11 = lines.decode("cp1252").replace("\r\n", "\n").encode()
            for attempt in range(1, PASTE_ATTEMPTS + 1):
                desktop.xdotool("windowfocus", "--sync", window, "mousemove", "--window",
                                window, "100", "100", "click", "1", "key", "ctrl+a",
                                "key", "ctrl+c")
                try:
                    wait_for(lambda: desktop.clipboard() == as_x11, "Notepad's copy",
                             attempt * WAIT / PASTE_ATTEMPTS)
                    break
                except Failure:
                    if attempt == PASTE_ATTEMPTS:
                        raise
            # Closed, Notepad leaves its copy on the clipboard and can no longer take the
            # focus back from B, with the keys meant for B.
            notepad.stop()
            b.act(*b.click(PLAIN_BOX), "key", "ctrl+a", "key", "ctrl+v")
            self.copied(b, 1, lines)
        finally:
            notepad.stop()

    def linux_instance(self):
        self.linux = Instance(self.desktop, self.app, top=2 * (CLIENT_SIZE[1] + 80))

    def windows_to_linux(self):
        """A code text ending in code 0 from A reaches the Linux instance through Wine's X11
        bridge."""
        a, linux = self.a, self.linux
        # A two-character key and a last character outside ASCII: the code text ends in 0.
        key, text = "ab", "Crème, à l'heure, café"
        self.set_key(linux, key)
        self.set_key(a, key)
        plain = self.set_plain(a, text)
        code = self.code_copied(a, plain, key)
        if not code.endswith(b"\0"):
            raise Failure("precondition: code text %s does not end in code 0" % shown(code))
        linux.paste_code()
        self.copied(linux, 1, plain)

    def linux_to_windows(self):
        """A code text with line breaks from the Linux instance reaches B through the bridge."""
        b, linux = self.b, self.linux
        key, text = "clé", "première ligne\r\nseconde\r\n"
        self.set_key(b, key)
        self.set_key(linux, key)
        plain = self.set_plain(linux, text)
        self.code_pasted(linux, plain, key, b, plain)

    def wrong_key(self):
        a, b = self.a, self.b
        self.set_key(b, "~~~~")
        self.set_key(a, "Tesk")
        plain = self.set_plain(a, "Bonjour    !")
        self.code_pasted(a, plain, "Tesk", b, ERREUR)

    def command_line(self):
        """The installed codetarvo-cli.exe and the Linux codetarvo-cli read each other's code
        texts, and decode the same code text to the same bytes."""
        rng = random.Random(15)
        plain = bytes(rng.randrange(256) for _ in range(200_000)) + b"\n\r\n\x1a\0"
        key = "K\x01y!"
        windows_cli = INSTALL_DIR + "\\codetarvo-cli.exe"

        def windows(*args, data):
            done = self.desktop.wine(windows_cli, *args, data=data, timeout=4 * WAIT)
            return done.stdout

        from_windows = windows("encode", "--bytes", "--key", key, data=plain)
        if self.decode_codes(from_windows, key) != plain:
            raise Failure("the Linux tool does not decode the Windows tool's code text")
        from_linux = self.run(self.cli, "encode", "--bytes", "--key", key, data=plain).stdout
        if windows("decode", "--bytes", "--key", key, data=from_linux) != plain:
            raise Failure("the Windows tool does not decode the Linux tool's code text")
        text = "Ligne\r\nseule\nfin é€".encode()
        code = self.encode(text, "Tesk")
        if windows("decode", "--key", "Tesk", data=code) != text:
            raise Failure("text mode differs between the Windows and the Linux tool")

    def uninstall(self):
        desktop = self.desktop
        for instance in (self.a, self.b):
            if instance:
                instance.stop()
        self.a = self.b = None
        # A program Wine has not yet seen end keeps its files, which the uninstaller would
        # leave for a reboot.
        desktop.wait_for_wine("the programs to end before the uninstaller runs")
        desktop.wine(INSTALL_DIR + "\\Uninstall.exe", "/S", timeout=10 * WAIT)
        # The uninstaller runs on from a copy of itself in the temporary folder.
        desktop.wait_for_wine("the uninstaller to finish")
        if os.path.exists(desktop.unix_path(INSTALL_DIR + "\\codetarvo.exe")):
            raise Failure("the uninstaller left the program")
        if self.start_menu_entries():
            raise Failure("the uninstaller left the Start menu entry")
        if desktop.wine("reg", "query", UNINSTALL_KEY, check=False).returncode == 0:
            raise Failure("the uninstaller left its registry key")

    def run_all(self):
        self.case("installer, silent: program, Start menu entry, uninstaller", self.install)
        self.case("two instances start, caption", self.start_up)
        if self.a and self.b:
            self.case("Windows clipboard: accents, 4-character key",
                      self.exchange("Déjà vu, garçon ! Œuvre à 5 €", "Tesk"))
            self.case("Windows clipboard: code text ending in code 0",
                      self.exchange("Café", "ab", ends_in_zero=True))
            self.case("Windows clipboard: lone LF and lone CR",
                      self.exchange("un\u240adeux\u240dtrois\r\nquatre", "clé"))
            self.case("Windows clipboard: an empty box changes nothing", self.empty_box)
            self.case("Windows clipboard: wrong key gives Erreur", self.wrong_key)
            self.case("Windows clipboard: 1 MB code text ending in code 0",
                      self.exchange(large_text(), "ab", ends_in_zero=True))
            self.case("Notepad's CR LF line breaks", self.notepad_line_breaks)
            self.case("Linux instance opens", self.linux_instance)
            if self.linux:
                self.case("Windows to Linux through the X11 bridge", self.windows_to_linux)
                self.case("Linux to Windows through the X11 bridge", self.linux_to_windows)
        self.case("command line: Windows and Linux tools agree", self.command_line)
        self.case("uninstaller, silent", self.uninstall)
        if self.linux:
            self.linux.stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("--installer", "--app", "--cli"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    missing = [tool for tool in ("wine", "wineserver", "wineboot") if not shutil.which(tool)]
    if missing:
        print("e2e_wine: SKIPPED, Wine cannot run here: %s not found" % ", ".join(missing))
        return 77
    missing = [tool for tool in ("Xvfb", "xdotool", "xclip", "xwininfo") if not shutil.which(tool)]
    if missing:
        print("e2e_wine: SKIPPED, no X server to drive here: %s not found" % ", ".join(missing))
        return 77
    if not os.path.isfile(args.installer):
        print("e2e_wine: the installer %s is missing" % args.installer)
        return 2
    for path in (args.app, args.cli):
        if not os.path.isfile(path):
            print("e2e_wine: SKIPPED, the Linux program %s is missing: it runs beside the "
                  "Windows one (build the dev preset first)" % path)
            return 77
    installer = os.path.abspath(args.installer)
    return drive("e2e_wine", "Xvfb and Wine", WineDesktop,
                 lambda desktop, app, cli: Suite(desktop, app, cli, installer), args,
                 errors=(Failure, OSError, subprocess.TimeoutExpired))


if __name__ == "__main__":
    sys.exit(main())
