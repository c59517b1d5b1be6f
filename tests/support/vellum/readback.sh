#!/usr/bin/env bash
# Runs the resource-editor unit tests that leave their executables behind
# (the ReadBack cases) in a scratch folder of their own, then reads those
# files again with the Python PE reader beside this script.
#
#   readback.sh WINE_RUN UNIT_PROGRAM SCRATCH_FOLDER
set -euo pipefail
[[ $# -eq 3 ]] || { echo "usage: readback.sh WINE_RUN UNIT_PROGRAM SCRATCH_FOLDER" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$3"
"$1" --scratch "$3" "$2" --gtest_filter='ResEditor.ReadBack*'
python3 "$here/check_outputs.py" readback "$3"
