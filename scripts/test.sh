#!/usr/bin/env bash
# Builds the tool and runs every test suite through CTest (offscreen, no display needed). The
# suites that use the product database run twice, the second time (<suite>_postgresql) on a
# throwaway PostgreSQL cluster that pg_virtualenv starts for the run and removes afterwards;
# it sets PGHOST/PGPORT/PGUSER/PGPASSWORD for the tests. -t keeps the cluster in a temporary
# folder also as root: without it root's cluster has a fixed name (15/regress), so a cluster
# left by a run that was killed, or a run beside this one, makes pg_virtualenv refuse.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

if command -v pg_virtualenv >/dev/null 2>&1; then
    pg_virtualenv -t ctest --test-dir "$PM_BUILD" --output-on-failure
else
    echo "*** pg_virtualenv (postgresql-common) is missing: the PostgreSQL runs are skipped ***"
    ctest --test-dir "$PM_BUILD" --output-on-failure
fi
