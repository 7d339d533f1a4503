#!/usr/bin/env bash
# Takes the pictures of the three windows in docs/ under a virtual X server (xvfb-run), with
# quorvel-gui as built in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p docs
shoot() {
  xvfb-run -a -s "-screen 0 1280x800x24" build/quorvel-gui "$@"
}
shoot --screenshot docs/converter-window.png
shoot --wsq-dialog --screenshot docs/wsq-dialog.png
shoot --tiff-dialog --screenshot docs/tiff-dialog.png
ls -l docs/*.png
