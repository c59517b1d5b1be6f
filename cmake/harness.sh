#!/usr/bin/env bash
# Runs Windows test programs under Wine on a private Xvfb display.
#
#   harness.sh --build DIR start
#       Start Xvfb on the first free display from :90 up, create the build
#       tree's Wine prefix if it does not exist yet, and keep a wineserver
#       running for the whole test run (a process start then costs ~50 ms
#       instead of ~1 s).
#   harness.sh --build DIR stop
#       Stop that Xvfb and the prefix's wineserver.
#   harness.sh --build DIR run [--scratch DIR] PROGRAM [ARGS...]
#       Run PROGRAM under Wine on the harness display (or on $DISPLAY when the
#       harness is not started) and exit with its exit code. --scratch makes
#       DIR (which must lie inside the build tree) empty and the current
#       directory first.
#   harness.sh --build DIR display
#       Print the harness display, if it runs.
#
# State lives in the build tree: DIR/harness (display, Xvfb pid, logs) and
# DIR/wineprefix. One harness per build tree; build trees do not share one.
#
# Environment: OMBREL_WINEDEBUG replaces the default WINEDEBUG=-all,err+all (and then
# Wine's messages are shown unfiltered).
set -euo pipefail

die() { echo "harness: $*" >&2; exit 2; }

build=""
if [[ ${1:-} == --build ]]; then
    build=${2:-}
    shift 2 || die "--build needs a directory"
fi
[[ -n $build ]] || die "usage: harness.sh --build DIR start|stop|run|display ..."
build=$(cd "$build" && pwd) || die "no build tree at $build"
[[ -f $build/CMakeCache.txt ]] || die "$build is not a configured build tree"
command=${1:-}
shift || true

state=$build/harness
prefix=$build/wineprefix
# Wine runs without address-space randomisation where the system allows it.
# This Wine's loader (there is no preloader) sits at a fixed address and the
# kernel starts its heap a random distance above it, up to 1 GB; about once
# in a few thousand starts the heap covered 0x7ffe0000, where Wine maps the
# shared user data, and the program ended at once with exit code 1 and no
# output ("failed to map the shared user data"). Without randomisation the
# heap always starts right after the loader. Programs that a Windows program
# starts inherit the setting.
wine=("${OMBREL_WINE:-wine}")
if setarch "$(uname -m)" -R true 2>/dev/null; then
    wine=(setarch "$(uname -m)" -R "${wine[@]}")
fi
wineserver=${OMBREL_WINESERVER:-wineserver}
xvfb=${OMBREL_XVFB:-Xvfb}

export WINEPREFIX=$prefix
# Wine links the prefix's user folders to the home folder; CI may not set one.
if [[ -z ${HOME:-} ]]; then
    export HOME=$state/home
    mkdir -p "$HOME"
fi
# Wine's error messages only: hidden from the output, shown when a program
# fails (see run_program).
quiet_winedebug=-all,err+all
export WINEDEBUG=${OMBREL_WINEDEBUG:-$quiet_winedebug}
# No Mono or Gecko: their install prompts would block, and the host does not
# use either. No menu builder: it would write desktop entries for the user.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

xvfb_pid() {
    local pid
    pid=$(cat "$state/xvfb.pid" 2>/dev/null) || return 1
    [[ -n $pid && $(cat "/proc/$pid/comm" 2>/dev/null) == Xvfb ]] || return 1
    echo "$pid"
}

stop_xvfb() {
    local pid
    if pid=$(xvfb_pid); then
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 50); do
            [[ -d /proc/$pid ]] || break
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null || true
    fi
    rm -f "$state/xvfb.pid" "$state/display"
}

# A lock file whose process is gone is left over from an aborted run; Xvfb
# would refuse the display because of it.
display_free() {
    local n=$1 lock=/tmp/.X$1-lock pid
    if [[ -e $lock ]]; then
        pid=$(tr -dc 0-9 <"$lock" 2>/dev/null || true)
        [[ -n $pid && -d /proc/$pid ]] && return 1
        rm -f "$lock" 2>/dev/null || return 1
    fi
    if [[ -e /tmp/.X11-unix/X$n ]]; then
        rm -f "/tmp/.X11-unix/X$n" 2>/dev/null || return 1
    fi
    return 0
}

owns_display() {
    local n=$1 pid=$2
    [[ -S /tmp/.X11-unix/X$n && -d /proc/$pid ]] &&
        [[ $(tr -dc 0-9 <"/tmp/.X$n-lock" 2>/dev/null) == "$pid" ]]
}

start_xvfb() {
    local n pid
    mkdir -p "$state"
    for n in $(seq 90 189); do
        display_free "$n" || continue
        setsid "$xvfb" ":$n" -nolisten tcp -screen 0 1280x1024x24 \
            </dev/null >>"$state/xvfb.log" 2>&1 &
        pid=$!
        # Ours once its lock names it and its socket is there; another run
        # may have taken the same display a moment earlier.
        for _ in $(seq 100); do
            owns_display "$n" "$pid" && break
            [[ -d /proc/$pid ]] || break
            sleep 0.05
        done
        if owns_display "$n" "$pid"; then
            echo "$pid" >"$state/xvfb.pid"
            echo ":$n" >"$state/display"
            echo "harness: Xvfb on :$n (pid $pid)"
            return 0
        fi
        kill "$pid" 2>/dev/null || true
    done
    die "no free X display in :90..:189 (see $state/xvfb.log)"
}

