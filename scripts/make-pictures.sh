#!/usr/bin/env bash
# Draws the welcome logo and the ten slide pictures as small flat icons.
# The build embeds the committed PNGs; rerun this only when a picture changes:
#   bash scripts/make-pictures.sh [output-folder]
# Needs ImageMagick's `convert` (drawing is anti-aliased by ImageMagick itself).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
OUT="${1:-$ROOT/resources/pictures}"
mkdir -p "$OUT"

# Palette: tuned to the window colour #076889 and its label colour #C7F8FF.
WHITE='#FFFFFF'
LIGHT='#C7F8FF'
MID='#5CC8E6'
DEEP='#0A84AD'
DARK='#04506A'
AMBER='#FFC247'
CORAL='#FF7B5C'

# render NAME WIDTH HEIGHT MVG [OVERLAY-MVG]
# Draws MVG primitives on a transparent canvas and writes a stripped,
# colour-reduced PNG; few colours keep the embedded resources tiny. The
# optional overlay is drawn on its own layer and laid on at 70 % opacity, so
# overlapping strokes inside it do not darken where they meet.
render() {
    local name="$1" width="$2" height="$3" mvg="$4" overlay="${5:-}"
    convert -size "${width}x${height}" xc:none -stroke none -draw "$mvg" \
        \( -size "${width}x${height}" xc:none -stroke none -draw "fill none ${overlay:-point 0,0}" \
           -channel A -evaluate multiply 0.7 +channel \) \
        -compose Over -composite \
        -strip +dither -colors 48 \
        -define png:compression-level=9 -define png:exclude-chunks=all \
        "PNG32:$OUT/$name.png"
}

# render_in_disc NAME WIDTH HEIGHT CX CY R BACK-MVG FRONT-MVG
# Like render, but the front drawing is cut off at the disc's edge.
render_in_disc() {
    local name="$1" width="$2" height="$3" cx="$4" cy="$5" r="$6"
    convert -size "${width}x${height}" xc:none -stroke none -draw "$7" \
        \( -size "${width}x${height}" xc:none -stroke none -draw "$8" \
           \( -size "${width}x${height}" xc:none -fill white \
              -draw "circle $cx,$cy $((cx + r)),$cy" \) \
           -compose DstIn -composite \) \
        -compose Over -composite \
        -strip +dither -colors 48 \
        -define png:compression-level=9 -define png:exclude-chunks=all \
        "PNG32:$OUT/$name.png"
}

# A soft disc one step lighter than the window behind every slide motif, so the
# ten pictures read as one set.
halo() { echo "fill '$DEEP' circle $1,$2 $(( $1 + $3 )),$2"; }

# WELCOME: the product's logo, a shopping bag woven from two strands.
welcome() {
    local verticals=(38 58 78 98) horizontals=(68 88 108) mvg i j x y
    mvg="fill '$DARK' fill-opacity 0.35 roundrectangle 11,14 141,144 30,30 fill-opacity 1
         fill '$WHITE' roundrectangle 9,9 141,141 30,30
         push graphic-context
           fill none stroke '$DARK' stroke-width 8 stroke-linecap round
           path 'M 58,66 C 58,30 92,30 92,66'
         pop graphic-context"
    for x in "${verticals[@]}"; do
        mvg+=" fill '$DEEP' roundrectangle $x,62 $((x + 14)),128 4,4"
    done
    for y in "${horizontals[@]}"; do
        mvg+=" fill '$AMBER' roundrectangle 32,$y 118,$((y + 14)) 4,4"
    done
    # Weave: at each crossing the upper strand gets a thin white edge on both
    # sides, alternating vertical and horizontal like a basket.
    for i in 0 1 2 3; do
        for j in 0 1 2; do
            x=${verticals[$i]}; y=${horizontals[$j]}
            if (( (i + j) % 2 == 0 )); then
                mvg+=" fill '$WHITE' rectangle $((x - 2)),$y $((x + 16)),$((y + 14))
                       fill '$DEEP' rectangle $x,$((y - 1)) $((x + 14)),$((y + 15))"
            else
                mvg+=" fill '$WHITE' rectangle $x,$((y - 2)) $((x + 14)),$((y + 16))
                       fill '$AMBER' rectangle $((x - 1)),$y $((x + 15)),$((y + 14))"
            fi
        done
    done
    render WELCOME 150 150 "$mvg"
}

