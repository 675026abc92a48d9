#!/usr/bin/env bash
# Runs one suite on the PostgreSQL back end (PM_TEST_BACKEND=postgresql), on the server
# libpq finds through PGHOST/PGPORT/PGUSER/PGPASSWORD (scripts/test.sh starts one with
# pg_virtualenv). Without a server the run is skipped with a loud message (exit 77, which
# CTest shows as skipped), except under CI, where it fails.
set -u
if ! psql -X -q -d postgres -c 'select 1' >/dev/null 2>"${TMPDIR:-/tmp}/pm_psql_probe.$$"; then
    why=$(cat "${TMPDIR:-/tmp}/pm_psql_probe.$$" 2>/dev/null)
    rm -f "${TMPDIR:-/tmp}/pm_psql_probe.$$"
    echo "*****************************************************************************"
    echo "*** NO POSTGRESQL SERVER: $(basename "$1") was not run on PostgreSQL."
    echo "*** ${why:-psql not found}"
    echo "*** Run the tests inside pg_virtualenv (bash scripts/test.sh does)."
    echo "*****************************************************************************"
    if [ -n "${CI:-}" ]; then
        exit 1
    fi
    exit 77
fi
rm -f "${TMPDIR:-/tmp}/pm_psql_probe.$$"
export PM_TEST_BACKEND=postgresql
exec "$@"
