#!/usr/bin/env bash
# Builds the tool and runs every test suite through CTest (offscreen, no display needed).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

ctest --test-dir "$PM_BUILD" --output-on-failure
