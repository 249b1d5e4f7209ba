# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by scripts/run and scripts/test: install what is missing, then configure and build.
set -euo pipefail

VELMORA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VELMORA_BUILD=${VELMORA_BUILD:-$VELMORA_ROOT/build}
VELMORA_PACKAGES=(g++ cmake make qtbase5-dev libqt5sql5-sqlite libsqlite3-dev sqlite3 libquazip1-qt5-dev zlib1g-dev libarchive-dev 7zip clang-format)

velmora_install_missing() {
    local missing=() pkg
    for pkg in "${VELMORA_PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing Debian packages: ${missing[*]}" >&2
        echo "Install them as root: apt-get install ${missing[*]}" >&2
        exit 1
    fi
    echo "Installing: ${missing[*]}"
    apt-get update -qq
    local log
    if ! log=$(DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" 2>&1); then
        printf '%s\n' "$log" >&2
        exit 1
    fi
}

velmora_build() {
    # Warnings are errors in CI. A build tree otherwise keeps the setting it was configured
    # with, so that scripts/run after CI=true scripts/test does not rebuild everything with
    # other flags. Further arguments go to CMake (scripts/test --sanitize passes its flags).
    local args=()
    if [ "${CI:-}" = "true" ]; then
        args+=(-DVELMORA_WERROR=ON)
    elif [ ! -f "$VELMORA_BUILD/CMakeCache.txt" ]; then
        args+=(-DVELMORA_WERROR=OFF)
    fi
    # Quiet when it works; the whole configure output when it does not.
    local log
    if ! log=$(cmake -S "$VELMORA_ROOT" -B "$VELMORA_BUILD" "${args[@]}" "$@" 2>&1); then
        printf '%s\n' "$log" >&2
        echo "Configuring $VELMORA_ROOT failed; see above." >&2
        exit 1
    fi
    if grep -q 'CMake Warning' <<<"$log"; then
        printf '%s\n' "$log" >&2
    fi
    cmake --build "$VELMORA_BUILD" --parallel "$(nproc)"
}
