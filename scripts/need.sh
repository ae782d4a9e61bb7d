#!/bin/sh
# Installs the named Debian packages that this machine lacks, so that the
# make targets work on a fresh machine. A package counts as present when
# dpkg has it or a command of its name is on PATH. Missing ones come from
# apt-get, through sudo when not root; where that cannot be done, the script
# names what is missing and how to get it, and fails.
set -e
missing=""
for pkg in "$@"; do
    dpkg -s "$pkg" >/dev/null 2>&1 && continue
    command -v "$pkg" >/dev/null 2>&1 && continue
    missing="$missing $pkg"
done
[ -z "$missing" ] && exit 0

fail() {
    echo "error: missing Debian packages:$missing" >&2
    echo "       $1" >&2
    echo "       install them with: sudo apt-get install$missing" >&2
    exit 1
}
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null 2>&1 || fail "not root, and sudo is not installed"
    SUDO="sudo"
fi
command -v apt-get >/dev/null 2>&1 || fail "apt-get is not available here"
echo "installing:$missing"
$SUDO apt-get update -qq || fail "apt-get update failed (no network or no rights?)"
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing || fail "apt-get install failed"
