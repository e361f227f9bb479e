#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Draws the banner's three icons (512 x 512 RGBA, transparent outside the
# shapes) into sources/scene/qml/images/. The PNGs are committed; run this again only
# to change them. Needs ImageMagick 6.
#   info.png     a white check mark in a filled dark-blue disc
#   warning.png  an ochre exclamation mark in an ochre ring
#   alert.png    a white exclamation mark in a filled red triangle
set -euo pipefail
cd "$(dirname "$0")/../sources/scene/qml/images"

convert=/usr/bin/convert   # the first "convert" on PATH may be something else
# No timestamps or other metadata, so the same drawing gives the same bytes.
out=(-strip -define png:exclude-chunks=date,time,tIME)

blue='#1b3a7a'
ochre='#c98a12'
red='#d42a20'

"$convert" -size 512x512 xc:none \
    -fill "$blue" -draw 'circle 256,256 256,16' \
    -fill none -stroke white -strokewidth 58 \
    -draw 'stroke-linecap round stroke-linejoin round polyline 138,268 222,352 378,172' \
    "${out[@]}" PNG32:info.png

"$convert" -size 512x512 xc:none \
    -fill none -stroke "$ochre" -strokewidth 46 -draw 'circle 256,256 256,35' \
    -stroke none -fill "$ochre" \
    -draw 'roundrectangle 228,118 284,316 28,28' \
    -draw 'circle 256,380 256,410' \
    "${out[@]}" PNG32:warning.png

"$convert" -size 512x512 xc:none \
    -fill "$red" -stroke "$red" -strokewidth 44 \
    -draw 'stroke-linejoin round polygon 256,50 478,446 34,446' \
    -stroke none -fill white \
    -draw 'roundrectangle 233,168 279,340 23,23' \
    -draw 'circle 256,392 256,420' \
    "${out[@]}" PNG32:alert.png
