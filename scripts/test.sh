#!/usr/bin/env bash
# The test command: installs what is missing, builds the 32-bit and the 64-bit
# tree, and runs every test in one CTest run of the 64-bit tree (unit and
# end-to-end tests under Wine, static checks of both trees' outputs).
# Ends with CTest's summary; exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."

step() { echo; echo "=== $* (at ${SECONDS} s) ==="; }

step setup
bash scripts/setup.sh

step "build win32 (Tessaly)"
cmake --preset win32
cmake --build --preset win32

step "build win64 (Ombrel)"
cmake --preset win64
cmake --build --preset win64

step test
ctest --preset win64
