#!/usr/bin/env bash
# Makes the program's pictures in assets/: the two indicator faces (rec.jpg, play.jpg) with a
# decoded copy of each (.ppm) and the mask of its symbol and word (-mask.pgm) for the portable
# tests, the application icon (pelmira-32/48/128/256.png, pelmira.ico) and the hand pointer
# (HAND-M.CUR, by make-cursor.py).
# Needs ImageMagick's convert and python3. The outputs are committed; rerun after a change.
set -euo pipefail
cd "$(dirname "$0")/../assets"

FONT=DejaVu-Sans-Condensed-Bold

# face NAME WIDTH HEIGHT COLOUR DRAW-SYMBOL WORD WORD-X
# The face is drawn without anti-aliasing, so every pixel is either pure blue or the symbol's
# colour, and saved at the highest quality without chroma subsampling, so that JPEG ringing
# stays far from the blue range that the window shaping cuts away.
face() {
  local name=$1 w=$2 h=$3 colour=$4 symbol=$5 word=$6 x=$7
  convert -size "${w}x${h}" xc:'#0000FF' +antialias \
    -fill "$colour" -draw "$symbol" \
    -font "$FONT" -pointsize 17 -stroke "$colour" -strokewidth 0.6 \
    -draw "text $x,23 '$word'" \
    -strip -interlace none -sampling-factor 1x1 -quality 100 -type TrueColor \
    "JPEG:$name.jpg"
  convert -size "${w}x${h}" xc:black +antialias \
    -fill white -draw "$symbol" \
    -font "$FONT" -pointsize 17 -stroke white -strokewidth 0.6 \
    -draw "text $x,23 '$word'" \
    -depth 8 "PGM:$name-mask.pgm"
  convert "$name.jpg" -depth 8 "PPM:$name.ppm"
}

face rec 146 32 '#FF0000' 'circle 15,16 15,5' RECORDING 31
face play 119 32 '#00FF00' 'polygon 6,5 26,16 6,27' PLAYING 31

# Checks each face: its size and format, no pixel of the symbol or the word in the key range
# 0xFA0000..0xFF0200 (COLORREF 0x00BBGGRR), and every background pixel more than one pixel
# away from them inside it (so the blue is cut away without specks).
python3 - <<'PY'
import sys

def read_pnm(path):
    data = open(path, 'rb').read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    pos += 1
    return fields[0], int(fields[1]), int(fields[2]), data[pos:]

ok = True
for name, w, h in (('rec', 146, 32), ('play', 119, 32)):
    magic, pw, ph, px = read_pnm(name + '.ppm')
    _, mw, mh, mask = read_pnm(name + '-mask.pgm')
    assert magic == b'P6' and (pw, ph) == (w, h) and (mw, mh) == (w, h), name
    def colorref(x, y):
        i = 3 * (y * w + x)
        r, g, b = px[i], px[i + 1], px[i + 2]
        return b << 16 | g << 8 | r
    def key(v):
        return 0xFA0000 <= v <= 0xFF0200
    def near_glyph(x, y):
        return any(mask[yy * w + xx] for yy in range(max(0, y - 1), min(h, y + 2))
                   for xx in range(max(0, x - 1), min(w, x + 2)))
    inside = sum(1 for y in range(h) for x in range(w) if mask[y * w + x] and key(colorref(x, y)))
    specks = sum(1 for y in range(h) for x in range(w)
                 if not near_glyph(x, y) and not key(colorref(x, y)))
    glyph = sum(1 for v in mask if v)
    print(f'{name}: {w}x{h}, {glyph} symbol pixels, {inside} of them in the key range, '
          f'{specks} background specks')
    ok = ok and inside == 0 and specks == 0 and glyph > 0
sys.exit(0 if ok else 1)
PY

for f in rec.jpg play.jpg; do
  identify -format '%f: %m %wx%h %[colorspace] %[jpeg:sampling-factor] interlace=%[interlace] q=%Q\n' "$f"
done

# Application icon: a white mouse with a red recording dot on a rounded dark-blue tile.
icon() {
  local s=$1
  convert -size 256x256 xc:none \
    -fill '#1F3A93' -draw 'roundrectangle 8,8 247,247 48,48' \
    -fill white -draw 'roundrectangle 78,40 178,216 50,50' \
    -stroke '#1F3A93' -strokewidth 8 -draw 'line 128,44 128,112' -draw 'line 82,112 174,112' \
    -stroke none -fill '#E02020' -draw 'circle 196,196 196,166' \
    -resize "${s}x${s}" "$2"
}
icon 256 PNG32:pelmira-256.png
icon 128 PNG32:pelmira-128.png
icon 48 PNG32:pelmira-48.png
# The smallest image is 24-bit colour: no alpha, white behind the tile.
icon 32 png:- | convert - -background white -alpha remove -alpha off PNG24:pelmira-32.png
convert pelmira-32.png pelmira-48.png pelmira-128.png pelmira-256.png pelmira.ico
identify pelmira.ico

python3 ../scripts/make-cursor.py HAND-M.CUR
