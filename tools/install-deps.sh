#!/usr/bin/env bash
# Installs what the build and the tests need, skipping what is already present.
# Runs as root on a fresh Debian machine (CI) or a developer's machine.
set -euo pipefail

# "command-or-file package": a tool found on PATH (or a file that exists) needs no install.
wanted=(
  "cmake cmake"
  "ninja ninja-build"
  "make make"
  "flock util-linux"
  "x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64"
  "x86_64-w64-mingw32-windres binutils-mingw-w64-x86-64"
  "x86_64-w64-mingw32-dlltool binutils-mingw-w64-x86-64"
  "gendef mingw-w64-tools"
  "wine wine"
  "/usr/lib/wine/wine64 wine64"
  "clang++ clang"
  "/usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a libclang-rt-14-dev"
  "/usr/src/googletest/CMakeLists.txt googletest"
  "npm npm"
  "wixl wixl"
  "sha256sum coreutils"
  "/usr/share/i18n/locales/ja_JP locales"
)

missing=()
for entry in "${wanted[@]}"; do
  probe=${entry% *}
  package=${entry#* }
  if [[ $probe == /* ]]; then
    [ -e "$probe" ] && continue
  else
    command -v "$probe" >/dev/null 2>&1 && continue
  fi
  [[ " ${missing[*]-} " == *" $package "* ]] || missing+=("$package")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]} (run as root to install them)" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q "${missing[@]}"
