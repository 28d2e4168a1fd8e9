#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from the current build tree into a scratch folder, inspects it
# and unpacks it into a scratch root, then runs the packaged codetarvo-cli from there. The
# package, its programs and its metadata all carry the version the build was configured with.
#   package.sh CMAKE CPACK BUILD_DIR
set -euo pipefail
cmake=$1
cpack=$2
build=$3
for tool in "$cpack" dpkg dpkg-deb dpkg-shlibdeps file ldd; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

version=$(sed -n 's/^#define CODETARVO_VERSION "\(.*\)"$/\1/p' "$build/generated/codetarvo_version.h")
[ -n "$version" ] || { echo "FAIL: no version in $build/generated/codetarvo_version.h"; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; echo "FAIL: cpack could not build the package"; exit 1; }
arch=$(dpkg --print-architecture)
deb=$scratch/out/codetarvo_${version}_$arch.deb
[ -f "$deb" ] || { ls "$scratch/out"; echo "FAIL: no $(basename "$deb")"; exit 1; }

echo "== dpkg-deb -I $(basename "$deb")"
dpkg-deb -I "$deb"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = codetarvo ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)'"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
[ "$(field Section)" = utils ] || fail "Section is '$(field Section)'"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
# dpkg-shlibdeps names the C and C++ runtimes of any program of ours, with versions.
depends=$(field Depends)
IFS=, read -ra entries <<<"$depends"
libraries=(libc6 libstdc++6)
dpkg-deb -c "$deb" | grep -q ' \./usr/bin/codetarvo$' && libraries+=(libqt6widgets6)
for library in "${libraries[@]}"; do
    found=no
    for entry in "${entries[@]}"; do
        [[ ${entry# } == "$library (>= "*")" ]] && found=yes
    done
    [ "$found" = yes ] || fail "Depends lacks a versioned $library: '$depends'"
done

# The package holds exactly what `cmake --install` puts under /usr.
DESTDIR=$scratch/installed "$cmake" --install "$build" --prefix /usr >/dev/null
(cd "$scratch/installed" && find . -type f | sort) >"$scratch/installed.list"
dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sort >"$scratch/package.list"
diff -u "$scratch/installed.list" "$scratch/package.list" ||
    fail "the package and the installation differ"

root=$scratch/root
dpkg -x "$deb" "$root"
cli=$root/usr/bin/codetarvo-cli
for program in "$root"/usr/bin/*; do
    file -b "$program" | grep -q ', stripped' || fail "$(basename "$program") is not stripped"
    missing=$(ldd "$program" | grep 'not found' || true)
    [ -z "$missing" ] || fail "$(basename "$program") needs libraries not found: $missing"
done

echo "== $cli --help"
if "$cli" --help >"$scratch/help"; then
    head -n 3 "$scratch/help"
    "$build/tools/codetarvo-cli" --help | cmp -s - "$scratch/help" ||
        fail "the packaged --help differs from the built one"
else
    fail "the packaged codetarvo-cli --help exits with $?"
fi
echo "== $cli --version"
first=$("$cli" --version | head -n 1) || fail "the packaged codetarvo-cli --version exits with $?"
echo "$first"
[ "$first" = "codetarvo-cli (Code Tarvo) $version" ] || fail "--version says '$first'"
"$cli" --version | grep -q '^License GPLv3+' || fail "--version names no licence"
copyright=$root/usr/share/doc/codetarvo/copyright
for licence in GPL-3+ OFL-1.1; do
    grep -q "^License: $licence\$" "$copyright" 2>/dev/null || fail "no $licence in $copyright"
done
metainfo=$root/usr/share/metainfo/fr.kor.CodeTarvo.metainfo.xml
if [ -f "$metainfo" ]; then
    grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
    grep -q '<project_license>GPL-3.0-or-later AND OFL-1.1</project_license>' "$metainfo" ||
        fail "the metainfo names no project licence"
fi
for page in "$root"/usr/share/man/man1/*.1.gz; do
    zcat "$page" | grep -q "^\.TH .*\"Code Tarvo $version\"" || fail "$(basename "$page") is not of version $version"
done

# A text with characters from all over Windows-1252 goes through and comes back.
plain=$'Bonjour, ça va ? 100 € — «oui»\nLigne 2\tfin'
back=$(printf '%s' "$plain" | "$cli" encode --key Tesk | "$cli" decode --key Tesk) ||
    fail "the packaged codetarvo-cli cannot encode and decode"
[ "$back" = "$plain" ] || fail "round trip through the packaged codetarvo-cli gave '$back'"

# The packaged window program starts and keeps running until it is stopped.
if [ -x "$root/usr/bin/codetarvo" ]; then
    started=0
    QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$scratch timeout 3 "$root/usr/bin/codetarvo" \
        >"$scratch/window.log" 2>&1 || started=$?
    if [ "$started" -eq 124 ]; then
        echo "the packaged codetarvo started and ran until stopped"
    else
        cat "$scratch/window.log"
        fail "the packaged codetarvo ended by itself with status $started"
    fi
fi

[ "$status" -eq 0 ] && echo "package checked: $(basename "$deb"), Depends: $depends"
exit "$status"
