#!/bin/sh
# Installs what the trainer needs from Debian's packages (run it with /usr/bin/python3).
# OpenBLAS: Debian's torch calls whichever BLAS is installed, and the reference one is slow.
exec "$(dirname "$0")/../scripts/need.sh" python3-torch python3-numpy python3-matplotlib libopenblas0-pthread