use_display() {
    if xvfb_pid >/dev/null && [[ -s $state/display ]]; then
        DISPLAY=$(cat "$state/display")
        export DISPLAY
    elif [[ -z ${DISPLAY:-} ]]; then
        die "no display: start the harness first ($0 --build $build start)"
    fi
}

# The prefix is made once per build tree. "Managed"="N" makes hiding and
# closing windows fast without a window manager; no crash dialog, so a
# crashing test ends (with a backtrace on stderr) instead of waiting for a
# click that never comes.
init_prefix() {
    local log=$state/prefix.log
    echo "harness: creating the Wine prefix $prefix (once per build tree)" >&2
    mkdir -p "$state"
    rm -rf "$prefix"
    "${wine[@]}" wineboot --init >>"$log" 2>&1 || die "wineboot failed (see $log)"
    "$wineserver" -w
    cat >"$state/prefix.reg" <<'EOF'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000
EOF
    "${wine[@]}" reg import "$(winpath "$state/prefix.reg")" >>"$log" 2>&1 \
        || die "registry set-up failed (see $log)"
    "$wineserver" -w
    touch "$prefix/.ombrel-ready"
}

ensure_prefix() {
    [[ -f $prefix/.ombrel-ready ]] && return 0
    exec 9>"$build/wineprefix.lock"
    flock 9
    # Wine's processes must not inherit the lock descriptor: a wineserver
    # holding it would block every later run.
    [[ -f $prefix/.ombrel-ready ]] || init_prefix 9>&-
    exec 9>&-
}

# Unix path -> the Windows path Wine maps it to (drive Z: is the Unix root).
winpath() {
    local path=$1
    echo "Z:${path//\//\\}"
}

# Wine's own complaints on stderr (only with the default WINEDEBUG,
# where they are never a test's output).
filter_wine_noise() {
    if [[ $WINEDEBUG == "$quiet_winedebug" ]]; then
        grep --line-buffered -v -E \
            -e '^[0-9a-f]{4}:(fixme|err|warn|trace):' \
            -e '^wine: (configuration in|created the configuration directory)' \
            -e '^(Xlib|X Error of failed request|  Major opcode|  Serial number|  Resource id)' \
            || true
    else
        cat
    fi
}

scratch_dir() {
    local dir
    dir=$(realpath -m "$1")
    [[ $dir == "$build"/* ]] || die "scratch directory $dir is not inside $build"
    # A test may have left read-only files or folders behind.
    chmod -R u+w "$dir" 2>/dev/null || true
    rm -rf "$dir"
    mkdir -p "$dir"
    cd "$dir"
}

# The program writes into files that are streamed to our own output while it
# runs. Wine starts helper processes (the desktop process, the debugger, and
# whatever the program itself starts) that inherit the program's output; had
# the program our pipes, the caller would wait for those helpers to end too.
run_program() {
    if [[ ${1:-} == --scratch ]]; then
        [[ -n ${2:-} ]] || die "--scratch needs a directory"
        scratch_dir "$2"
        shift 2
    fi
    [[ -n ${1:-} ]] || die "run needs a program"
    use_display
    ensure_prefix
    mkdir -p "$state"
    local out pid rc
    out=$(mktemp -d "$state/run.XXXXXX")
    : >"$out/stdout"
    : >"$out/stderr"
    "${wine[@]}" "$@" >"$out/stdout" 2>"$out/stderr" &
    pid=$!
    trap 'kill "$pid" 2>/dev/null; wait; rm -rf "$out"; exit 143' TERM INT HUP
    tail -s 0.05 -n +1 -f --pid="$pid" "$out/stdout" &
    tail -s 0.05 -n +1 -f --pid="$pid" "$out/stderr" | filter_wine_noise >&2 &
    set +e
    wait "$pid"
    rc=$?
    wait
    set -e
    if [[ $rc -ne 0 ]]; then
        # A failure says how the program ended, with what Wine said that the
        # filter hid: a program that fails at start may print nothing else.
        echo "harness: $(basename "$1") ended with exit code $rc" >&2
        if [[ $WINEDEBUG == "$quiet_winedebug" ]]; then
            grep -E '^[0-9a-f]{4}:(err|warn):' "$out/stderr" | tail -n 10 | sed 's/^/harness: wine: /' >&2 || true
        fi
    fi
    rm -rf "$out"
    exit "$rc"
}

case $command in
    start)
        stop_xvfb
        "$wineserver" -k 2>/dev/null || true
        start_xvfb
        use_display
        ensure_prefix
        "$wineserver" -p </dev/null >>"$state/wineserver.log" 2>&1
        # The first program on a new wineserver starts Wine's system
        # processes (services, device drivers, RPC), which then live as long
        # as the server. Start them here, with the log as their output,
        # rather than in the first test, which would pay for their start
        # and hand them its output files.
        "${wine[@]}" cmd.exe /c exit </dev/null >>"$state/wineserver.log" 2>&1 \
            || die "Wine does not start programs (see $state/wineserver.log)"
        echo "harness: wineserver running for $prefix"
        ;;
    stop)
        if [[ -d $prefix ]]; then "$wineserver" -k 2>/dev/null || true; fi
        stop_xvfb
        echo "harness: stopped"
        ;;
    run)
        run_program "$@"
        ;;
    display)
        use_display
        echo "$DISPLAY"
        ;;
    *)
        die "unknown command '$command' (start, stop, run, display)"
        ;;
esac
