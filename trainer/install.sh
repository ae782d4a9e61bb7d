#!/bin/sh
# Installs what the trainer needs from Debian's packages (run it with /usr/bin/python3).
set -e
missing=""
# OpenBLAS: Debian's torch calls whichever BLAS is installed, and the reference one is slow.
for pkg in python3-torch python3-numpy python3-matplotlib libopenblas0-pthread; do
    dpkg -s "$pkg" >/dev/null 2>&1 || missing="$missing $pkg"
done
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing
