#!/usr/bin/env bash
# Writes small seed files for the fuzz targets, one directory per target, made with our own
# tool (WSQ) and the installed netpbm and ImageMagick (everything else; CEL/FLI by hand). The
# GDI target starts from an empty directory: its input is a list of calls, not a file.
# Usage: fuzz/make-corpus.sh QUORVEL_TOOL [OUT_DIR]   (OUT_DIR defaults to ./fuzz-seeds)
set -euo pipefail

tool=${1:?usage: make-corpus.sh QUORVEL_TOOL [OUT_DIR]}
here=$(cd "$(dirname "$0")" && pwd)
out=${2:-fuzz-seeds}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"/{wsq_decode,wsq_stream,raster,convert,gdi,readers,gif_lzw,wsq,tif,png,jpg,bmp,tga,cel,rgb,gif,psd,iff,pcx}
mkdir -p "$out"/diff_{tiff,png,tga,pcx,sgi,psd}

# Small pictures keep every seed small: a gray ramp, a colour pattern, a few-colour image.
pgmramp -diag 12 10 >"$work/gray.pgm"
convert -size 12x10 gradient:red-blue -depth 8 "$work/colour.ppm"
convert -size 12x10 pattern:checkerboard -colors 4 -depth 8 "$work/few.ppm"
convert -size 12x10 gradient:black-white -alpha set -channel A -evaluate set 50% +channel "$work/alpha.png"
# WSQ needs 81 x 81 pixels at least.
pamcut 0 0 84 84 "$here/../samples/ridges_300x300.pgm" >"$work/print.pgm"

