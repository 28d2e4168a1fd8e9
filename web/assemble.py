#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""assemble.py: writes codetarvo.html, the page with its style, script, WebAssembly, box font
and icon inlined, so that it works opened from disk with no network; and beside it the web
app manifest and the service worker, whose cache is named after the page's content so that
a new page replaces the old one. The page's Content-Security-Policy allows its inline scripts
and style by their hashes, computed here from what the page holds."""

import argparse
import base64
import hashlib
import os
import re


def read(path, mode="r"):
    with open(path, mode) as f:
        return f.read()


def script(text, path):
    # Inline, "</script" would end the element early.
    if "</script" in text.lower():
        raise SystemExit(f"{path} holds </script and cannot be inlined")
    return text


def hashes(page, element):
    """The CSP sources that allow each inline ELEMENT of PAGE: the SHA-256 of its text as the
    browser reads it. The browser turns every CR into LF before it hashes, so the page must
    hold none."""
    sources = []
    for body in re.findall(rf"<{element}\b[^>]*>(.*?)</{element}>", page, re.DOTALL):
        if "\r" in body:
            raise SystemExit(f"an inline {element} holds a CR: its hash would not match")
        digest = base64.b64encode(hashlib.sha256(body.encode("utf-8")).digest()).decode("ascii")
        sources.append(f"'sha256-{digest}'")
    return " ".join(sources)


def main():
    parser = argparse.ArgumentParser()
    for option in ("source", "wasm", "font", "icon", "title", "version", "out"):
        parser.add_argument("--" + option, required=True)
    args = parser.parse_args()

    def source(name):
        return read(os.path.join(args.source, name))

    font = base64.b64encode(read(args.font, "rb")).decode("ascii")
    icon = base64.b64encode(read(args.icon, "rb")).decode("ascii")
    style = source("style.css").replace("@FONT@", font)
    page = (source("index.html")
            .replace("@TITLE@", args.title)
            .replace("@ICON@", icon)
            .replace("@STYLE@", style)
            .replace("@WASM@", script(read(args.wasm), args.wasm))
            .replace("@SCRIPT@", script(source("page.js"), "page.js")))
    page = (page.replace("@SCRIPT_HASHES@", hashes(page, "script"))
            .replace("@STYLE_HASHES@", hashes(page, "style")))
    with open(os.path.join(args.out, "codetarvo.html"), "w", encoding="utf-8") as f:
        f.write(page)

    digest = hashlib.sha256(page.encode("utf-8")).hexdigest()[:16]
    with open(os.path.join(args.out, "sw.js"), "w", encoding="utf-8") as f:
        f.write(source("sw.js").replace("@CACHE@", f"codetarvo-{args.version}-{digest}"))
    with open(os.path.join(args.out, "manifest.webmanifest"), "w", encoding="utf-8") as f:
        f.write(source("manifest.webmanifest").replace("@TITLE@", args.title))


if __name__ == "__main__":
    main()
