#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on the bundled samples:
# 1. encode each sample fingerprint to WSQ at 0.75 and 2.25 bits per pixel, decode it again, and
#    print the stream size, compression ratio and PSNR;
# 2. convert the bundled mixed folder (several formats, a subfolder, one damaged file) to WSQ and
#    back to PNG with `quorvel batch`, and print the summary of both reports.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
build/quorvel roundtrip samples/*.pgm

demo=build/demo
rm -rf "$demo"
echo
echo "== quorvel batch samples/mixed -> WSQ -> PNG"
# The damaged file fails (exit status 1) and is listed in the report; the run goes on.
build/quorvel batch samples/mixed "$demo/wsq" --to wsq --recursive --report "$demo/to-wsq.csv" || true
build/quorvel batch "$demo/wsq" "$demo/png" --to png --recursive --report "$demo/to-png.csv"

summary() {
  echo
  echo "Report $1:"
  awk -F, 'NR > 1 { count[$2]++; if ($2 != "converted") failed = failed "  " $1 ": " $2 " (" $3 ")\n" }
           END { for (s in count) printf "  %s: %d\n", s, count[s]; printf "%s", failed }' "$1"
}
summary "$demo/to-wsq.csv"
summary "$demo/to-png.csv"
