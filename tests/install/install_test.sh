#!/usr/bin/env bash
# Installs the build into a temporary prefix and uses it as a newcomer would: the files in
# their GNU places, the tool's --version, the man page naming every command of the tool, a C
# host built with pkg-config and a C++ host built with find_package(Quorvel), both run; the
# desktop files found by xdg-mime and the thumbnailer entry run.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
build=$(realpath "$1") source=$(realpath "$2") version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name "libquorvel.so.$version" | head -1)")
[ -n "$libdir" ] && [ -d "$libdir" ] || fail "libquorvel.so.$version is not installed"
for file in "$prefix/include/quorvel/quorvel.h" "$prefix/include/quorvel/quorvel.hpp" \
            "$prefix/include/quorvel/wingdi.h" "$prefix/include/quorvel/version.h" \
            "$prefix/bin/quorvel" "$prefix/share/man/man1/quorvel.1" \
            "$libdir/pkgconfig/quorvel.pc" "$libdir/cmake/Quorvel/QuorvelConfig.cmake"; do
  [ -e "$file" ] || fail "$file is not installed"
done
if [ -x "$build/quorvel-gui" ]; then
  [ -x "$prefix/bin/quorvel-gui" ] || fail "quorvel-gui is built but not installed"
fi
# The desktop module sits beside the library (where the library looks for it), exporting only
# its entry and linking the library (no copy of the toolkit of its own); none of its symbols
# reach the library's table.
if [ -e "$build/libquorvel-qt.so" ]; then
  [ -e "$libdir/libquorvel-qt.so" ] || fail "libquorvel-qt.so is built but not installed beside the library"
  exports=$(nm -D --defined-only "$libdir/libquorvel-qt.so" | awk '{print $3}')
  [ "$exports" = quorvel_qt_presenter ] || fail "libquorvel-qt.so exports: $exports"
  [[ $(objdump -p "$libdir/libquorvel-qt.so") == *"NEEDED"*"libquorvel.so.0"* ]] ||
    fail "libquorvel-qt.so does not link libquorvel.so"
  library_exports=$(nm -D --defined-only "$libdir/libquorvel.so.$version")
  [[ $library_exports != *quorvel_qt* && $library_exports != *FormWindow* ]] ||
    fail "libquorvel.so exports the desktop module's symbols"
  [[ $(objdump -p "$libdir/libquorvel.so.$version") != *"NEEDED"*"Qt6"* ]] || fail "libquorvel.so links Qt"
fi
[ "$(readlink "$libdir/libquorvel.so")" = libquorvel.so.0 ] || fail "libquorvel.so does not link to the SONAME"
# (grep reads all of objdump's output: with -q, pipefail would catch objdump's SIGPIPE.)
objdump -p "$libdir/libquorvel.so.$version" | grep "SONAME *libquorvel.so.0$" >/dev/null || fail "SONAME"

# The tool: its version, and every command it lists has a section in the man page.
[ "$("$prefix/bin/quorvel" --version)" = "quorvel $version" ] || fail "quorvel --version"
commands=$("$prefix/bin/quorvel" --help | sed -n '/^Subcommands:/,/^$/p' | awk 'NF && !/:$/ {print $1}')
[ -n "$commands" ] || fail "no commands in quorvel --help"
for command in $commands; do
  grep -q "^\.SS \"$command\b" "$prefix/share/man/man1/quorvel.1" || fail "man page lacks command $command"
