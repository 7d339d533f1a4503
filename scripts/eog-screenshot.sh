#!/usr/bin/env bash
# Shows a WSQ print in Eye of GNOME under a virtual X server, through the gdk-pixbuf loader and
# the MIME entry of an install into a temporary prefix, and saves the screen as
# docs/eog-wsq.png. Not part of the test run: eog is large and slow to start.
set -euo pipefail
cd "$(dirname "$0")/.."
dpkg-query -W -f='${Status}' eog 2>/dev/null | grep -q "install ok installed" ||
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends eog
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install build --prefix "$prefix" >/dev/null
loader=$(find "$prefix" -name '*.so' -path '*loaders*' | head -n1)
query=$(pkg-config --variable=gdk_pixbuf_query_loaders gdk-pixbuf-2.0)
system_loaders=$(pkg-config --variable=gdk_pixbuf_moduledir gdk-pixbuf-2.0)
"$query" "$system_loaders"/*.so "$loader" >"$prefix/loaders.cache"
update-mime-database "$prefix/share/mime" 2>/dev/null  # its note that the prefix is not searched yet
build/quorvel encode samples/ridges_545x622.pgm "$prefix/print.wsq" --bitrate 0.75 >/dev/null
export GDK_PIXBUF_MODULE_FILE="$prefix/loaders.cache" XDG_DATA_DIRS="$prefix/share:/usr/share"
xvfb-run -a -s "-screen 0 900x760x24" bash -c '
  eog --new-instance "$0" >/dev/null 2>&1 &
  sleep 8
  import -window root docs/eog-wsq.png
  kill %1' "$prefix/print.wsq"
echo "docs/eog-wsq.png"
