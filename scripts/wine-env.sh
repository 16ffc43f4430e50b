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

zaroza_now() { date +%s.%N; }
zaroza_since() { awk -v a="$1" -v b="$(zaroza_now)" 'BEGIN { printf "%.1f", b - a }'; }

# Wine's 32-bit loader is a 32-bit Linux program; a kernel without 32-bit emulation cannot
# start it at all, whatever the prefix holds.
zaroza_wine32_possible() {
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

zaroza_wine_common_env() {
  export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
  export HOME=${HOME:-/root}
  # Wine refuses a prefix owned by someone else; root in CI owns everything under build/.
  unset WINESERVER WINELOADER
}

zaroza_make_template() {
  local t0 tmp
  t0=$(zaroza_now)
  tmp="$zaroza_template.new"
  rm -rf "$tmp"
  mkdir -p "$(dirname "$tmp")"
  (
    export WINEPREFIX="$tmp" DISPLAY=""
    # wineboot brings up no window; the display is not needed here.
    timeout "${ZAROZA_WINEBOOT_TIMEOUT:-300}" wineboot -i >/dev/null 2>&1 || exit 1
    # Without a window manager every window close waits for one unless Managed=N.
    timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || exit 1
    timeout 120 wineserver -w || exit 1
  ) || { echo "wine-env: creating the template prefix failed" >&2; rm -rf "$tmp"; return 1; }
  touch "$tmp/.zaroza-template"
  rm -rf "$zaroza_template"
  mv "$tmp" "$zaroza_template"
  echo "wine-env: template prefix created in $(zaroza_since "$t0") s"
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
  if [ ! -f "$zaroza_template/.zaroza-template" ]; then
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
  timeout 120 wine cmd /c exit >/dev/null 2>&1 || { echo "wine-env: Wine does not start" >&2; return 1; }
  echo "wine-env: wineserver warm in $(zaroza_since "$t0") s (display $DISPLAY)"
  cat >"$zaroza_session" <<EOS
export WINEPREFIX='$WINEPREFIX' DISPLAY='$DISPLAY' WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES='mscoree=;mshtml='
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
