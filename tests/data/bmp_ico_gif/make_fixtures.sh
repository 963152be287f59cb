#!/bin/sh
# Regenerates the bitmap, icon and GIF test images in this folder with ImageMagick.
# The tests compare our decoders with independent readers (stb_image, giflib), so the exact
# pixels of these files do not matter; their structure does (see each line).
set -eu
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A 13 x 7 picture: odd width, so every bit depth pads its rows.
convert -size 13x7 xc: -sparse-color bilinear '0,0 red 12,0 yellow 0,6 blue 12,6 green' "$tmp/src.png"
# A 16 x 16 disc on a transparent background.
convert -size 16x16 xc:none -fill red -draw 'circle 8,8 8,2' -fill yellow -draw 'point 8,8' "$tmp/disc16.png"
convert "$tmp/disc16.png" -resize 32x32 "$tmp/disc32.png"

# Bitmaps.
convert "$tmp/src.png" -colors 2 -compress none bmp3:pal1.bmp        # 1 bit, 40-byte header
convert "$tmp/src.png" -colors 16 -compress none bmp3:pal4.bmp       # 4 bits
convert "$tmp/src.png" -colors 200 -compress none bmp3:pal8.bmp      # 8 bits
convert pal8.bmp -compress RLE bmp3:rle8.bmp                          # the same pixels, RLE8
convert "$tmp/src.png" -compress none bmp3:rgb24.bmp                 # 24 bits, 40-byte header
convert "$tmp/src.png" -compress none bmp2:os2.bmp                   # 24 bits, 12-byte header
convert "$tmp/src.png" -compress none bmp:v5rgb24.bmp                # 24 bits, 124-byte header
convert "$tmp/src.png" -define bmp:subtype=RGB565 bmp:rgb565.bmp     # 16-bit bit fields
convert "$tmp/src.png" -define bmp:subtype=RGB555 bmp:rgb555.bmp     # 16-bit bit fields
convert "$tmp/disc16.png" bmp:argb32.bmp                             # 32-bit bit fields, alpha

# Icons: 32-bit bitmap entries with their own alpha.
convert "$tmp/disc16.png" "$tmp/disc32.png" disc.ico

# GIFs.
convert "$tmp/src.png" plain.gif                                     # no extension at all
convert "$tmp/src.png" -resize 13x21\! -interlace GIF interlaced.gif # all four passes
convert "$tmp/disc16.png" transparent.gif                            # transparent index
convert "$tmp/src.png" -set comment 'made for the tests' comment.gif # comment extension
# Two frames; the first one smaller than the screen and away from its corner, with a
# graphic control extension (delay) that does not set transparency.
convert -delay 10 -dispose none \
    \( "$tmp/src.png" -repage 20x20+3+4 \) \
    \( -size 20x20 xc:navy -repage 20x20+0+0 \) \
    -set delay 10 animated.gif
