# Shared by the bench scripts (sourced, not run): the build, the harness,
# running one program and the statistics of the table rows.
#
# The sourcing script sets, before calling these:
#   needed   the build outputs it needs (paths), checked after the build
# and gets:
#   root build host wine_run harness work    paths and the harness command
#   bench_build      builds build/win64 (a failed build measures the existing
#                    programs, with a warning)
#   bench_start_harness                      starts the harness unless running
#   bench_run LABEL OUT [--background] PROGRAM ARGS...
#                    runs a program under Wine in $work/app, output in OUT
#   bench_sample FILE PREFIX                 the first "PREFIX ..." line of FILE
#   bench_stats FILE COLUMN                  "median min max" of a column

bench=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$bench")
build=$root/build/win64
host=$build/Ombrel.exe
wine_run=$build/wine-run.sh
harness=(bash "$root/cmake/harness.sh" --build "$build")
run_timeout=${OMBREL_BENCH_TIMEOUT:-120}

die() { echo "bench: $*" >&2; exit 1; }
note() { echo "bench: $*" >&2; }

work=""
started_harness=""
background_pids=()
bench_cleanup() {
    local pid
    for pid in "${background_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    if [[ -n $started_harness ]]; then "${harness[@]}" stop >&2 || true; fi
    if [[ -n $work ]]; then rm -rf "$work"; fi
}
trap bench_cleanup EXIT
trap 'exit 130' INT TERM
work=$(mktemp -d /tmp/ombrel-bench.XXXXXX)

bench_build() {
    if [[ ! -f $build/CMakeCache.txt ]]; then
        (cd "$root" && cmake --preset win64) >&2 || die "configuring build/win64 failed"
    fi
    if ! (cd "$root" && cmake --build --preset win64) >"$work/build.log" 2>&1; then
        tail -n 20 "$work/build.log" >&2
        note "WARNING: the build failed; measuring the existing programs"
    fi
    local f
    for f in "$host" "$wine_run" "${needed[@]}"; do
        [[ -f $f ]] || die "no $f after the build"
    done
}

bench_harness_running() {
    local pid
    pid=$(cat "$build/harness/xvfb.pid" 2>/dev/null) || return 1
    [[ -n $pid && $(cat "/proc/$pid/comm" 2>/dev/null) == Xvfb ]]
}

bench_start_harness() {
    if bench_harness_running; then
        note "the harness for build/win64 is already running: using it, timings may include other programs' load"
        return 0
    fi
    started_harness=yes
    "${harness[@]}" start >&2 || die "the harness did not start"
}

# bench_run LABEL OUT [--background] PROGRAM [ARGS...]: runs the program in
# $work/app with its standard output in OUT (standard error in OUT.err). In
# the foreground a failure (exit code, time-out) ends the bench with the
# program's output; --background starts it and leaves its pid in bench_pid.
bench_run() {
    local label=$1 out=$2 rc
    shift 2
    if [[ ${1:-} == --background ]]; then
        shift
        (cd "$work/app" && exec timeout -k 5 "$run_timeout" "$wine_run" "$@" </dev/null >"$out" 2>"$out.err") &
        bench_pid=$!
        background_pids+=("$bench_pid")
        return 0
    fi
    set +e
    (cd "$work/app" && timeout -k 5 "$run_timeout" "$wine_run" "$@" </dev/null >"$out" 2>"$out.err")
    rc=$?
    set -e
    if [[ $rc -ne 0 ]]; then
        [[ $rc -eq 124 || $rc -eq 137 ]] && note "$label did not finish within $run_timeout s"
        note "$label failed (exit $rc); its output:"
        cat "$out" "$out.err" >&2
        exit 1
    fi
}

# bench_sample FILE PREFIX: the first line of FILE that starts with PREFIX.
bench_sample() {
    local line
    line=$(grep -m1 "^$2 " "$1" | tr -d '\r' || true)
    [[ -n $line ]] || { note "no '$2' line in the output:"; cat "$1" "$1.err" >&2; exit 1; }
    echo "$line"
}

# bench_field LINE NAME: the value of NAME=<value> in a sample line.
bench_field() {
    [[ " $1 " =~ \ $2=([^ ]+)\  ]] || die "no $2 in: $1"
    echo "${BASH_REMATCH[1]}"
}

# bench_stats FILE COLUMN: "median min max" of that column.
bench_stats() {
    awk -v c="$2" '{ print $c }' "$1" | sort -g | awk '
        { v[NR] = $1 }
        END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
              print m, v[1], v[NR] }'
}

# bench_ratio_row TITLE FILE_A FILE_B COLUMN DIVISOR FORMAT: one table row for
# a measure of two programs measured run by run in the same order: each
# program's median [min] over the runs (values divided by DIVISOR, printed
# with FORMAT) and the ratio A / B of each run, as median [min].
bench_ratio_row() {
    local title=$1 a=$2 b=$3 col=$4 div=$5 fmt=$6
    paste -d' ' <(awk -v c="$col" '{ print $c }' "$a") <(awk -v c="$col" '{ print $c }' "$b") |
        awk -v title="$title" -v d="$div" -v fmt="$fmt" '
        function med(arr, n,    s) { s = n % 2 ? arr[(n + 1) / 2] : (arr[n / 2] + arr[n / 2 + 1]) / 2; return s }
        function sorted(src, dst, n,    i, j, t) {
            for (i = 1; i <= n; i++) dst[i] = src[i]
            for (i = 2; i <= n; i++) for (j = i; j > 1 && dst[j - 1] > dst[j]; j--) { t = dst[j]; dst[j] = dst[j - 1]; dst[j - 1] = t }
        }
        { n++; x[n] = $1 / d; y[n] = $2 / d; r[n] = $2 > 0 ? $1 / $2 : 0 }
        END {
            sorted(x, xs, n); sorted(y, ys, n); sorted(r, rs, n)
            printf "%-30s " fmt " [" fmt "]   " fmt " [" fmt "]   %.2f [%.2f]\n", title, med(xs, n), xs[1], med(ys, n), ys[1], med(rs, n), rs[1]
        }'
}
