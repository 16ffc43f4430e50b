#!/usr/bin/env bash
# Installs every system package the build and the tests need on Debian 12.
# Idempotent: when everything is present it only checks and returns in a second or two.
set -euo pipefail

need_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# package list: native build, cross build, Wine under a virtual display, peers for tests
pkgs=(cmake make g++ googletest libgtest-dev clang libclang-rt-14-dev
      g++-mingw-w64-i686 wine wine32:i386 wine64 xvfb x11-utils locales icoutils
      lhasa jlha-utils p7zip-full hyperfine)

missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    need_root dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  need_root apt-get update -qq
  need_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Japanese locale: Wine takes code page 932 and the Japanese resources from it
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  echo "install-deps: generating ja_JP.UTF-8"
  need_root sed -i 's/^# *ja_JP.UTF-8/ja_JP.UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | need_root tee -a /etc/locale.gen >/dev/null
  need_root locale-gen >/dev/null
fi
exit 0
