#!/usr/bin/env bash
# Builds the 64-bit host and runs a sample application under Wine:
#
#   scripts/run-example.sh [SAMPLE]      (default: hello, from examples/SAMPLE)
#
# Uses $DISPLAY when set; otherwise starts the test harness's virtual display
# (Xvfb) for the run and stops it afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
sample=${1:-hello}
build=$root/build/win64

bash scripts/setup.sh
cmake --preset win64
# The products only: the test programs and benches are not needed to run a sample.
cmake --build --preset win64 --target Ombrel Vellum

host=$build/Ombrel.exe
app=$root/examples/$sample
if [[ ! -f $host || ! -f $app/resource/index.html ]]; then
    [[ -f $host ]] || echo "run-example: Ombrel.exe is not built (no app/main.cpp yet)"
    [[ -f $app/resource/index.html ]] || echo "run-example: no sample application in examples/$sample"
    echo "Outputs:"
    for output in "$build/Ombrel.exe" "$build/plugins/Vellum.dll" \
                  "$root/build/win32/Tessaly.exe" "$root/build/win32/plugins/Vellum.dll"; do
        [[ -f $output ]] && echo "  $output"
    done
    exit 0
fi

if [[ -z ${DISPLAY:-} ]]; then
    bash cmake/harness.sh --build "$build" start
    trap 'bash cmake/harness.sh --build "$build" stop' EXIT
    echo "run-example: running on the virtual display $(bash cmake/harness.sh --build "$build" display) (Ctrl-C ends it)"
fi
"$build/wine-run.sh" "$host" "d=Z:${app//\//\\}"