# 1: adding, editing, importing and exporting products - a parcel with a plus.
promo_products() {
    render PROMO_1 112 104 "$(halo 56 52 50)
        fill '$AMBER' roundrectangle 22,44 84,94 5,5
        fill '#FFD98A' roundrectangle 18,32 88,48 5,5
        fill '$WHITE' rectangle 47,32 59,68
        fill '$WHITE' roundrectangle 28,78 48,86 2,2
        fill '$CORAL' circle 86,30 86,12
        push graphic-context
          stroke '$WHITE' stroke-width 5 stroke-linecap round
          line 86,22 86,38  line 78,30 94,30
        pop graphic-context"
}

# 2: category management - a folder tree with a dragging pointer.
folder() { # x y w h colour
    local x=$1 y=$2 w=$3 h=$4 c=$5
    echo "fill '$c' roundrectangle $x,$y $((x + w * 2 / 5)),$((y + 10)) 3,3
          fill '$c' roundrectangle $x,$((y + 5)) $((x + w)),$((y + h)) 4,4"
}
promo_categories() {
    render PROMO_2 118 100 "$(halo 59 50 48)
        push graphic-context
          fill none stroke '$WHITE' stroke-width 4 stroke-linejoin round
          path 'M 30,40 L 30,84 L 50,84  M 30,58 L 50,58'
        pop graphic-context
        $(folder 12 8 46 32 "$AMBER")
        $(folder 50 46 44 24 "$LIGHT")
        $(folder 50 72 44 24 "$LIGHT")
        push graphic-context
          fill '$WHITE' stroke '$DARK' stroke-width 2 stroke-linejoin round
          polygon 86,62 86,92 93,85 98,96 103,94 98,83 107,83
        pop graphic-context"
}

# 3: mass changes of prices, statuses and quantities - a stack of price tags.
tag() { # cx cy angle colour
    echo "push graphic-context translate $1,$2 rotate $3
            fill '$4' stroke '$4' stroke-width 5 stroke-linejoin round
            polygon -33,0 -14,-19 33,-19 33,19 -14,19
            stroke none fill '$DARK' circle -16,0 -11.5,0
          pop graphic-context"
}
promo_prices() {
    render PROMO_3 110 108 "$(halo 55 54 50)
        $(tag 62 38 -28 "$LIGHT")
        $(tag 52 62 -28 "$AMBER")
        push graphic-context translate 52,62 rotate -28
          fill none stroke '$DARK' stroke-width 3.5 stroke-linecap round
          circle 0,-8 0,-3  circle 21,8 21,13  line 22,-13 -1,13
        pop graphic-context"
}

# 4: importing from the web, FTP or this computer - a cloud feeding a tray.
promo_import() {
    render PROMO_4 123 104 "$(halo 61 52 50)
        fill '$WHITE' circle 44,42 44,24  circle 66,34 66,10  circle 86,46 86,30
        fill '$WHITE' roundrectangle 30,40 100,60 10,10
        push graphic-context
          fill none stroke '$LIGHT' stroke-width 7 stroke-linejoin round stroke-linecap round
          path 'M 28,74 L 28,94 L 96,94 L 96,74'
        pop graphic-context
        fill '$AMBER' roundrectangle 56,46 68,76 2,2
        fill '$AMBER' stroke '$AMBER' stroke-width 3 stroke-linejoin round
        polygon 46,72 78,72 62,88"
}

# 5: unlimited customers and customer groups - three people.
person() { # cx head-y head-r body-halfwidth body-top body-bottom colour
    local cx=$1 hy=$2 hr=$3 w=$4 top=$5 bottom=$6 c=$7
    echo "fill '$c' circle $cx,$hy $cx,$((hy - hr))
          fill '$c' path 'M $((cx - w)),$bottom L $((cx - w)),$((top + w))
                          A $w,$w 0 0 1 $((cx + w)),$((top + w)) L $((cx + w)),$bottom Z'"
}
promo_customers() {
    render_in_disc PROMO_5 120 100 60 50 48 "$(halo 60 50 48)" "
        $(person 32 40 11 18 56 100 "$MID")
        $(person 88 40 11 18 56 100 "$MID")
        fill '$DEEP' stroke '$DEEP' stroke-width 6 circle 60,34 60,18
        fill '$DEEP' stroke '$DEEP' stroke-width 6 path 'M 36,100 L 36,78 A 24,24 0 0 1 84,78 L 84,100 Z'
        $(person 60 34 15 24 54 100 "$WHITE")"
}

