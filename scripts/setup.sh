#!/usr/bin/env bash
# Installs what building and testing Ombrel needs on Debian 12, from Debian's
# own packages. Idempotent: when everything is installed it only looks.
# Run as root, or as a user who may use sudo.
set -euo pipefail

packages=(
    # cross compilers (the -posix variants have std::thread and std::mutex),
    # binutils and windres, zlib for MinGW
    gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix binutils-mingw-w64-i686
    mingw-w64-tools libz-mingw-w64-dev
    # build
    cmake ninja-build googletest python3
    # test runtime: Wine (64-bit) on a virtual X display; TLS for HTTPS tests
    wine wine64 libgnutls30 xvfb xauth xdotool
    # zip archives for package tests and benches (Info-ZIP)
    zip unzip
    # test certificates for the HTTPS tests; the download bench's peer
    openssl curl
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    if [[ $status != "install ok installed" ]]; then
        missing+=("$package")
    fi
done

# Node.js and npm run the TypeScript compiler that checks the script typings;
# a machine that already has both (from any source) keeps what it has.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
    missing+=(nodejs npm)
fi

if [[ ${#missing[@]} -eq 0 ]]; then
    echo "setup: all ${#packages[@]} packages are installed"
else
    echo "setup: installing ${missing[*]}"
    if [[ $(id -u) -eq 0 ]]; then
        as_root=()
    elif command -v sudo >/dev/null 2>&1; then
        as_root=(sudo)
    else
        echo "setup: missing packages (${missing[*]}) and neither root nor sudo to install them" >&2
        exit 1
    fi

    export DEBIAN_FRONTEND=noninteractive
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "${missing[@]}"
    echo "setup: packages done"
fi

# The TypeScript compiler, pinned, in the project's own build/node folder
# (kept out of git); the typings check of the tests runs it from there.
typescript_version=5.9.3
typescript_dir=$(cd "$(dirname "$0")/.." && pwd)/build/node
installed=$(node -p "require('$typescript_dir/node_modules/typescript/package.json').version" \
            2>/dev/null || true)
if [[ $installed == "$typescript_version" ]]; then
    echo "setup: TypeScript $typescript_version is installed"
else
    echo "setup: installing TypeScript $typescript_version into $typescript_dir"
    mkdir -p "$typescript_dir"
    npm install --prefix "$typescript_dir" --no-save --no-audit --no-fund --no-package-lock \
        --loglevel=error "typescript@$typescript_version"
fi
echo "setup: done"
