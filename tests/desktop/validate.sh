#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a scratch root and checks the desktop integration files there with
# the validators software centres and menus use: desktop-file-validate for the menu entry,
# appstreamcli (offline) for the AppStream metadata. Each file must also name the others
# consistently, so the menu and the software centre find the program and its entry.
#   validate.sh CMAKE BUILD_DIR
set -euo pipefail
cmake=$1
build=$2
for tool in desktop-file-validate appstreamcli file; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root "$cmake" --install "$build" --prefix /usr >/dev/null
share=$root/usr/share
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

shopt -s nullglob
entries=("$share"/applications/*.desktop)
metainfos=("$share"/metainfo/*.metainfo.xml)
[ ${#entries[@]} -eq 1 ] || fail "expected one menu entry, found ${#entries[@]}"
[ ${#metainfos[@]} -eq 1 ] || fail "expected one metainfo file, found ${#metainfos[@]}"

for entry in "${entries[@]}"; do
    echo "== desktop-file-validate $(basename "$entry")"
    # It prints only problems; hints are advice and do not fail the check.
    out=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate rejects $entry"
    if grep -qv -e ': hint:' -e '^$' <<<"$out"; then
        fail "desktop-file-validate complains"
    fi
    echo "${out:-no problem}"
    grep -qx 'Name\[fr\]=.*' "$entry" || fail "$entry has no French name"
    grep -qx 'Comment\[fr\]=.*' "$entry" || fail "$entry has no French comment"
    program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
    [ -x "$root/usr/bin/$program" ] || fail "the entry runs '$program', which is not installed"
    # Menus look the icon up by name in the hicolor theme, at the size they draw.
    icon=$(sed -n 's/^Icon=//p' "$entry")
    for size in 32 64 128 256; do
        png=$share/icons/hicolor/${size}x$size/apps/$icon.png
        if [ -f "$png" ]; then
            file -b "$png" | grep -q "^PNG image data, $size x $size," ||
                fail "$png is not a $size x $size PNG: $(file -b "$png")"
        else
            fail "no ${size}x$size icon '$icon' in the hicolor theme"
        fi
    done
done

for metainfo in "${metainfos[@]}"; do
    echo "== appstreamcli validate --no-net $(basename "$metainfo")"
    appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects $metainfo"
    id=$(basename "$metainfo" .metainfo.xml)
    grep -q "<id>$id</id>" "$metainfo" || fail "$metainfo does not carry the id $id"
    launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
    [ -f "$share/applications/$launchable" ] ||
        fail "the metainfo launches '$launchable', which is not installed"
    while read -r program; do
        [ -x "$root/usr/bin/$program" ] || fail "the metainfo provides '$program', which is not installed"
    done < <(sed -n 's:.*<binary>\(.*\)</binary>.*:\1:p' "$metainfo")
done

exit "$status"
