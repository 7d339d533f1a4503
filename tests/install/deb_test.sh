#!/usr/bin/env bash
# Builds the .deb with CPack and checks it. "contents": its control fields and files, and an
# unpacked copy (dpkg -x) whose tool runs. "install": dpkg -i into this machine, use the
# installed library, then dpkg -r and check that nothing is left; only as root with CI=true,
# otherwise the test reports itself skipped (exit 77).
# Usage: deb_test.sh BUILD_DIR VERSION contents|install
set -euo pipefail
build=$(realpath "$1") version=$2 mode=$3
if [ "$mode" = install ] && { [ "$(id -u)" -ne 0 ] || [ "${CI:-}" != true ]; }; then
  echo "skipped: dpkg -i needs root and CI=true"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work" >/dev/null
deb=$(ls "$work"/quorvel_*.deb)
[ "$(dpkg-deb -f "$deb" Package)" = quorvel ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libc6 libstdc++6 libpng16-16 libtiff6 libjpeg62-turbo libgif7; do
  [[ $depends == *"$library"* ]] || fail "Depends lacks $library"
done
files=$(dpkg-deb -c "$deb" | awk '{print $6}')
for file in ./usr/lib/libquorvel.so.$version ./usr/lib/libquorvel.so.0 ./usr/lib/libquorvel.so \
            ./usr/bin/quorvel ./usr/include/quorvel/quorvel.h ./usr/include/quorvel/quorvel.hpp \
            ./usr/share/man/man1/quorvel.1 ./usr/lib/pkgconfig/quorvel.pc \
            ./usr/lib/cmake/Quorvel/QuorvelConfig.cmake ./usr/share/mime/packages/quorvel.xml \
            ./usr/share/thumbnailers/quorvel.thumbnailer ./usr/share/icons/hicolor/scalable/apps/quorvel.svg; do
  grep -qx -- "$file" <<<"$files" || fail "the package lacks $file"
done
if [ -e "$build/python/quorvel/__init__.py" ]; then
  grep -qx -- ./usr/lib/python3/dist-packages/quorvel/__init__.py <<<"$files" || fail "the package lacks the Python package"
fi
if [ -e "$build/libquorvel-qt.so" ]; then
  grep -qx -- ./usr/lib/libquorvel-qt.so <<<"$files" || fail "the package lacks the desktop module"
fi
if [ -e "$build/plugins/imageformats/libquorvel-wsq.so" ]; then
  grep -q -- "/qt6/plugins/imageformats/libquorvel-wsq.so$" <<<"$files" || fail "the package lacks the Qt plugin"
fi
if [ -e "$build/plugins/gdk-pixbuf/libpixbufloader-wsq.so" ]; then
  grep -q -- "/gdk-pixbuf-2.0/2.10.0/loaders/libpixbufloader-wsq.so$" <<<"$files" ||
    fail "the package lacks the gdk-pixbuf loader"
fi
if [ -x "$build/quorvel-gui" ]; then
  grep -qx -- ./usr/share/applications/quorvel-gui.desktop <<<"$files" || fail "the package lacks the menu entry"
fi
dpkg-deb -I "$deb" postinst | grep ldconfig >/dev/null || fail "postinst does not run ldconfig"

if [ "$mode" = contents ]; then
  dpkg-deb -x "$deb" "$work/root"
  [ "$("$work/root/usr/bin/quorvel" --version)" = "quorvel $version" ] || fail "unpacked tool"
  [ "$(PKG_CONFIG_PATH=$work/root/usr/lib/pkgconfig pkg-config --variable=libdir quorvel)" \
    -ef "$work/root/usr/lib" ] || fail "pkg-config libdir of the unpacked tree"
  echo "deb contents: passed"
  exit 0
fi

status=$(dpkg-query -W -f='${Status}' quorvel 2>/dev/null || true)
[[ $status != install* ]] || fail "a quorvel package is already installed"
dpkg -i "$deb" >/dev/null
trap 'dpkg -P quorvel >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
[ "$(/usr/bin/quorvel --version)" = "quorvel $version" ] || fail "installed tool"
ldconfig -p | grep "libquorvel.so.0 " >/dev/null || fail "the linker cache lacks libquorvel.so.0"
# shared-mime-info's file trigger has rebuilt the database with the WSQ type.
if command -v update-mime-database >/dev/null; then
  [ -e /usr/share/mime/image/x-wsq.xml ] || fail "the MIME database lacks image/x-wsq after dpkg -i"
fi
# libgdk-pixbuf-2.0-0's file trigger has added the loader to gdk-pixbuf's cache.
pixbuf_cache=$(pkg-config --variable=gdk_pixbuf_cache_file gdk-pixbuf-2.0 2>/dev/null || true)
if [ -e "$build/plugins/gdk-pixbuf/libpixbufloader-wsq.so" ] && [ -n "$pixbuf_cache" ]; then
  grep -q "libpixbufloader-wsq.so" "$pixbuf_cache" || fail "gdk-pixbuf's loader cache lacks WSQ after dpkg -i"
fi
if [ -e "$build/python/quorvel/__init__.py" ]; then
  (cd / && /usr/bin/python3 -c 'import quorvel, sys; sys.exit(quorvel.__version__ != sys.argv[1])' "$version") ||
    fail "the installed Python package"
fi
printf '#include <quorvel/quorvel.hpp>\nint main() { return quorvel::version()[0] == 0; }\n' >"$work/v.cpp"
# shellcheck disable=SC2046
c++ -std=c++17 "$work/v.cpp" -o "$work/v" $(pkg-config --cflags --libs quorvel) && "$work/v" || fail "host build"
dpkg -r quorvel >/dev/null
if [ -n "${pixbuf_cache:-}" ] && [ -e "$pixbuf_cache" ]; then
  ! grep -q "libpixbufloader-wsq.so" "$pixbuf_cache" || fail "gdk-pixbuf's loader cache keeps WSQ after dpkg -r"
fi
for file in /usr/bin/quorvel /usr/lib/libquorvel.so.0 /usr/include/quorvel /usr/lib/pkgconfig/quorvel.pc \
            /usr/share/mime/packages/quorvel.xml /usr/share/mime/image/x-wsq.xml; do
  [ ! -e "$file" ] || fail "$file is left after dpkg -r"
done
# The package ships no configuration: purging only drops its record.
dpkg -P quorvel >/dev/null
dpkg -s quorvel >/dev/null 2>&1 && fail "dpkg still knows quorvel after purge"
echo "deb install and removal: passed"
