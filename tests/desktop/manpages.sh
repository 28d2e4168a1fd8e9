#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a scratch root and checks the manual pages there: each renders
# without a single groff warning, and the page of codetarvo-cli lists every option, the
# environment variable, every exit status and every example of `codetarvo-cli --help`.
#   manpages.sh CMAKE BUILD_DIR
set -euo pipefail
cmake=$1
build=$2
for tool in man groff; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root "$cmake" --install "$build" --prefix /usr >/dev/null
man1=$root/usr/share/man/man1
cli=$root/usr/bin/codetarvo-cli
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

[ -f "$man1/codetarvo-cli.1.gz" ] || fail "codetarvo-cli.1.gz is not installed"
[ ! -e "$root/usr/bin/codetarvo" ] || [ -f "$man1/codetarvo.1.gz" ] ||
    fail "codetarvo is installed without its manual page"

export LC_ALL=C.UTF-8 MANWIDTH=80
for page in "$man1"/*.1.gz; do
    # -ww: every warning groff knows, including lines it cannot break or adjust.
    warnings=$(man --warnings=w -l "$page" 2>&1 >/dev/null) || fail "man cannot render $page"
    if [ -n "$warnings" ]; then
        fail "$(basename "$page") renders with warnings:"
        echo "$warnings"
    else
        echo "$(basename "$page"): renders without warnings"
    fi
done

# The page of codetarvo-cli against its --help, compared as plain text with spaces squeezed.
help=$("$cli" --help)
raw=$(MANWIDTH=400 man -l "$man1/codetarvo-cli.1.gz")
page=$(tr -s ' ' <<<"$raw")
squeeze() { tr -s ' ' | sed 's/^ //'; }
# The tags of the OPTIONS section: the lines that start at the section's first indent.
options=$(sed -n '/^OPTIONS/,/^[A-Z]/p' <<<"$raw" | grep -E '^ {7}-')
while read -r option; do
    grep -qE -- "(^|[^-[:alnum:]])$option([^-[:alnum:]]|\$)" <<<"$options" ||
        fail "the manual page's OPTIONS lacks $option"
done < <(grep -oE -- '(^| )(-[a-z],|--[a-z][a-z-]*)' <<<"$help" | sed 's/^ //; s/,$//' | sort -u)
while read -r variable; do
    grep -q -- "^ *$variable\$" <<<"$page" ||
        fail "the manual page's ENVIRONMENT lacks $variable"
done < <(grep -oE '\b[A-Z][A-Z0-9]*_[A-Z0-9_]+\b' <<<"$help" | sort -u)
exits=$(sed -n '/^Exit status:/,/^$/p' <<<"$help" | grep -oE '^  [0-9]+ ' | tr -d ' ')
[ -n "$exits" ] || fail "--help lists no exit status"
section=$(sed -n '/^EXIT STATUS/,/^[A-Z]/p' <<<"$page")
for code in $exits; do
    grep -qE "^ $code( |\$)" <<<"$section" || fail "the manual page's EXIT STATUS lacks $code"
done
examples=$(sed -n '/^Examples:/,/^$/p' <<<"$help" | sed '1d; /^$/d' | squeeze)
[ -n "$examples" ] || fail "--help shows no example"
while read -r example; do
    grep -qF -- "$example" <<<"$(squeeze <<<"$page")" ||
        fail "the manual page lacks the example: $example"
done <<<"$examples"

[ "$status" -eq 0 ] && echo "codetarvo-cli.1 matches codetarvo-cli --help"
exit "$status"
