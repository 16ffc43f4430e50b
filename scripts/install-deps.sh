#!/usr/bin/env bash
# Installs every system package the build and the tests need on Debian 12.
# Idempotent: when everything is present it only checks and returns in a second or two.
set -euo pipefail

need_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# package list: native build, cross build, Wine under a virtual display with Wine's own
# and Japanese fonts, screenshots, signing, peers for tests
pkgs=(cmake make g++ googletest libgtest-dev clang libclang-rt-14-dev
      g++-mingw-w64-i686 wine wine32:i386 wine64 fonts-wine xvfb x11-utils locales icoutils
      fonts-ipafont-gothic imagemagick osslsigncode openssl
      lhasa jlha-utils p7zip-full hyperfine)
# --bench: javac too, with which the decode benchmark writes its -lh1-, -lh3-, -lzs- and
# -lz5- archives through jLHA (not needed to build or test)
[ "${1:-}" = --bench ] && pkgs+=(openjdk-17-jdk-headless)

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
  # A mirror in the middle of a sync fails one index ("File has unexpected size ... Mirror
  # sync in progress?") and apt-get update fails as a whole: try a few times, then go on
  # with the lists that did load.
  update_log=$(mktemp)
  for attempt in 1 2 3 4; do
    need_root apt-get update -qq >"$update_log" 2>&1 && break
    [ "$attempt" -lt 4 ] && { echo "install-deps: apt-get update failed; trying again in 30 s"; sleep 30; }
  done
  if ! need_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
    failed_index=$(grep -o 'Failed to fetch [^ ]*' "$update_log" | head -n1 | cut -d' ' -f4)
    rm -f "$update_log"
    echo "install-deps: cannot install ${missing[*]}${failed_index:+: the package index $failed_index did not load (the mirror may be mid-update)}; run make test again later" >&2
    exit 1
  fi
  rm -f "$update_log"
fi

# Japanese locale: Wine takes code page 932 and the Japanese resources from it
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  echo "install-deps: generating ja_JP.UTF-8"
  need_root sed -i 's/^# *ja_JP.UTF-8/ja_JP.UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | need_root tee -a /etc/locale.gen >/dev/null
  need_root locale-gen >/dev/null
fi
# Wine's 32-bit side is a 32-bit Linux program. Some virtual machines cannot execute
# those natively; qemu's user-mode emulator, registered for i386 ELF files, runs them.
# Debian 12's own qemu (7.2) runs `wine --version` but not the set-up of a prefix on newer
# kernels ("wine client error: read: Bad address"); the one in bookworm-backports (10.x)
# does, so that one is taken.
binfmt=/proc/sys/fs/binfmt_misc
if ! /usr/lib/wine/wine --version >/dev/null 2>&1 || grep -qs '^interpreter .*qemu-i386' "$binfmt/qemu-i386"; then
  qemu_version=$(dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null || true)
  if ! dpkg --compare-versions "${qemu_version:-0}" ge 1:8; then
    echo "install-deps: 32-bit programs run through qemu here; installing qemu-user-static from bookworm-backports"
    export DEBIAN_FRONTEND=noninteractive
    backports=/etc/apt/sources.list.d/zaroza-backports.sources
    if [ ! -f "$backports" ]; then
      printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
        need_root tee "$backports" >/dev/null
      need_root apt-get update -qq >/dev/null 2>&1 || true
    fi
    need_root apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user-static >/dev/null ||
      need_root apt-get install -y -qq --no-install-recommends qemu-user-static >/dev/null
    # a registration holds the emulator it was made with open: made again for the new one
    [ -e "$binfmt/qemu-i386" ] && echo -1 | need_root tee "$binfmt/qemu-i386" >/dev/null
  fi
  [ -e "$binfmt/register" ] || need_root mount -t binfmt_misc binfmt_misc "$binfmt" || true
  if [ ! -e "$binfmt/qemu-i386" ] && [ -e "$binfmt/register" ]; then
    echo "install-deps: registering qemu-i386 for 32-bit ELF files"
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      | need_root tee "$binfmt/register" >/dev/null
  fi
  /usr/lib/wine/wine --version >/dev/null 2>&1 || echo "install-deps: warning: Wine's 32-bit side still does not start" >&2
fi
exit 0