done
grep -q "quorvel $version" "$prefix/share/man/man1/quorvel.1" || fail "man page version"
warnings=$(MANWIDTH=80 man -l "$prefix/share/man/man1/quorvel.1" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man page warnings: $warnings"

# A C host with pkg-config.
export PKG_CONFIG_PATH=$libdir/pkgconfig
[ "$(pkg-config --modversion quorvel)" = "$version" ] || fail "pkg-config version"
# shellcheck disable=SC2046
cc -std=c11 -Wall -Werror "$source/tests/install/c_host/host.c" -o "$work/c_host" $(pkg-config --cflags --libs quorvel) -lm
out=$(LD_LIBRARY_PATH=$libdir "$work/c_host" 2>/dev/null)
echo "$out"
[[ $out == "c host: "*" bytes, 160 x 120, 500 ppi, comment \"c host\"" ]] || fail "c host printed: $out"

# A C++ host with find_package.
cmake -S "$source/tests/install/cpp_host" -B "$work/cpp" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cpp" >/dev/null
out=$("$work/cpp/cpp_host" "$work/host.png")
echo "$out"
[[ $out == *"error -14: encode: ERROR : wsq_encode_1 : image too small : 20 x 20"* ]] || fail "cpp host error line"
[[ $out == *"cpp host: png 200x150, 1 channel(s), same pixels"* ]] || fail "cpp host png: $out"
[[ $out == *"version $version, 200x150 500 ppi, 150x200 1000 ppi \"b\", 11 segments"* ]] || fail "cpp host: $out"
# The Python package, when it was built.
if [ -d "$libdir/python3/dist-packages/quorvel" ]; then
  out=$(PYTHONPATH=$libdir/python3/dist-packages LD_LIBRARY_PATH=$libdir /usr/bin/python3 -c '
import numpy, quorvel
y, x = numpy.mgrid[0:100, 0:120]
pixels = (128 + 90 * numpy.sin(numpy.hypot(x - 60, y - 30) / 2.5)).astype(numpy.uint8)
image, ppi, comment = quorvel.decode(quorvel.encode(pixels, ppi=700, comment="py"))
print("python host:", quorvel.__version__, image.shape, ppi, comment)')
  echo "$out"
  [ "$out" = "python host: $version (100, 120) 700 py" ] || fail "python host printed: $out"
fi

# The Qt image-format plugin, in Qt's plugin folder below the prefix, finds the prefix's library.
if [ -e "$build/plugins/imageformats/libquorvel-wsq.so" ]; then
  plugin=$(find "$prefix" -path "*/qt6/plugins/imageformats/libquorvel-wsq.so" | head -1)
  [ -n "$plugin" ] || fail "the Qt image-format plugin is built but not installed"
  ldd "$plugin" | grep "libquorvel.so.0 => $libdir/" >/dev/null || fail "the Qt plugin does not find $libdir"
fi
# The gdk-pixbuf loader, in gdk-pixbuf's loader folder below the prefix, likewise.
if [ -e "$build/plugins/gdk-pixbuf/libpixbufloader-wsq.so" ]; then
  loader=$(find "$prefix" -path "*/gdk-pixbuf-2.0/2.10.0/loaders/libpixbufloader-wsq.so" | head -1)
  [ -n "$loader" ] || fail "the gdk-pixbuf loader is built but not installed"
  ldd "$loader" | grep "libquorvel.so.0 => $libdir/" >/dev/null || fail "the gdk-pixbuf loader does not find $libdir"
fi
# Desktop integration: a MIME database made from the prefix alone knows a WSQ file by its name
# and, named without the extension, by its first bytes; the thumbnailer entry's command makes
# a PNG that fits the size asked; the menu entry is there with quorvel-gui.
for file in share/mime/packages/quorvel.xml share/thumbnailers/quorvel.thumbnailer \
            share/icons/hicolor/scalable/apps/quorvel.svg; do
  [ -e "$prefix/$file" ] || fail "$file is not installed"
done
if [ -x "$build/quorvel-gui" ]; then
  grep -qx "Exec=quorvel-gui %f" "$prefix/share/applications/quorvel-gui.desktop" || fail "the menu entry"
fi
XDG_DATA_DIRS=$prefix/share update-mime-database "$prefix/share/mime"
"$prefix/bin/quorvel" encode "$source/samples/ridges_300x300.pgm" "$work/x.wsq" >/dev/null
cp "$work/x.wsq" "$work/print"
for file in x.wsq print; do
  type=$(XDG_DATA_HOME=$work/no-home XDG_DATA_DIRS=$prefix/share xdg-mime query filetype "$work/$file")
  [ "$type" = image/x-wsq ] || fail "xdg-mime query filetype $file: $type"
done
command=$(sed -n 's/^Exec=//p' "$prefix/share/thumbnailers/quorvel.thumbnailer")
command=${command//%s/48} command=${command//%i/$work/print} command=${command//%o/$work/thumbnail}
PATH=$prefix/bin:$PATH $command
[ "$(head -c 8 "$work/thumbnail" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] || fail "the thumbnail is no PNG"
[ "$(od -An -tu1 -j16 -N8 "$work/thumbnail" | awk '{print $3 * 256 + $4, $7 * 256 + $8}')" = "48 48" ] ||
  fail "thumbnail size"
echo "install test: passed"
