#!/usr/bin/env bash
# Takes the pictures of the three windows in docs/ under a virtual X server (xvfb-run), with
# quorvel-gui as built in build/; and one of the converter as a C host without Qt gets it from
# libquorvel.so (which loads libquorvel-qt.so), with the test host in build/tests/desktop/.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p docs
shoot() {
  xvfb-run -a -s "-screen 0 1280x800x24" build/quorvel-gui "$@"
}
shoot --screenshot docs/converter-window.png
shoot --wsq-dialog --screenshot docs/wsq-dialog.png
shoot --tiff-dialog --screenshot docs/tiff-dialog.png
# The library and module are copied so that the converter's INI file is written there.
host=$(mktemp -d)
trap 'rm -rf "$host"' EXIT
cp build/libquorvel.so.0 "$host/" && cp build/libquorvel-qt.so "$host/"
# The test library preloaded into the host closes the window once painted.
xvfb-run -a -s "-screen 0 1280x800x24" env \
  LD_PRELOAD="$PWD/build/tests/desktop/libdesktop_close_when_painted.so" \
  QUORVEL_QT_TEST_SCREENSHOT="$PWD/docs/converter-from-c-host.png" build/tests/desktop/desktop_host \
  "$host/libquorvel.so.0" "$host/libquorvel-qt.so" converter
ls -l docs/*.png
