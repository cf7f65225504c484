#!/bin/bash
# Installs what the build and the tests need on Debian 12, as root: Wine with
# its 32-bit and 64-bit loaders, the mingw-w64 i686 and x86_64 posix-thread
# compilers, widl and Wine's IDL files, GoogleTest sources, CMake, python3,
# wixl with msitools for the installer packages, and osslsigncode with
# openssl for signing them. Does nothing when all is there already.
set -euo pipefail

packages=(wine wine32:i386 wine64
          g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
          g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          mingw-w64-tools libwine-dev googletest cmake python3
          wixl wixl-data msitools osslsigncode openssl)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]}; run this as root to install them" >&2
  exit 1
fi
echo "installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
