#!/usr/bin/env bash
# Runs the filetool sample without a person at the screen: it lists a small
# folder made here, zips it (folder=... /zip /quit) and must exit with 0,
# leaving an archive that holds exactly that folder's files.
#
#   run-example-test.sh HOST.exe EXAMPLE_DIR
#
# OMBREL_WINE_RUN names the build tree's wine-run.sh.
set -euo pipefail

[[ $# -eq 2 ]] || { echo "usage: run-example-test.sh HOST.exe EXAMPLE_DIR" >&2; exit 2; }
host=$(realpath "$1")
example=$(realpath "$2")
wine_run=${OMBREL_WINE_RUN:-$(dirname "$host")/wine-run.sh}
work=$(dirname "$wine_run")/tests/examples/$(basename "$example")
windows() { local p=${1//\//\\}; echo "Z:$p"; }

rm -rf "$work"
mkdir -p "$work/data/sub"
cp -a "$example" "$work/app"
printf 'first file\n' >"$work/data/one.txt"
printf 'second, in a sub-folder\n' >"$work/data/sub/two.txt"

cd "$work/app"
set +e
timeout -k 5 55 "$wine_run" "$host" "d=$(windows "$work/app")" "folder=$(windows "$work/data")" \
    "dest=$(windows "$work/data.zip")" /zip /quit
rc=$?
set -e
[[ $rc -eq 0 ]] || { echo "run-example-test: the sample exited with $rc" >&2; exit 1; }
listing=$(unzip -Z1 "$work/data.zip" | sort | tr '\n' ' ')
[[ $listing == "one.txt sub/ sub/two.txt " ]] || {
    echo "run-example-test: unexpected archive contents: $listing" >&2
    exit 1
}
echo "run-example-test: the sample zipped $listing"
