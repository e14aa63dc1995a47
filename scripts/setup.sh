#!/usr/bin/env bash
# Installs everything both builds need, from Debian's archive only, and builds the
# MinGW parts that Debian does not ship (Boost.Context, libpng, GoogleTest) into a cache
# outside the repository. Idempotent: a second run on the same machine takes seconds.
set -euo pipefail

CACHE=${VELQUOR_CACHE:-/opt/velquor-deps}
STAMP_PKGS=$CACHE/.packages-v4

need_root() {
  if [ "$(id -u)" != 0 ]; then
    echo "setup: run as root (it installs Debian packages)" >&2
    exit 1
  fi
}

PACKAGES=(
  g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  wine wine32:i386 xvfb xauth
  libgl1:i386 libgl1-mesa-dri:i386 libglx-mesa0:i386
  libx11-6:i386 libxext6:i386 libxrandr2:i386 libxrender1:i386 libxi6:i386
  libxcursor1:i386 libfreetype6:i386 libfontconfig1:i386
  libboost-dev libboost-context-dev googletest cmake ninja-build
  libgif-dev libstb-dev libpng-dev zlib1g-dev libz-mingw-w64-dev python3-pil
  clang-14 libclang-rt-14-dev
  dpkg-dev python3 zip unzip
)

install_packages() {
  if [ -f "$STAMP_PKGS" ]; then
    local missing=0
    for p in "${PACKAGES[@]}"; do
      dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || { missing=1; break; }
    done
    [ -x /usr/bin/qemu-i386 ] || missing=1
    [ "$missing" = 0 ] && return 0
  fi
  need_root
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  # A deb-src entry so that Debian's own Boost source can be fetched.
  if ! grep -rqs '^deb-src\|^Types:.*deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
      sed -i 's/^Types: deb$/Types: deb deb-src/' /etc/apt/sources.list.d/debian.sources
    else
      grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' > /etc/apt/sources.list.d/velquor-src.list
    fi
  fi
  # qemu's user-mode emulator from backports: only used where the kernel cannot run 32-bit
  # programs itself (bookworm's qemu 7.2 mishandles Wine's address-space reservation).
  if [ ! -f /etc/apt/sources.list.d/velquor-backports.sources ]; then
    cat > /etc/apt/sources.list.d/velquor-backports.sources <<'SRC'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  fi
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${PACKAGES[@]}" >/dev/null
  apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user >/dev/null
  mkdir -p "$CACHE"
  touch "$STAMP_PKGS"
}

