#!/usr/bin/env bash
# End-to-end test of tools/packager: packages the sample application
# examples/hello with an icon and version information, reads the result back
# on this machine (Python), runs it under Wine (vellumprobe: it extracts
# itself and shows its window), then checks
# that a missing source folder and a bad version fail without an output file.
#
#   packager_test.sh WINE_RUN HOST.exe VELLUMPROBE.exe WORK_FOLDER
set -euo pipefail
[[ $# -eq 4 ]] || { echo "usage: packager_test.sh WINE_RUN HOST.exe VELLUMPROBE.exe WORK_FOLDER" >&2; exit 2; }
wine_run=$1 host=$2 probe=$3 work=$4
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
winpath() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }
failed=0
fail() { echo "packager_test: FAIL $*" >&2; failed=1; }

rm -rf "$work"
mkdir -p "$work"
python3 "$root/cmake/make_icon.py" "$work/app.ico"

# Runs the packager with the common arguments and the given ones; its exit code.
package() {
    local rc=0
    "$wine_run" "$host" "d=$(winpath "$root/tools/packager")" "log=$(winpath "$work/packager.log")" /quiet "$@" || rc=$?
    return $rc
}

rc=0
package "src=$(winpath "$root/examples/hello")" "out=$(winpath "$work/Hello.exe")" \
    "icon=$(winpath "$work/app.ico")" version=2.3.4.5 "name=Hello Packaged" \
    "description=The hello sample, packaged" "copyright=(c) The hello authors" || rc=$?
[[ $rc -eq 0 ]] || fail "packaging the sample exited with $rc: $(cat "$work/packager.log" 2>/dev/null)"
[[ -f $work/Hello.exe ]] || { fail "no Hello.exe written"; exit 1; }
[[ ! -e $work/Hello.exe.partial ]] || fail "the temporary Hello.exe.partial is left behind"

python3 "$here/check_outputs.py" package "$work/Hello.exe" "$work/app.ico" || failed=1
"$wine_run" "$probe" "$(winpath "$work/Hello.exe")" "Hello from Ombrel" \
    || fail "the packaged sample did not run (see vellumprobe's message above)"

# Failures: a non-zero exit code, a message naming the problem, no output.
: >"$work/packager.log"
rc=0
package "src=$(winpath "$work/missing")" "out=$(winpath "$work/Missing.exe")" || rc=$?
[[ $rc -ne 0 ]] || fail "a missing source folder exited with 0"
grep -q 'application folder does not exist' "$work/packager.log" || fail "no message for a missing source folder"
rc=0
package "src=$(winpath "$root/examples/hello")" "out=$(winpath "$work/BadVersion.exe")" version=1.2.x.4 || rc=$?
[[ $rc -ne 0 ]] || fail "a bad version exited with 0"
grep -q 'version= must be four numbers' "$work/packager.log" || fail "no message for a bad version"
for name in Missing BadVersion; do
    [[ ! -e $work/$name.exe && ! -e $work/$name.exe.partial ]] || fail "$name.exe: a failed run left a file"
done
[[ $failed -eq 0 ]] && echo "packager_test: all checks passed"
exit $failed
