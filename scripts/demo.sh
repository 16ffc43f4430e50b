#!/usr/bin/env bash
# The main job on a bundled sample: archive samples/hello with the peer tool `lha`, pack it
# into a self-extracting package with the host tool, inspect it, and start it under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
zaroza=build/host/zaroza
stub=build/win32/zaroza-sfx.exe
demo=build/demo
rm -rf "$demo"
mkdir -p "$demo"

step() { printf '\n== %s\n' "$*"; }

step "archive samples/hello with lha (-lh5-, header level 2)"
(cd samples && lha a2q "$root/$demo/hello.lzh" hello >/dev/null)
ls -l "$demo/hello.lzh"

step "pack it: $zaroza pack"
"$zaroza" pack --stub "$stub" -o "$demo/hello-setup.exe" --dest '%temp%' \
  --no-open-folder "$demo/hello.lzh"

step "inspect it: $zaroza info"
"$zaroza" info "$demo/hello-setup.exe"

step "list and test its members: $zaroza list / test"
"$zaroza" list "$demo/hello-setup.exe"
"$zaroza" test "$demo/hello-setup.exe"

step "start the package under Wine (32-bit prefix, virtual display)"
# shellcheck source=scripts/wine-env.sh
. scripts/wine-env.sh
trap zaroza_wine_stop EXIT
if ! zaroza_wine_start; then
  echo "demo: Wine cannot run here; the package above is ready to copy to a Windows machine"
  exit 0
fi
set +e
ZAROZA_WINE_TIMEOUT=120 scripts/wine-run.sh "$demo/hello-setup.exe"
rc=$?
set -e
echo "package exit code: $rc"
echo "(the stub opens its payload and merges the block; extraction is the next step of the project)"
