#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on the bundled sample fingerprints:
# encode each to WSQ at 0.75 and 2.25 bits per pixel, decode it again, and print the stream
# size, compression ratio and PSNR.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
build/quorvel roundtrip samples/*.pgm
