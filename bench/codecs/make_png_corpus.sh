#!/usr/bin/env bash
# Writes the PNG benchmark's corpus of files from other encoders into OUTDIR:
#   stored-*.png      ImageMagick, compression level 0 (stored deflate blocks), adaptive filters,
#                     2048 x 2048 photo-like: grey, grey+alpha, RGB, RGBA, palette, 16-bit RGB,
#                     Adam7-interlaced RGB
#   im-*-lL-fF.png    ImageMagick at levels 0, 6 and 9 with filters 0..4 and 5 (adaptive), its own
#                     colour-type choice; im-*-default.png without any setting
#   pil-*-default.png / pil-*-optimize.png   Pillow's defaults and optimize=True
#   libpng-*.png      libpng's defaults (through WRITER, a small libpng program)
# Contents: photo (1024 x 1024, fractal plasma with noise), photogrey (its grey version),
# screen (1280 x 800 flat areas and text), icon (256 x 256 with soft alpha).
# Everything is seeded, so the files are the same on every run with the same tool versions. A
# missing tool skips its part with a message; the benchmark uses whatever is there. (ImageMagick
# 6.9 writes filters 1..4 all as no filter and 0 as adaptive: the benchmark measures a file once
# and names the settings that gave the same bytes.)
#   make_png_corpus.sh OUTDIR [WRITER]
set -euo pipefail
out=${1:?usage: make_png_corpus.sh OUTDIR [WRITER]}
writer=${2:-}
mkdir -p "$out"
cd "$out"
rm -f ./*.png ./*.miff stamp
src=$(mktemp -d)
trap 'rm -rf "$src"' EXIT

convert=$(command -v convert || true)
if [ -z "$convert" ]; then
    echo "png corpus: ImageMagick's convert is missing (Debian package imagemagick): no corpus" >&2
    touch stamp
    exit 0
fi
# No time stamps or other varying chunks.
strip=(-strip -define png:exclude-chunks=date,time)

# ---- Sources (lossless, 16 bits a sample) ----
"$convert" -size 1024x1024 -seed 7 plasma:fractal -seed 8 -attenuate 0.4 +noise Gaussian \
    -depth 16 "$src/photo.miff"
"$convert" "$src/photo.miff" -colorspace Gray "$src/photogrey.miff"
screen=(-size 1280x800 xc:'#f3f3f3'
    -fill '#2b579a' -draw 'rectangle 0,0 1279,31'
    -fill '#e4e4e4' -draw 'rectangle 0,32 239,799'
    -fill white -stroke '#c8c8c8' -draw 'rectangle 250,42 1269,789' +stroke
    -fill '#0078d7' -draw 'roundrectangle 1120,750 1260,780 4,4'
    -font DejaVu-Sans -pointsize 13)
for ((i = 0; i < 46; i++)); do
    y=$((64 + i * 16))
    [ $((i % 2)) -eq 1 ] && screen+=(-fill '#f7f9fc' -draw "rectangle 251,$((y - 12)) 1268,$((y + 3))")
    screen+=(-fill '#1e1e1e' -draw "text 262,$y 'svchost.exe    $((400 + i * 37))    netsvcs $i'"
        -draw "text 620,$y 'Service host: group $i'" -draw "text 1000,$y '$((1200 + i * 311)) K'")
done
for ((i = 0; i < 20; i++)); do
    screen+=(-fill '#333333' -draw "text 16,$((60 + i * 22)) 'Group $i'")
done
screen+=(-fill white -draw "text 10,21 'Service hosts'" -draw "text 1150,770 'Refresh'")
"$convert" "${screen[@]}" -alpha off "$src/screen.miff"
"$convert" -size 256x256 radial-gradient:'#ffd27f-#c4561a' \
    \( -size 256x256 xc:black -fill white -draw 'roundrectangle 20,20 235,235 44,44' -blur 0x6 \) \
    -alpha off -compose CopyOpacity -composite \
    -fill '#ffffffc0' -draw 'circle 128,128 128,72' -fill '#7a2e0e' -draw 'circle 128,128 128,100' \
    "$src/icon.miff"
# Sources for the other writers: 8-bit RGB or RGBA PNGs, quickly compressed.
for c in photo screen; do "$convert" "$src/$c.miff" -depth 8 "${strip[@]}" \
    -define png:compression-level=1 "PNG24:$src/$c.png"; done
"$convert" "$src/photogrey.miff" -depth 8 "${strip[@]}" -define png:compression-level=1 \
    "PNG24:$src/photogrey.png"
"$convert" "$src/icon.miff" -depth 8 "${strip[@]}" -define png:compression-level=1 \
    "PNG32:$src/icon.png"

# ---- Stored blocks, 2048 x 2048, every colour type ----
"$convert" -size 2048x2048 -seed 11 plasma:fractal -seed 12 -attenuate 0.4 +noise Gaussian \
    -depth 16 "$src/big.miff"
"$convert" -size 2048x2048 radial-gradient:white-black -level 0%,80% "$src/bigalpha.miff"
stored=("${strip[@]}" -define png:compression-level=0 -define png:compression-filter=5)
withAlpha=("$src/bigalpha.miff" -alpha off -compose CopyOpacity -composite)
"$convert" "$src/big.miff" -colorspace Gray -depth 8 "${stored[@]}" -define png:color-type=0 \
    stored-grey.png
"$convert" "$src/big.miff" -colorspace Gray "${withAlpha[@]}" -depth 8 "${stored[@]}" \
    -define png:color-type=4 stored-greyalpha.png
"$convert" "$src/big.miff" -depth 8 "${stored[@]}" PNG24:stored-rgb.png
"$convert" "$src/big.miff" "${withAlpha[@]}" -depth 8 "${stored[@]}" PNG32:stored-rgba.png
"$convert" "$src/big.miff" +dither -posterize 6 -depth 8 "${stored[@]}" PNG8:stored-palette.png
"$convert" "$src/big.miff" "${stored[@]}" PNG48:stored-rgb16.png
"$convert" "$src/big.miff" -depth 8 -interlace PNG "${stored[@]}" PNG24:stored-rgb-adam7.png

# ---- ImageMagick: levels and filters ----
for c in photo screen icon; do
    for level in 0 6 9; do
        for filter in 0 1 2 3 4 5; do
            "$convert" "$src/$c.miff" -depth 8 "${strip[@]}" -define png:compression-level=$level \
                -define png:compression-filter=$filter "im-$c-l$level-f$filter.png"
        done
    done
done
for c in photo photogrey; do "$convert" "$src/$c.miff" -depth 8 "${strip[@]}" "im-$c-default.png"; done

# ---- Pillow ----
pillow=""
for py in /usr/bin/python3 python3; do
    if command -v "$py" >/dev/null && "$py" -c 'import PIL' 2>/dev/null; then
        pillow=$py
        break
    fi
done
if [ -n "$pillow" ]; then
    "$pillow" - "$src" <<'PY'
import sys
from PIL import Image
src = sys.argv[1]
for c, mode in (("photo", "RGB"), ("screen", "RGB"), ("icon", "RGBA")):
    im = Image.open(f"{src}/{c}.png").convert(mode)
    im.save(f"pil-{c}-default.png")
    im.save(f"pil-{c}-optimize.png", optimize=True)
PY
else
    echo "png corpus: Pillow is missing (Debian package python3-pil): no pil-*.png" >&2
fi

# ---- libpng's defaults ----
if [ -n "$writer" ] && [ -x "$writer" ]; then
    for c in photo screen icon; do "$writer" "$src/$c.png" "libpng-$c.png"; done
else
    echo "png corpus: no libpng writer given: no libpng-*.png" >&2
fi
touch stamp
echo "png corpus: $(ls ./*.png | wc -l) files in $out"
