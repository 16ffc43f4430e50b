# Sourced by scripts/test-win32.sh (and by hand for a debugging session):
#   source scripts/wine-env.sh; zaroza_wine_start; ...; zaroza_wine_stop
# One fresh 32-bit prefix per test run under build/win32/, copied from a template prefix
# cached under build/; a private Xvfb display; a persistent, warm wineserver.
# shellcheck shell=bash

zaroza_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
zaroza_template="$zaroza_root/build/wine-template"
zaroza_prefix="$zaroza_root/build/win32/wineprefix"
zaroza_session="$zaroza_root/build/win32/wine-session.env"
zaroza_xvfb_pid=""

# Bump when the template's content changes, so cached templates are made again.
zaroza_template_mark=".zaroza-template-4"

zaroza_now() { date +%s.%N; }
zaroza_since() { awk -v a="$1" -v b="$(zaroza_now)" 'BEGIN { printf "%.1f", b - a }'; }

# Wine's 32-bit loader is a 32-bit Linux program; a kernel without 32-bit emulation cannot
# start it at all, whatever the prefix holds.
zaroza_wine32_possible() {
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Inside a private user namespace: a binfmt_misc instance of its own that starts 32-bit
# x86 Linux programs through qemu's user emulator.
zaroza_register_i386_emulation() {
  local fs=/proc/sys/fs/binfmt_misc
  mount -t binfmt_misc binfmt_misc "$fs" || return 1
  [ -e "$fs/zaroza-i386" ] && return 0
  printf '%s' ':zaroza-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
    >"$fs/register" || return 1
  zaroza_wine32_possible
}

zaroza_wine_common_env() {
  # Time limits stretch when the 32-bit side runs under qemu's CPU emulation (an enabled
  # binfmt_misc entry hands 32-bit programs to it before the kernel's own loader).
  if [ -z "${ZAROZA_TIME_FACTOR:-}" ]; then
    ZAROZA_TIME_FACTOR=1
    if grep -qs '^interpreter .*qemu-i386' /proc/sys/fs/binfmt_misc/* &&
       grep -qs '^enabled' /proc/sys/fs/binfmt_misc/status; then
      ZAROZA_TIME_FACTOR=10
    fi
  fi
  export ZAROZA_TIME_FACTOR
  export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
  export HOME=${HOME:-/root}
  # Wine refuses a prefix owned by someone else; root in CI owns everything under build/.
  unset WINESERVER WINELOADER
}

zaroza_make_template() {
  local t0 tmp status=0
  mkdir -p "$(dirname "$zaroza_template")"
  # Two test runs at once must not build the template in the same place.
  exec 9>"$zaroza_template.lock"
  flock 9
  if [ -f "$zaroza_template/$zaroza_template_mark" ]; then
    exec 9>&-
    return 0
  fi
  t0=$(zaroza_now)
  tmp=$(mktemp -d "$zaroza_template.XXXXXX")
  (
    export WINEPREFIX="$tmp" DISPLAY=""
    # No desktop menu entries for the prefix: they cost time and nobody looks at them.
    export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
    # wineboot brings up no window; the display is not needed here.
    timeout "${ZAROZA_WINEBOOT_TIMEOUT:-$((300 * ZAROZA_TIME_FACTOR))}" wineboot -i >/dev/null 2>&1 || exit 1
    # Without a window manager every window close waits for one unless Managed=N.
    timeout $((60 * ZAROZA_TIME_FACTOR)) wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
      >/dev/null 2>&1 || exit 1
    # This Wine does not read the fonts of its own data folder (Tahoma, Marlett for the
    # caption buttons); in the prefix's font folder it finds them.
    cp /usr/share/wine/fonts/* "$tmp/drive_c/windows/Fonts/" 2>/dev/null
    zaroza_map_japanese_fonts "$tmp" || exit 1
    timeout $((120 * ZAROZA_TIME_FACTOR)) wineserver -w || exit 1
  ) || status=1
  if [ $status -eq 0 ]; then
    touch "$tmp/$zaroza_template_mark"
    rm -rf "$zaroza_template"
    mv "$tmp" "$zaroza_template"
    echo "wine-env: template prefix created in $(zaroza_since "$t0") s"
  else
    echo "wine-env: creating the template prefix failed" >&2
    WINEPREFIX="$tmp" timeout 30 wineserver -k >/dev/null 2>&1
    rm -rf "$tmp"
  fi
  exec 9>&-
  return $status
}

# The Japanese templates name "ＭＳ Ｐゴシック" and the Japanese message boxes "MS UI
# Gothic"; neither exists here, so they are mapped to the IPA fonts. Written as a UTF-16
# registry file: the names must not depend on the locale this script runs under.
zaroza_map_japanese_fonts() {
  local file="$1/drive_c/fonts.reg"
  {
    printf '\xef\xbb\xbfWindows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
    printf '"ＭＳ Ｐゴシック"="IPAPGothic"\r\n"ＭＳ ゴシック"="IPAGothic"\r\n'
    printf '"MS UI Gothic"="IPAPGothic"\r\n"MS PGothic"="IPAPGothic"\r\n"MS Gothic"="IPAGothic"\r\n'
  } | iconv -f UTF-8 -t UTF-16LE >"$file" || return 1
  timeout $((60 * ZAROZA_TIME_FACTOR)) wine regedit /S 'C:\fonts.reg' >/dev/null 2>&1 || return 1
  rm -f "$file"
}

zaroza_start_xvfb() {
  local fifo display
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  # -displayfd lets Xvfb pick a free display number and tell us which.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  zaroza_xvfb_pid=$!
  display=$(timeout 20 head -n1 "$fifo")
  rm -f "$fifo"
  if [ -z "$display" ]; then
    echo "wine-env: Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=":$display"
}

zaroza_wine_start() {
  local t0
  zaroza_wine_common_env
  if ! zaroza_wine32_possible; then
    echo "wine-env: this machine cannot run 32-bit Linux programs (Wine's 32-bit loader fails" >&2
    echo "wine-env: to start; the kernel's 32-bit emulation is off), so no Windows program can run" >&2
    return 3
  fi
  if [ ! -f "$zaroza_template/$zaroza_template_mark" ]; then
    zaroza_make_template || return 1
  fi
  t0=$(zaroza_now)
  rm -rf "$zaroza_prefix"
  mkdir -p "$(dirname "$zaroza_prefix")"
  cp -a "$zaroza_template" "$zaroza_prefix"
  export WINEPREFIX="$zaroza_prefix"
  echo "wine-env: prefix copied in $(zaroza_since "$t0") s"
  zaroza_start_xvfb || return 1
  t0=$(zaroza_now)
  # A persistent server started before the tests: otherwise each test waits for the
  # lingering server that holds its output pipe open.
  wineserver -p
  timeout $((120 * ZAROZA_TIME_FACTOR)) wine cmd /c exit >/dev/null 2>&1 || { echo "wine-env: Wine does not start" >&2; return 1; }
  echo "wine-env: wineserver warm in $(zaroza_since "$t0") s (display $DISPLAY)"
  cat >"$zaroza_session" <<EOS
export WINEPREFIX='$WINEPREFIX' DISPLAY='$DISPLAY' ZAROZA_TIME_FACTOR=$ZAROZA_TIME_FACTOR WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES='mscoree=;mshtml='
EOS
}

zaroza_wine_stop() {
  rm -f "$zaroza_session"
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    timeout 30 wineserver -k >/dev/null 2>&1 || true
  fi
  if [ -n "$zaroza_xvfb_pid" ]; then
    kill "$zaroza_xvfb_pid" 2>/dev/null || true
    wait "$zaroza_xvfb_pid" 2>/dev/null || true
    zaroza_xvfb_pid=""
  fi
}
