#!/usr/bin/env bash
# Installs the build into a temporary prefix and uses it as a newcomer would: the files in
# their GNU places, the tool's --version, the man page naming every command of the tool, a C
# host built with pkg-config and a C++ host built with find_package(Quorvel), both run.
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
# its entry; none of its symbols reach the library's table.
if [ -e "$build/libquorvel-qt.so" ]; then
  [ -e "$libdir/libquorvel-qt.so" ] || fail "libquorvel-qt.so is built but not installed beside the library"
  exports=$(nm -D --defined-only "$libdir/libquorvel-qt.so" | awk '{print $3}')
  [ "$exports" = quorvel_qt_presenter ] || fail "libquorvel-qt.so exports: $exports"
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
echo "install test: passed"
