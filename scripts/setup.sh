#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need (only those that are
# missing), configures and builds into build/, and writes the demo product database into
# build/demo/ with its brand schemes in build/config/. Sourced by demo.sh and test.sh.
set -euo pipefail

PM_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
PM_BUILD=${PM_BUILD:-$PM_ROOT/build}

PM_PACKAGES=(
    cmake ninja-build g++ pkg-config
    qtbase5-dev qtbase5-dev-tools qttools5-dev qttools5-dev-tools libqt5sql5-sqlite
    libqt5sql5-odbc unixodbc libsqliteodbc sqlite3
    libqt5sql5-psql libpq-dev postgresql postgresql-common
    libfreexl-dev libgsf-1-dev libquazip1-qt5-dev libxlsxwriter-dev mdbtools-dev
    xvfb xauth x11-utils openbox imagemagick qttranslations5-l10n fonts-wqy-microhei
    libreoffice-calc-nogui python3 python3-xlrd python3-openpyxl python3-xlwt
)

pm_install_packages() {
    local missing=()
    local pkg
    for pkg in "${PM_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    echo "Installing missing packages: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -q
    "${sudo[@]}" apt-get install -y -q "${missing[@]}"
}

pm_build() {
    cmake -S "$PM_ROOT" -B "$PM_BUILD" -G Ninja ${PM_CMAKE_ARGS:-}
    cmake --build "$PM_BUILD"
}

pm_make_demo() {
    rm -rf "$PM_BUILD/demo"
    mkdir -p "$PM_BUILD/demo"
    # The demo schemes live where the program looks for them: config/ beside the executable.
    rm -f "$PM_BUILD"/config/Brand*.json
    "$PM_BUILD/product-gendb" "$PM_BUILD/demo/Product.mdb" --config "$PM_BUILD/config"
}

pm_install_packages
pm_build
pm_make_demo