# WSQ streams: two bitrates, one with a comment.
"$tool" encode "$work/print.pgm" "$out/wsq/low.wsq" --bitrate 0.3 >/dev/null 2>&1
"$tool" encode "$work/print.pgm" "$out/wsq/high.wsq" --bitrate 2.25 --comment "fuzz seed" >/dev/null 2>&1
cp "$out"/wsq/*.wsq "$out/wsq_decode/"
cp "$out"/wsq/*.wsq "$out/wsq_stream/"

# A seed a tool cannot make is skipped, not fatal: the others still serve.
im() { convert "$@" 2>/dev/null || echo "skipped: convert $*" >&2; }
im "$work/colour.ppm" "BMP3:$out/bmp/rgb24.bmp"
im "$work/few.ppm" -type palette "BMP3:$out/bmp/pal8.bmp"
im "$work/few.ppm" -colors 2 -type bilevel "BMP3:$out/bmp/mono.bmp"
im "$work/alpha.png" "BMP:$out/bmp/rgba32.bmp"
im "$work/colour.ppm" -define bmp:subtype=RGB565 "BMP:$out/bmp/rgb565.bmp"

im "$work/gray.pgm" "$out/png/gray8.png"
im "$work/colour.ppm" -depth 16 "$out/png/rgb16.png"
im "$work/few.ppm" "PNG8:$out/png/pal.png"
im "$work/alpha.png" -interlace PNG "$out/png/rgba_interlaced.png"

pnmtotiff "$work/colour.ppm" >"$out/tif/rgb.tif" 2>/dev/null
im "$work/gray.pgm" -compress zip "$out/tif/gray_zip.tif"
im "$work/few.ppm" -type palette -compress lzw "$out/tif/pal_lzw.tif"
im "$work/alpha.png" -compress RLE -define tiff:tile-geometry=16x16 "$out/tif/rgba_tiled.tif"
im "$work/colour.ppm" -compress jpeg "$out/tif/jpeg.tif"

im "$work/gray.pgm" "$out/jpg/gray.jpg"
im "$work/colour.ppm" -quality 80 "$out/jpg/rgb.jpg"
im "$work/colour.ppm" -interlace JPEG "$out/jpg/progressive.jpg"

im "$work/colour.ppm" -compress none "$out/tga/rgb.tga"
im "$work/colour.ppm" -compress RLE "$out/tga/rgb_rle.tga"
im "$work/few.ppm" -type palette "$out/tga/pal.tga"
im "$work/gray.pgm" -compress RLE "$out/tga/gray_rle.tga"

im "$work/colour.ppm" -compress none "SGI:$out/rgb/rgb.rgb"
im "$work/gray.pgm" -compress RLE "SGI:$out/rgb/gray_rle.rgb"
im "$work/alpha.png" -compress RLE "SGI:$out/rgb/rgba_rle.rgb"

# The wide-code LZW decoder: code size 11, 12 pixels, a clear code, 12 literal codes, an end code.
printf '\x0a\x0c\x00\x00\x08\x00\x01\x20\x00\x03\x00\x00\x01\x20\x00\x03\x00\x00\x01\x20\x00\x03\x10\x80' >"$out/gif_lzw/literals.bin"
im "$work/few.ppm" "$out/gif/few.gif"
im "$work/gray.pgm" -interlace GIF "$out/gif/gray_interlaced.gif"
im "$work/alpha.png" -colors 8 "$out/gif/transparent.gif"

ppmtoilbm "$work/colour.ppm" >"$out/iff/rgb.iff" 2>/dev/null
ppmtoilbm -compress "$work/few.ppm" >"$out/iff/few_rle.iff" 2>/dev/null
ppmtoilbm -maskplane "$work/few.ppm" >"$out/iff/mask.iff" 2>/dev/null || true

ppmtopcx "$work/colour.ppm" >"$out/pcx/rgb.pcx" 2>/dev/null
ppmtopcx "$work/few.ppm" >"$out/pcx/few.pcx" 2>/dev/null
ppmtopcx -8bit "$work/few.ppm" >"$out/pcx/pal8.pcx" 2>/dev/null
ppmtopcx -packed "$work/few.ppm" >"$out/pcx/packed.pcx" 2>/dev/null || true

# CEL still picture and a one-frame FLI (byte runs plus a 64-level palette), little-endian.
python3 - "$out/cel" <<'PY'
import struct, sys
w, h = 8, 6
pixels = bytes((x * 7 + y * 13) & 0xFF for y in range(h) for x in range(w))
palette = bytes(i // 4 for i in range(768))
with open(sys.argv[1] + "/still.cel", "wb") as f:
    f.write(struct.pack("<HHHHHBB", 0x9119, w, h, 0, 0, 8, 0).ljust(32, b"\0") + palette + pixels)

def sub(kind, payload):
    return struct.pack("<IH", 6 + len(payload), kind) + payload

colours = struct.pack("<HBB", 1, 0, 0) + palette
rows = b"".join(b"\0" + bytes([w & 0x7F]) + bytes([0]) if y % 2 else
                b"\0" + bytes([(-w) & 0xFF]) + pixels[y * w:(y + 1) * w] for y in range(h))
subs = sub(11, colours) + sub(15, rows)
frame = struct.pack("<IHH", 16 + len(subs), 0xF1FA, 2).ljust(16, b"\0") + subs
header = struct.pack("<IHHHHH", 128 + len(frame), 0xAF11, 1, w, h, 8).ljust(128, b"\0")
with open(sys.argv[1] + "/one_frame.fli", "wb") as f:
    f.write(header + frame)
PY

# The extended readers' target takes the extension from the first byte: its index in the
# registry's order (the registered rows of src/readers/format_table.cpp). Portable maps of
# every kind are made here; the container seeds above serve the readers of the same formats.
reader_extensions=(ico wmf emf jfif rle dib win vst vda tga icb tiff tif fax eps pcx pcc scr rpf rla
                   sgi rgba rgb bw psd pdd ppm pgm pbm cel pic pcd cut psp png)
r="$work/readers"
mkdir -p "${reader_extensions[@]/#/$r/}"
pgmtopbm -threshold "$work/gray.pgm" >"$r/pbm/raw.pbm"
pnmtopnm -plain "$r/pbm/raw.pbm" >"$r/pbm/plain.pbm"
printf 'P1 5 2\n1010101010\n' >"$r/pbm/run_together.pbm"
cp "$work/gray.pgm" "$r/pgm/raw.pgm"
pnmtopnm -plain "$work/gray.pgm" >"$r/pgm/plain.pgm"
pnmdepth 15 "$work/gray.pgm" >"$r/pgm/max15.pgm"
pnmdepth 65535 "$work/gray.pgm" >"$r/pgm/max65535.pgm"
cp "$work/colour.ppm" "$r/ppm/raw.ppm"
pnmtopnm -plain "$work/colour.ppm" >"$r/ppm/plain.ppm"
pnmdepth 65535 "$work/colour.ppm" >"$r/ppm/max65535.ppm"
printf 'P6 2 1 255\n\377\0\0\0\377\0' >"$r/ppm/magic_line.ppm"
{ head -c 3 "$work/colour.ppm"; printf '# comment 7\n'; tail -c +4 "$work/colour.ppm"; } >"$r/ppm/comment.ppm"
for shared in tga:tga tif:tif pcx:pcx rgb:rgb cel:cel png:png bmp:dib; do
  cp "$out/${shared%%:*}"/* "$r/${shared##*:}/" 2>/dev/null || true
done
im "$work/colour.ppm" "$r/psd/rgb.psd"
im "$work/gray.pgm" "$r/psd/gray.psd"
im "$work/alpha.png" "$r/psd/rgba.psd"
im "$work/gray.pgm" -compress RLE "SGI:$r/bw/gray.bw"
# The formats no tool here writes, and the metafiles, built from their descriptions.
python3 - "$r" "$out/tif/rgb.tif" <<'PY'
import struct, sys, zlib
r, tiff = sys.argv[1], open(sys.argv[2], "rb").read()
def put(name, data):
    open(f"{r}/{name}", "wb").write(data)
le, be = (lambda f, *v: struct.pack("<" + f, *v)), (lambda f, *v: struct.pack(">" + f, *v))

# RLA: 740-byte header, a line offset table, each line's channels as counted runs.
def rla():
    head = be("8H", 0, 2, 0, 1, 0, 2, 0, 1) + be("6H", 1, 0, 3, 0, 0, 0xFFFE) + b"2.2".ljust(16, b"\0")
    head = head.ljust(580, b"\0") + b"rgb".ljust(32, b"\0")
    head = head.ljust(658, b"\0") + be("3H", 8, 0, 8)
    head = head.ljust(740, b"\0")
    line = b"".join(be("H", len(c)) + c for c in (b"\xfd\x01\x02\x03", b"\x02\x40", b"\xfd\x07\x08\x09"))
    at = 740 + 8
    return head + be("2I", at, at + len(line)) + line + line
put("rla/rgb.rla", rla())
# CUT: a size header, then rows of runs and literals ending in 0.
put("cut/runs.cut", le("3H", 4, 2, 0) + le("H", 5) + bytes([0x83, 1, 1, 2, 0]) + le("H", 5) + bytes([0x84, 3, 0, 0, 0]))
# Autodesk PIC: the 32-byte header, a 6-bit palette, the pixels.
put("pic/pal.pic", le("5HBBI", 0x9119, 3, 2, 0, 0, 8, 0, 6).ljust(32, b"\0") + bytes(768) + bytes([0, 1, 0, 1, 1, 0]))
# Paint Shop Pro 4: image block, one raster layer of three uncompressed channels.
def psp():
    def block(ident, fields, rest=b"", chunked=True):
        chunk = len(fields) + (4 if chunked else 0)
        return b"~BK\0" + le("H", ident) + le("I", chunk + len(rest)) + (le("I", chunk) if chunked else b"") + fields + rest
    image = block(0, le("2i", 3, 2) + le("d", 40.0) + le("B3HIBIIH", 2, 0, 24, 1, 0, 0, 0, 0, 1) + le("I", 1))
    plane = bytes([10, 20, 30, 40, 50, 60])
    channels = b"".join(block(5, le("2I2H", 6, 6, 0, t), plane) for t in (1, 2, 3))
    layer = le("H", 5) + b"Layer" + b"\1" + le("8I", 0, 0, 3, 2, 0, 0, 3, 2) + bytes(24)
    bank = block(3, b"", block(4, layer, le("I", 8) + le("2H", 1, 3) + channels), False)
    return b"Paint Shop Pro Image File\n\x1a" + bytes(5) + le("2H", 4, 0) + image + bank
put("psp/rgb.psp", psp())
# DOS EPS around a TIFF preview.
put("eps/preview.eps", bytes([0xC5, 0xD0, 0xD3, 0xC6]) + le("6I", 30, 0, 0, 0, 30, len(tiff)) + b"\xff\xff" + tiff)
# Placeable WMF: a red rectangle; EMF: a green one.
def wmf():
    rec = lambda fn, *p: le("I", 3 + len(p)) + le("H", fn) + le(f"{len(p)}H", *p)
    body = rec(0x020B, 0, 0) + rec(0x020C, 50, 100) + rec(0x02FC, 0, 0xFF, 0, 0) + rec(0x012D, 0) + \
           rec(0x041B, 50, 50, 0, 0) + rec(0)
    words = [0xCDD7, 0x9AC6, 0, 0, 0, 100, 50, 96, 0, 0]
    check = 0
    for w in words: check ^= w
    return le("11H", *words, check) + le("3HIHIH", 1, 9, 0x300, (18 + len(body)) // 2, 2, 8, 0) + body
put("wmf/rect.wmf", wmf())
def emf():
    body = le("6I", 39, 24, 1, 0, 0xFF00, 0) + le("3I", 37, 12, 1) + le("6I", 43, 24, 0, 0, 50, 50) + le("5I", 14, 20, 0, 16, 20)
    head = le("14I", 1, 88, 0, 0, 99, 49, 0, 0, 2646, 1323, 0x464D4520, 0x10000, 88 + len(body), 5)
    return head + le("2H", 2, 0) + le("7I", 0, 0, 0, 1920, 1080, 508, 286) + body
put("emf/rect.emf", emf())
PY

for index in "${!reader_extensions[@]}"; do
  extension=${reader_extensions[$index]}
  for seed in "$r/$extension"/*; do
    [ -s "$seed" ] || continue
    { printf "\\x$(printf %02x "$index")"; cat "$seed"; } >"$out/readers/$extension-$(basename "$seed")"
  done
done

# The container's PSD reader takes the extended readers' Photoshop seeds.
cp "$r"/psd/*.psd "$out/psd/" 2>/dev/null || true
# The differential targets start from the single-format seeds and the layouts where two
# decoders most likely part: wide samples, alpha, gray, few colours, stored orientation.
for pair in tif:tiff png:png tga:tga pcx:pcx rgb:sgi psd:psd; do
  cp "$out/${pair%%:*}"/* "$out/diff_${pair##*:}/" 2>/dev/null || true
done
cp "$here"/../tests/data/hostile/*.tif "$out/diff_tiff/" 2>/dev/null || true
d="$out/diff"
im "$work/colour.ppm" -depth 16 -compress none "${d}_tiff/rgb16.tif"
im "$work/gray.pgm" -depth 16 -compress none "${d}_tiff/gray16.tif"
im "$work/gray.pgm" -monochrome -compress none "${d}_tiff/bilevel.tif"
im "$work/colour.ppm" -compress RLE "${d}_tiff/packbits.tif"
im "$work/colour.ppm" -orient BottomRight -compress none "${d}_tiff/orient3.tif"
im "$work/colour.ppm" -interlace plane -compress none "${d}_tiff/planar.tif"
im "$work/colour.ppm" -compress zip -define tiff:predictor=2 "${d}_tiff/zip_pred.tif"
im "$work/alpha.png" -compress none -define tiff:alpha=associated "${d}_tiff/rgba_assoc.tif"
im "$work/alpha.png" -compress none -define tiff:alpha=unassociated "${d}_tiff/rgba_unassoc.tif"
im "$work/colour.ppm" -colorspace CMYK -compress none "${d}_tiff/cmyk.tif"
im "$work/gray.pgm" -depth 16 "${d}_png/gray16.png"
im "$work/alpha.png" -depth 16 "${d}_png/rgba16.png"
im "$work/alpha.png" -colorspace Gray "${d}_png/gray_alpha.png"
im "$work/few.ppm" -colors 2 -depth 1 -colorspace Gray "${d}_png/gray1.png"
im "$work/alpha.png" -colors 8 "PNG8:${d}_png/pal_trns.png"
im "$work/colour.ppm" "PNG24:${d}_png/rgb8.png"
im "$work/colour.ppm" -define tga:bits-per-pixel=16 "${d}_tga/rgb16.tga"
im "$work/alpha.png" "${d}_tga/rgba32.tga"
im "$work/alpha.png" -compress RLE "${d}_tga/rgba32_rle.tga"
im "$work/gray.pgm" "${d}_tga/gray.tga"
im "$work/few.ppm" -colors 2 -type bilevel "${d}_pcx/mono.pcx"
im "$work/few.ppm" -colors 16 -type palette "${d}_pcx/pal16.pcx"
im "$work/gray.pgm" "${d}_pcx/gray.pcx"
im "$work/colour.ppm" -depth 16 "SGI:${d}_sgi/rgb16.rgb"
im "$work/gray.pgm" -depth 16 -compress RLE "SGI:${d}_sgi/gray16_rle.rgb"
im "$work/gray.pgm" "SGI:${d}_sgi/gray.rgb"
im "$work/alpha.png" "SGI:${d}_sgi/rgba.rgb"
im "$work/colour.ppm" -depth 16 "${d}_psd/rgb16.psd"
im "$work/colour.ppm" -colorspace CMYK "${d}_psd/cmyk.psd"
im "$work/few.ppm" -type palette "${d}_psd/pal.psd"
im "$work/gray.pgm" -compress RLE "${d}_psd/gray_rle.psd"
im "$work/alpha.png" -compress none "${d}_psd/rgba_raw.psd"
im "$work/gray.pgm" -monochrome "${d}_psd/bitmap.psd"
# The all-formats target takes the format from the first byte (its low four bits index the
# reader dispatch's rows: wsq tif png jpg bmp tga cel rgb gif psd iff pcx).
index=0
for format in wsq tif png jpg bmp tga cel rgb gif psd iff pcx; do
  for seed in "$out/$format"/*; do
    [ -s "$seed" ] || { rm -f "$seed"; continue; }
    { printf "\\x$(printf %02x "$index")"; cat "$seed"; } >"$out/raster/$format-$(basename "$seed")"
  done
  index=$((index + 1))
done
# The conversion target adds the writer in bits 4-6 of that byte (modulo the writer dispatch's
# rows: wsq tif png jpg bmp rgb tga) and the TIFF compression in bit 7; each seed goes to one
# writer, in turn.
writer=0
for seed in "$out"/raster/*; do
  first=$(od -An -tu1 -N1 "$seed")
  { printf "\\x$(printf %02x $((first | (writer << 4) | (writer & 1) << 7)))"; tail -c +2 "$seed"; } \
    >"$out/convert/$(basename "$seed")"
  writer=$(((writer + 1) % 7))
done
# The toolkit's classes: the first byte picks bitmap, icon, JPEG or metafile (modulo 4).
mkdir -p "$out"/{toolkit,nistcom,converter_ini}
im "$work/few.ppm" "$work/few.ico"
for pair in 0:"$out/bmp/rgb24.bmp" 0:"$out/bmp/pal8.bmp" 1:"$work/few.ico" 2:"$out/jpg/rgb.jpg" \
            3:"$r/wmf/rect.wmf" 3:"$r/emf/rect.emf"; do
  [ -s "${pair#*:}" ] || continue
  { printf "\\x0${pair%%:*}"; cat "${pair#*:}"; } >"$out/toolkit/${pair%%:*}-$(basename "${pair#*:}")"
done
# NIST_COM attribute text as the encoder writes it, and the converter's INI file.
printf 'NIST_COM 5\nPIX_WIDTH 84\nPIX_HEIGHT 84\nPIX_DEPTH 8\nPPI 500\n' >"$out/nistcom/plain.txt"
printf 'NIST_COM 3\nPPI -1\nCOLORSPACE GRAY\n' >"$out/nistcom/no_ppi.txt"
printf '[Directories]\ninput_directory=/data/in\noutput_directory=/data/out\n\n[Other]\nkey=value\n' >"$out/converter_ini/both.ini"
printf '; comment\n[Directories]\ninput_directory=C:\\scans\n' >"$out/converter_ini/source_only.ini"
du -sh "$out"