# 6: exporting orders to CSV, spreadsheet or HTML - a sheet with an out arrow.
promo_orders() {
    render PROMO_6 104 112 "$(halo 52 56 50)
        fill '$WHITE' stroke '$WHITE' stroke-width 4 stroke-linejoin round
        polygon 22,14 62,14 80,32 80,98 22,98
        stroke none fill '$LIGHT' polygon 62,14 62,32 80,32
        fill '$AMBER' roundrectangle 30,40 72,48 2,2
        fill '$MID' roundrectangle 30,54 72,59 2,2  roundrectangle 30,65 72,70 2,2
        fill '$MID' roundrectangle 30,76 56,81 2,2
        fill '$CORAL' stroke '$DEEP' stroke-width 3 circle 80,88 80,69
        push graphic-context
          fill none stroke '$WHITE' stroke-width 5 stroke-linecap round stroke-linejoin round
          line 71,88 89,88  polyline 82,80 90,88 82,96
        pop graphic-context"
}

# 7: switching between several stores - two shop fronts and a swap arrow.
shop() { # x y awning-colour
    local x=$1 y=$2 c=$3 mvg="" i sx
    for i in 0 1 2 3; do
        sx=$((x + i * 11))
        if (( i % 2 == 0 )); then mvg+=" fill '$c'"; else mvg+=" fill '$WHITE'"; fi
        mvg+=" rectangle $sx,$y $((sx + 11)),$((y + 10)) circle $((sx + 5)),$((y + 10)) $((sx + 5)),$((y + 15))"
    done
    echo "fill '$LIGHT' rectangle $((x + 3)),$((y + 10)) $((x + 41)),$((y + 46))
          fill '$WHITE' rectangle $((x + 8)),$((y + 22)) $((x + 20)),$((y + 34))
          fill '$DEEP' rectangle $((x + 25)),$((y + 24)) $((x + 36)),$((y + 46))
          $mvg"
}
promo_stores() {
    render PROMO_7 116 100 "$(halo 58 50 48)
        $(shop 8 18 "$AMBER")
        $(shop 64 18 "$CORAL")
        push graphic-context
          fill none stroke-width 5 stroke-linecap round stroke-linejoin round
          stroke '$AMBER' line 28,76 84,76  polyline 78,70 85,76 78,82
          stroke '$WHITE' line 88,90 32,90  polyline 38,84 31,90 38,96
        pop graphic-context"
}

# 8: built-in reports on sales, inventory and customers - a bar chart.
promo_reports() {
    render PROMO_8 114 104 "$(halo 57 52 50)
        fill '$WHITE' roundrectangle 16,16 98,90 8,8
        fill '$MID'   roundrectangle 28,58 38,80 2,2
        fill '$AMBER' roundrectangle 45,40 55,80 2,2
        fill '$DEEP'  roundrectangle 62,50 72,80 2,2
        fill '$CORAL' roundrectangle 79,30 89,80 2,2
        fill '$DARK'  rectangle 24,80 92,83"
}

# 9: watermarks on product images - a photo with a translucent copyright mark.
# arc_points CX CY R FROM TO: points of a circular arc (degrees, counter-clockwise
# from three o'clock) for `polyline`; ImageMagick closes stroked path arcs.
arc_points() {
    awk -v cx="$1" -v cy="$2" -v r="$3" -v from="$4" -v to="$5" 'BEGIN {
        for (a = from; a <= to; a += 10)
            printf "%.2f,%.2f ", cx + r * cos(a * 3.14159265 / 180), cy - r * sin(a * 3.14159265 / 180)
    }'
}
promo_watermark() {
    render PROMO_9 110 100 "$(halo 55 50 48)
        fill '$WHITE' roundrectangle 12,18 98,84 6,6
        fill '$MID' roundrectangle 19,25 91,77 3,3
        fill '$DEEP' polygon 19,77 42,48 58,66 70,54 91,77
        fill '$AMBER' circle 78,38 78,31" "
        fill none stroke '$WHITE' stroke-width 4 stroke-linecap round stroke-linejoin round
        circle 55,51 55,30
        polyline $(arc_points 55 51 10 45 315)"
}

# 10: 45 extra fields for the advanced product search - a form under a lens.
promo_search() {
    local mvg="$(halo 54 54 50) fill '$WHITE' roundrectangle 14,14 76,94 6,6" y
    for y in 26 44 62 80; do
        mvg+=" fill '$MID' roundrectangle 22,$y 32,$((y + 6)) 2,2
               fill '$LIGHT' roundrectangle 36,$((y - 2)) 68,$((y + 8)) 2,2"
    done
    render PROMO_10 108 108 "$mvg
        push graphic-context
          stroke '$AMBER' stroke-linecap round
          stroke-width 10 line 86,84 98,96
          fill '$WHITE' fill-opacity 0.45 stroke-width 7 circle 72,70 72,50
        pop graphic-context"
}

welcome
promo_products
promo_categories
promo_prices
promo_import
promo_customers
promo_orders
promo_stores
promo_reports
promo_watermark
promo_search
ls -l "$OUT"
