#!/usr/bin/env bash
# Runs one end-to-end application under Wine:
#
#   run-app.sh HOST.exe APPDIR
#
# APPDIR is copied afresh to <build>/tests/apps/<name> (tests/apps-double/<name>
# on the double) and the host runs as
# "HOST.exe d=<copy>", with the copy as its current folder; tests/support/pages/
# wait.js is copied into the copy's resource folder. The exit code is
# the host's (0 = passed); after OMBREL_APP_TIMEOUT seconds (default 55) the
# host is stopped and the run fails.
#
# Optional files in APPDIR:
#   test-plugins  names of plug-in libraries, one per line, copied into the
#                 copy's plugins folder: helper libraries built from
#                 tests/support (<name>.dll) or the build's own (Vellum).
#   test-args     further command-line words for the host, on one line.
#   test-output   what the host must write to its standard output: one
#                 extended regular expression per line (# starts a comment),
#                 matched in order against the output's lines without the
#                 reporter's own ("ok - ...", "not ok - ...", "# ...", the
#                 totals), one pattern per line and no line left over.
#   test-server   the host runs inside the local network servers of
#                 tests/support/netserve/netserve.py, which pass their
#                 addresses in its environment; the file holds netserve's
#                 options on one line (--tls for the HTTPS collection
#                 server, --trust to trust its test authority meanwhile).
#
# OMBREL_WINE_RUN names the build tree's wine-run.sh (default: next to HOST).
# OMBREL_ENGINE=double runs the application on the build's strict double of
# the platform's browser control (tests/support/browserdouble); other values
# (script, platform, a control library) are passed to the host unchanged.
set -euo pipefail

[[ $# -eq 2 ]] || { echo "usage: run-app.sh HOST.exe APPDIR" >&2; exit 2; }
host=$(realpath "$1")
app=$(realpath "$2")
wine_run=${OMBREL_WINE_RUN:-$(dirname "$host")/wine-run.sh}
build=$(dirname "$wine_run")
name=$(basename "$app")
copies=$build/tests/apps

if [[ ${OMBREL_ENGINE:-} == double ]]; then
    double=$build/tests/support/browserdouble.dll
    [[ -f $double ]] || { echo "run-app: the browser double is not built ($double)" >&2; exit 2; }
    export OMBREL_ENGINE="Z:${double//\//\\}"
    copies=$build/tests/apps-double  # runs on both engines may overlap
fi
copy=$copies/$name

rm -rf "$copy"
mkdir -p "$copies"
cp -a "$app" "$copy"
# The pages' shared helpers (waitFor), loaded with <script src="wait.js">.
cp "$(dirname "$0")/../tests/support/pages/wait.js" "$copy/resource/"

if [[ -f $app/test-plugins ]]; then
    mkdir -p "$copy/plugins"
    while read -r library || [[ -n $library ]]; do
        [[ -z $library || $library == \#* ]] && continue
        found=""
        for candidate in "$build/tests/support/$library.dll" "$build/plugins/$library.dll"; do
            if [[ -f $candidate ]]; then
                cp "$candidate" "$copy/plugins/"
                found=yes
                break
            fi
        done
        [[ -n $found ]] || { echo "run-app: plug-in library $library is not built" >&2; exit 2; }
    done <"$app/test-plugins"
fi

args=()
if [[ -f $app/test-args ]]; then
    read -r -a args <"$app/test-args" || true
fi

servers=()
if [[ -f $app/test-server ]]; then
    read -r -a options <"$app/test-server" || true
    python=$(command -v /usr/bin/python3 || command -v python3)
    servers=("$python" "$(realpath "$(dirname "$0")/../tests/support/netserve/netserve.py")"
             "${options[@]}" --)
fi

# Compares the host's output with test-output (see above); prints the first
# difference.
check_output() {
    LC_ALL=C awk '
        NR == FNR { if ($0 !~ /^(#|$)/) want[n++] = $0; next }
        { sub(/\r$/, "") }
        /^(ok - |not ok - |# |[0-9]+ passed, [0-9]+ failed$)/ { next }
        {
            if (i >= n) { bad = "an extra line: " $0; exit }
            if ($0 !~ want[i]) { bad = "line \"" $0 "\" does not match " want[i]; exit }
            i++
        }
        END {
            if (bad == "" && i < n) bad = "no line for " want[i]
            if (bad != "") { print "run-app: standard output: " bad > "/dev/stderr"; exit 1 }
        }' "$app/test-output" "$1"
}

cd "$copy"
set +e
if [[ -f $app/test-output ]]; then
    output=$copies/$name.stdout
    "${servers[@]}" timeout -k 5 "${OMBREL_APP_TIMEOUT:-55}" "$wine_run" "$host" \
        "d=Z:${copy//\//\\}" "${args[@]}" >"$output"
    rc=$?
    cat "$output"
    if [[ $rc -eq 0 ]] && ! check_output "$output"; then
        rc=1
    fi
else
    "${servers[@]}" timeout -k 5 "${OMBREL_APP_TIMEOUT:-55}" "$wine_run" "$host" "d=Z:${copy//\//\\}" "${args[@]}"
    rc=$?
fi
set -e
if [[ $rc -eq 124 || $rc -eq 137 ]]; then
    echo "run-app: $name did not finish within ${OMBREL_APP_TIMEOUT:-55} s" >&2
fi
exit "$rc"
