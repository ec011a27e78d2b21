#!/bin/sh
# Runs a Windows program with the Wine loader that tools/wine_env.sh chose
# (CMake's emulator for the cross-compiled tests).
exec "${WINE:-wine}" "$@"
