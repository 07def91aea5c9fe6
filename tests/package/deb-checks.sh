# What the tests of the Debian packages share, sourced: check, and the checks every package
# passes. finish ends the test, failed when any check failed.

failures=0
check() { # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAILED: $what" >&2
        failures=$((failures + 1))
    fi
}

# lintian at every level down to info; the maintainer's address stays on a host that does not
# exist until the owner sets one. hardening-check (devscripts), where installed, on the unpacked
# PROGRAM: Debian 12's build flags ask for no control-flow protection.
deb_checks() { # deb_checks DEB PROGRAM
    check "lintian: nothing, info included, but the maintainer's address" lintian --no-cfg \
        --display-info --fail-on error,warning,info \
        --suppress-tags bogus-mail-host,bogus-mail-host-in-debian-changelog "$1"
    if command -v hardening-check >/dev/null; then
        check "hardening-check: PIE, stack protector, fortified calls, RELRO, bound at start" \
            hardening-check --quiet --nocfprotection "$2"
    fi
}

finish() {
    if ((failures)); then
        echo "$failures check(s) failed" >&2
        exit 1
    fi
}