build_boost_context() {
  local out=$CACHE/boost-context
  [ -f "$out/libboost_context_mingw.a" ] && return 0
  need_root
  local work=$CACHE/boost-src
  mkdir -p "$work" "$out"
  if [ ! -d "$work/src" ]; then
    (cd "$work" && rm -rf ./*.dsc ./*.tar.* && apt-get source --download-only boost1.74 >/dev/null 2>&1 \
      || { apt-get update -qq && apt-get source --download-only boost1.74 >/dev/null; })
    local tarball
    tarball=$(ls "$work"/boost1.74_*.orig.tar.* | head -n1)
    mkdir -p "$work/src"
    tar -xf "$tarball" -C "$work/src" --strip-components=1 --wildcards '*/libs/context/src/*'
  fi
  local asm=$work/src/libs/context/src/asm
  local objs=()
  for f in jump_i386_ms_pe_gas.asm make_i386_ms_pe_gas.asm ontop_i386_ms_pe_gas.asm; do
    local o=$out/${f%.asm}.o
    i686-w64-mingw32-gcc -c -x assembler-with-cpp "$asm/$f" -o "$o"
    # The assembler files carry linker directives that export their symbols.
    i686-w64-mingw32-objcopy --remove-section .drectve "$o"
    objs+=("$o")
  done
  rm -f "$out/libboost_context_mingw.a"
  i686-w64-mingw32-ar rcs "$out/libboost_context_mingw.a" "${objs[@]}"
}

# libpng for MinGW from Debian's own source (zlib comes from libz-mingw-w64-dev): its C files
# compiled with the configuration libpng ships, into one static library and its three headers.
build_libpng_mingw() {
  local out=$CACHE/libpng-mingw
  [ -f "$out/lib/libpng16.a" ] && return 0
  need_root
  local work=$CACHE/libpng-src
  mkdir -p "$work" "$out/lib" "$out/include" "$out/obj"
  if [ ! -d "$work/src" ]; then
    # Only the upstream tarball is used: Debian's own patch set may be gone from the mirror.
    (cd "$work" && rm -rf ./*.dsc ./*.tar.* && apt-get source --download-only libpng1.6 >/dev/null 2>&1) || true
    if ! ls "$work"/libpng1.6_*.orig.tar.* >/dev/null 2>&1; then
      apt-get update -qq
      (cd "$work" && apt-get source --download-only libpng1.6 >/dev/null 2>&1) || true
    fi
    local tarball
    tarball=$(ls "$work"/libpng1.6_*.orig.tar.* | head -n1)
    mkdir -p "$work/src"
    tar -xf "$tarball" -C "$work/src" --strip-components=1
  fi
  local src=$work/src
  cp "$src/scripts/pnglibconf.h.prebuilt" "$out/include/pnglibconf.h"
  cp "$src/png.h" "$src/pngconf.h" "$out/include/"
  local objs=()
  for f in png pngerror pngget pngmem pngpread pngread pngrio pngrtran pngrutil pngset pngtrans \
           pngwio pngwrite pngwtran pngwutil; do
    i686-w64-mingw32-gcc -O2 -c -I"$out/include" "$src/$f.c" -o "$out/obj/$f.o"
    objs+=("$out/obj/$f.o")
  done
  rm -f "$out/lib/libpng16.a"
  i686-w64-mingw32-ar rcs "$out/lib/libpng16.a" "${objs[@]}"
}

boost_include_link() {
  # A folder holding only a link to Boost, so the cross compiler never sees /usr/include.
  local inc=$CACHE/boost-include
  [ -L "$inc/boost" ] && return 0
  need_root
  mkdir -p "$inc"
  ln -sfn /usr/include/boost "$inc/boost"
}

wine_prefix() {
  export WINEPREFIX=${WINEPREFIX:-$CACHE/wineprefix}
  export WINEDEBUG=-all
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    # Creating the prefix once here keeps the first test from paying for it.
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 || true
    wineserver -w 2>/dev/null || true
  fi
  # A crash in a test program must end it in seconds: Wine's crash dialog would wait for a
  # click that never comes (under Xvfb) until CTest's timeout. The debugger then only prints.
  if ! grep -q '"ShowCrashDialog"=dword:00000000' "$WINEPREFIX/user.reg" 2>/dev/null; then
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || true
    wineserver -w 2>/dev/null || true
  fi
}

# Some kernels are built without 32-bit support: Wine's 32-bit loader then cannot start.
# Register qemu's i386 emulator for 32-bit ELF programs; Wine itself runs unchanged on it.
enable_i386_programs() {
  /usr/lib/wine/wine --version >/dev/null 2>&1 && return 0
  need_root
  [ -f /proc/sys/fs/binfmt_misc/register ] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  [ -e /proc/sys/fs/binfmt_misc/velquor-i386 ] && echo -1 > /proc/sys/fs/binfmt_misc/velquor-i386
  printf '%s' ':velquor-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
    > /proc/sys/fs/binfmt_misc/register
  /usr/lib/wine/wine --version >/dev/null 2>&1 || { echo "setup: cannot run 32-bit programs" >&2; exit 1; }
}

install_packages
enable_i386_programs
build_boost_context
build_libpng_mingw
boost_include_link
wine_prefix
echo "setup: ready (cache $CACHE)"
