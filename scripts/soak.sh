#!/usr/bin/env bash
# Runs the CTest suite of an existing build several times, to find tests that
# fail only now and then.
#
#   scripts/soak.sh [RUNS] [CTEST ARGUMENTS...]
#
# RUNS (default 20) full runs of `ctest --preset win64` on the build as it is
# (nothing is configured or rebuilt: build both trees first). Further
# arguments go to every run, for example `-R unit_file` to soak one area.
# Prints one line per run, then per failing test how often it failed and the
# output of its first failure; exits 1 when any test failed in any run.
#
# Environment: OMBREL_SOAK_PRESET selects another test preset;
# OMBREL_SOAK_KEEP=1 keeps the per-run results (JUnit files and logs).
set -euo pipefail
cd "$(dirname "$0")/.."

die() { echo "soak: $*" >&2; exit 2; }

runs=${1:-20}
if [[ $# -gt 0 ]]; then shift; fi
[[ $runs =~ ^[1-9][0-9]*$ ]] || die "RUNS must be a positive whole number, not '$runs'"
preset=${OMBREL_SOAK_PRESET:-win64}
build=build/$preset
[[ -f $build/CTestTestfile.cmake ]] || die "no configured build tree at $build: build it first"
command -v python3 >/dev/null || die "python3 is needed for the summary"

results=$(mktemp -d "${TMPDIR:-/tmp}/ombrel-soak.XXXXXX")
if [[ ${OMBREL_SOAK_KEEP:-} == 1 ]]; then
    echo "soak: results kept in $results"
else
    trap 'rm -rf "$results"' EXIT
fi
# A stopped soak still stops its current CTest run (and so its Wine programs).
trap 'exit 130' INT TERM

start=$SECONDS
for ((run = 1; run <= runs; run++)); do
    began=$SECONDS
    set +e
    ctest --preset "$preset" --output-junit "$results/run-$run.xml" "$@" \
        >"$results/run-$run.log" 2>&1
    rc=$?
    set -e
    summary=$(grep -E '^[0-9]+% tests passed' "$results/run-$run.log" || true)
    printf 'run %d/%d: %s (%d s)\n' "$run" "$runs" "${summary:-ctest exited with $rc}" \
        $((SECONDS - began))
    echo "$rc" >"$results/run-$run.rc"
    if [[ ! -s $results/run-$run.xml ]]; then
        echo "soak: run $run wrote no results; its output:" >&2
        tail -n 40 "$results/run-$run.log" >&2
        exit 2
    fi
done
echo "soak: $runs runs in $((SECONDS - start)) s"

python3 - "$results" "$runs" <<'EOF'
import glob, os, sys
import xml.etree.ElementTree as ET

folder, runs = sys.argv[1], int(sys.argv[2])
counts, first, seen = {}, {}, set()
for run in range(1, runs + 1):
    tree = ET.parse(os.path.join(folder, f"run-{run}.xml"))
    failed_here = False
    for case in tree.iter("testcase"):
        name = case.get("name")
        seen.add(name)
        status = case.get("status", "run")
        if status in ("run", "disabled"):
            continue
        counts[name] = counts.get(name, 0) + 1
        failed_here = True
        if name not in first:
            out = case.findtext("system-out") or ""
            first[name] = (run, status, out)

    # A failed run without a failed test (CTest itself failed) counts too.
    rc = open(os.path.join(folder, f"run-{run}.rc")).read().strip()
    if rc != "0" and not failed_here:
        counts["(ctest)"] = counts.get("(ctest)", 0) + 1
        if "(ctest)" not in first:
            log = open(os.path.join(folder, f"run-{run}.log"), errors="replace").read()
            first["(ctest)"] = (run, f"exit {rc}", "\n".join(log.splitlines()[-40:]))

print(f"soak: {len(seen)} tests, {len(counts)} failed at least once")
for name in sorted(counts, key=lambda n: (-counts[n], n)):
    print(f"  {name}: failed {counts[name]} of {runs}")
for name in sorted(counts, key=lambda n: (-counts[n], n)):
    run, status, out = first[name]
    print(f"\n=== {name}: first failure in run {run} ({status}) ===")
    print(out.rstrip() or "(no output)")
sys.exit(1 if counts else 0)
EOF
