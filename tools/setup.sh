#!/bin/bash
# Installs everything the build and the tests need on a fresh Debian 12 machine
# (run as root) and fetches TinyXML's Debian source package into third_party/.
# Safe to run again: every step checks first.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
  wine wine64 wixl msitools
  xvfb xauth x11-apps imagemagick icoutils fonts-wine fonts-dejavu-core fonts-liberation
  googletest dpkg-dev python3 osslsigncode openssl gnuplot-nox nsis strace
  g++-multilib
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

need_src=0
if ! grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  need_src=1
fi
if [ ! -f "$root/third_party/tinyxml/tinyxml.h" ] && [ "$need_src" = 1 ]; then
  # apt-get source needs a deb-src entry; mirror the machine's own archive.
  uri=$(grep -hoE '^URIs: *\S+' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -1 | awk '{print $2}')
  uri=${uri:-http://deb.debian.org/debian}
  cat > /etc/apt/sources.list.d/rizezuvu-src.sources <<SRC
Types: deb-src
URIs: $uri
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  missing+=(__update__)
fi

# Wine's 32-bit half, for the 32-bit program and the 32-bit packages that
# wixl builds (a WoW64 prefix, as on 64-bit Windows).
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  missing+=(__update__)
fi
dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed' || missing+=(wine32:i386)

if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  real=()
  for p in "${missing[@]}"; do [ "$p" = __update__ ] || real+=("$p"); done
  if [ ${#real[@]} -gt 0 ]; then
    apt-get install -y -qq --no-install-recommends "${real[@]}" >/dev/null
  fi
fi

# qemu-i386-static, which runs the 32-bit build of the core's tests (this
# kernel starts no 32-bit programs). It is unpacked from Debian's package,
# not installed: installing qemu-user-static registers binfmt handlers (its
# postinst through binfmt-support, systemd through its trigger on
# /usr/lib/binfmt.d), and the tests name the emulator instead.
qemu="$root/third_party/qemu/qemu-i386-static"
if [ ! -x "$qemu" ]; then
  work=$(mktemp -d)
  chmod 755 "$work"  # apt's download user writes there
  if ! (cd "$work" && apt-get download -qq qemu-user-static >/dev/null 2>&1); then
    apt-get update -qq
    (cd "$work" && apt-get download -qq qemu-user-static >/dev/null)
  fi
  deb=$(ls "$work"/qemu-user-static_*.deb | head -1)
  dpkg-deb -x "$deb" "$work/unpacked"
  mkdir -p "$(dirname "$qemu")"
  cp "$work/unpacked/usr/bin/qemu-i386-static" "$qemu.new"
  dpkg-deb -f "$deb" Version > "$(dirname "$qemu")/VERSION"
  mv "$qemu.new" "$qemu"
  rm -rf "$work"
fi

# TinyXML from Debian's source package, with Debian's patches except the one
# that forces TIXML_USE_STL on: the program is built without the STL option.
if [ ! -f "$root/third_party/tinyxml/tinyxml.h" ]; then
  work=$(mktemp -d)
  (cd "$work" && apt-get source -qq --download-only tinyxml >/dev/null)
  dsc=$(ls "$work"/tinyxml_*.dsc | head -1)
  (cd "$work" && dpkg-source --skip-patches -x "$dsc" src >/dev/null)
  src="$work/src"
  if [ -f "$src/debian/patches/series" ]; then
    while read -r patch; do
      case "$patch" in ''|\#*) continue ;; esac
      case "$patch" in *enforce-use-stl*) continue ;; esac
      patch -s -d "$src" -p1 < "$src/debian/patches/$patch"
    done < "$src/debian/patches/series"
  fi
  mkdir -p "$root/third_party/tinyxml"
  cp "$src"/tinyxml.h "$src"/tinystr.h "$src"/tinyxml.cpp "$src"/tinystr.cpp \
     "$src"/tinyxmlerror.cpp "$src"/tinyxmlparser.cpp "$root/third_party/tinyxml/"
  rm -rf "$work"
fi
echo "setup: done"
