#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# How many control marks an OCR engine reads as their two hex digits, at the size the
# window draws them, beside the same digits typed as text in the same box.
#
#   bench/mark_ocr.sh [MARK_IMAGES]
#
# MARK_IMAGES defaults to build-release/bench/mark_images. It draws each mark alone in the
# window's code box on a private Xvfb at 96 dpi (X11, as a person sees it); each image is
# cut to its ink, made dark on light (a mark drawn light on dark is inverted), given a
# margin of background, enlarged 4 times and given to tesseract as one line of text, once
# as it comes and once limited to the hex digits (unlimited, tesseract reads a typed 0A as
# OA). Prints what it read for each code and the totals. Needs Xvfb, ImageMagick
# (convert) and tesseract-ocr.
set -euo pipefail

images=${1:-build-release/bench/mark_images}
[ -x "$images" ] || { echo "mark_ocr.sh: no executable '$images'" >&2; exit 2; }
for tool in Xvfb convert tesseract; do
    command -v "$tool" > /dev/null || { echo "mark_ocr.sh: needs $tool" >&2; exit 2; }
done

dir=$(mktemp -d)
display=:$((100 + RANDOM % 400))
Xvfb "$display" -screen 0 1280x800x24 -dpi 96 -nolisten tcp > "$dir/xvfb.log" 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2> /dev/null; wait "$xvfb" 2> /dev/null; rm -rf "$dir"' EXIT
for ((i = 0; i < 100; ++i)); do
    [ -e "/tmp/.X11-unix/X${display#:}" ] && break
    sleep 0.05
done

DISPLAY=$display QT_QPA_PLATFORM=xcb QT_FONT_DPI=96 QT_SCALE_FACTOR=1 "$images" "$dir/png"

HexOnly=(-c tessedit_char_whitelist=0123456789ABCDEF)

# What tesseract reads in IMAGE, cut to its ink, dark on light, with a margin, enlarged 4
# times, spaces removed; more arguments go to tesseract.
read_image() {
    local image=$1 mean negate=()
    shift
    convert "$image" -colorspace Gray -fuzz 10% -trim +repage "$dir/cut.png"
    mean=$(convert "$dir/cut.png" -format '%[fx:mean]' info:)
    # A mark drawn light on dark: its field becomes the background, down to the blurred rim.
    awk -v m="$mean" 'BEGIN { exit !(m < 0.5) }' && negate=(-negate -shave 1x1)
    convert "$dir/cut.png" "${negate[@]}" -bordercolor white -border 3 -resize 400% \
        "$dir/large.png"
    tesseract "$dir/large.png" - --psm 7 "$@" 2> /dev/null | tr -d ' \n\f'
}

declare -A read=()
total=0
printf '%-4s  %-8s  %-8s  %-8s  %-8s\n' code mark text 'mark hex' 'text hex'
for image in "$dir"/png/mark-*.png; do
    hex=$(basename "$image" .png)
    hex=${hex#mark-}
    results=("$(read_image "$image")" "$(read_image "$dir/png/text-$hex.png")"
             "$(read_image "$image" "${HexOnly[@]}")"
             "$(read_image "$dir/png/text-$hex.png" "${HexOnly[@]}")")
    line=$hex
    for i in 0 1 2 3; do
        [ "${results[i]}" = "$hex" ] && read[$i]=$((${read[$i]:-0} + 1))
        line=$(printf '%-4s  %-8s' "$line" "${results[i]:-(none)}")
    done
    echo "$line"
    total=$((total + 1))
done
echo "read as their two hex digits, of $total: marks ${read[0]:-0}, typed digits ${read[1]:-0};" \
    "limited to hex digits: marks ${read[2]:-0}, typed digits ${read[3]:-0}"
