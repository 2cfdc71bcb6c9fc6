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
  "i686-w64-mingw32-g++-posix g++-mingw-w64-i686-posix"
  "i686-w64-mingw32-windres binutils-mingw-w64-i686"
  "i686-w64-mingw32-dlltool binutils-mingw-w64-i686"
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

# 32-bit Wine (wine32:i386) runs the x86 build's programs under WoW64 in the same 64-bit prefix:
# the tests of the x86 agent family need it, the build does not. It comes from the i386
# architecture, whose package index can lag the amd64 one for a while (apt-get update then says
# "Mirror sync in progress?" for an i386 list and wine32:i386 cannot be resolved): the update and
# the install are tried a few times with a pause. When they never succeed, that is said plainly
# and the rest goes on; "make test-x86" says again what is missing. A failed attempt is
# remembered for a while, so that every build does not wait through the tries again
# (FERRY_RETRY_WINE32=1 tries at once).
WINE32_LOADER=/usr/lib/wine/wine
WINE32_TRIES=${WINE32_TRIES:-3}
WINE32_PAUSE=${WINE32_PAUSE:-20}
WINE32_STAMP=/var/tmp/ferry-wine32-unavailable
WINE32_QUIET_HOURS=6

# apt-get update, tolerating lists that fail to download (they are reported): the install that
# follows says whether what it needs was found.
apt_update() {
  local log=$1
  if apt-get update -q >"$log" 2>&1; then
    return 0
  fi
  grep -E '^(E|W):' "$log" >&2 || tail -n 5 "$log" >&2
  return 1
}

install_wine32() {
  [ -x "$WINE32_LOADER" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: wine32:i386 is missing (run as root to install it); the x86 tests cannot run" >&2
    return 0
  fi
  if [ -f "$WINE32_STAMP" ] && [ "${FERRY_RETRY_WINE32:-0}" != 1 ] &&
     [ $(( $(date +%s) - $(stat -c %Y "$WINE32_STAMP") )) -lt $(( WINE32_QUIET_HOURS * 3600 )) ]; then
    echo "install-deps: wine32:i386 could not be installed at $(date -r "$WINE32_STAMP" '+%F %T')" \
         "(not tried again for ${WINE32_QUIET_HOURS} h; FERRY_RETRY_WINE32=1 tries now): $(head -n 1 "$WINE32_STAMP")" >&2
    return 0
  fi
  export DEBIAN_FRONTEND=noninteractive
  local added_i386=0
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "install-deps: adding the i386 architecture for wine32:i386"
    dpkg --add-architecture i386
    added_i386=1
  fi
  local log attempt update_said install_said unmet
  log=$(mktemp)
  for attempt in $(seq 1 "$WINE32_TRIES"); do
    update_said=""
    if ! apt_update "$log" 2>/dev/null; then
      update_said=$(grep -E '^E:' "$log" | head -n 1)
    fi
    # --no-remove: never trade an installed package (wine64 above all) for the 32-bit one.
    if apt-get install -y -q --no-remove wine32:i386 >"$log" 2>&1 && [ -x "$WINE32_LOADER" ]; then
      echo "install-deps: wine32:i386 installed (try $attempt)"
      rm -f "$log" "$WINE32_STAMP"
      return 0
    fi
    install_said=$(grep -E '^E:' "$log" | head -n 1)
    unmet=$(grep -cE '^ *[^ ]+ : Depends:' "$log" || true)
    [ "${unmet:-0}" -gt 0 ] && install_said="$install_said ($unmet packages with unmet dependencies)"
    echo "install-deps: wine32:i386, try $attempt of $WINE32_TRIES failed: ${install_said:-$(tail -n 1 "$log")}" >&2
    [ -n "$update_said" ] && echo "install-deps:   apt-get update said: $update_said" >&2
    [ "$attempt" -lt "$WINE32_TRIES" ] && sleep "$WINE32_PAUSE"
  done
  rm -f "$log"
  # An i386 index that cannot be fetched fails every later apt-get update: the architecture this
  # run added goes again (nothing of it was installed), and the next try adds it anew.
  if [ "$added_i386" = 1 ] && [ -z "$(dpkg-query -W -f '${Architecture}\n' 2>/dev/null | grep -x i386)" ]; then
    dpkg --remove-architecture i386 && apt-get update -q >/dev/null 2>&1 || true
  fi
  printf '%s\n' "apt-get install wine32:i386: ${install_said:-failed}${update_said:+ / apt-get update: $update_said}" >"$WINE32_STAMP"
  echo "install-deps: wine32:i386 could not be installed after $WINE32_TRIES tries. The x86 build and its" \
       "checks go on; the tests that run 32-bit programs (make test-x86) cannot run on this machine." >&2
  return 0
}

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
  install_wine32
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]} (run as root to install them)" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
update_log=$(mktemp)
# A list that failed (an i386 one that lags, say) does not stop the install of the rest.
apt_update "$update_log" || echo "install-deps: apt-get update reported the errors above; going on with the lists it has" >&2
rm -f "$update_log"
apt-get install -y -q "${missing[@]}"
install_wine32
