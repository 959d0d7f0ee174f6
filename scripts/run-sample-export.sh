#!/usr/bin/env bash
# Builds the exporter, writes a sample Photos library and exports it into a
# temporary folder, printing where the shared file went and how many photos it holds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
bash "$root/scripts/build.sh" --target lumenfolio-exporter lumenfolio-sample-library

work=$(mktemp -d -t lumenfolio-sample-XXXXXX)
library="$work/Pictures/Photos Library.photoslibrary"
"$build/tools/sample_library/lumenfolio-sample-library" "$library" --assets 2000 --seed 1

# A home of its own, so the sample run leaves the user's settings alone.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache"
export XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$work/shared"
chmod 700 "$XDG_RUNTIME_DIR"
exporter="$build/src/app/lumenfolio-exporter"
"$exporter" export --library "$library" --folder "$work/shared"
echo
"$exporter" status --library "$library"
