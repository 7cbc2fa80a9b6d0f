#!/usr/bin/env bash
# The installer under Wine, in a prefix of its own made from the rig's: a
# silent install into a fake player folder that its uninstall entry names, a
# second install over the first that keeps the settings files, and an
# uninstall that leaves the prefix as it was, settings aside.
# Usage: installer_test.sh INSTALLER RIG_PREFIX
set -euo pipefail
installer=$1 base=$2
work=$(mktemp -d)
export WINEPREFIX=$work/prefix
cleanup() { wineserver -k 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAILED: $*"; exit 1; }

# Hard links make the copy instant; Wine replaces its registry files rather
# than writing into them.
mkdir -p "$WINEPREFIX"
cp -al "$base/drive_c" "$WINEPREFIX/"
cp -a "$base"/*.reg "$base/dosdevices" "$WINEPREFIX/"
wine wineboot.exe >/dev/null 2>&1 || true

c="$WINEPREFIX/drive_c"
player="$c/Program Files/Winamp"
mkdir -p "$player/Plugins"
: >"$player/winamp.exe"
wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Winamp' /v UninstallString \
  /d '"C:\Program Files\Winamp\UninstWA.exe"' /f >/dev/null 2>&1

# What the prefix holds: every file and registry value the installer may touch.
snapshot() {
  (cd "$c" && find "Program Files" "Program Files (x86)" 2>/dev/null | sort)
  for key in 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' \
             'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'; do
    wine reg query "$key" /s 2>/dev/null | tr -d '\r'
  done
}
before=$(snapshot)

cp "$installer" "$work/setup.exe"
setup="Z:${work//\//\\}\\setup.exe"
wine "$setup" /S /NOSTART >/dev/null 2>&1 || fail "the first install ended with $?"
for f in "$player/Plugins/gen_orvela.dll" "$player/Plugins/in_orvela.dll" \
         "$c/Program Files/Orvela/uninstall.exe"; do
  [[ -f "$f" ]] || fail "not installed: $f"
done
[[ -f "$c/Program Files/Orvela/orvela_agent.exe" ]] || fail "the agent is not installed"
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v 'Orvela agent' 2>/dev/null |
  tr -d '\r' | grep -q 'C:\\Program Files\\Orvela\\orvela_agent.exe' ||
  fail "no start entry for the agent"
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvela' /v DisplayVersion \
  2>/dev/null | tr -d '\r' | grep -q "$ORVELA_VERSION" || fail "no uninstall entry of $ORVELA_VERSION"

# Settings written meanwhile survive a second install.
echo "[MAIN]" >"$player/Plugins/gen_orvela.ini"
echo "[AGENT]" >"$c/Program Files/Orvela/orvela_agent.ini"
wine "$setup" /S /NOSTART >/dev/null 2>&1 || fail "the second install ended with $?"
[[ "$(cat "$player/Plugins/gen_orvela.ini")" == "[MAIN]" ]] || fail "the browser's settings changed"
[[ "$(cat "$c/Program Files/Orvela/orvela_agent.ini")" == "[AGENT]" ]] || fail "the agent's settings changed"

# Without /NOSTART the agent starts; while it runs, an install says so (exit
# code 2) and changes nothing. Once the agent is told to close, it goes on.
wine "$setup" /S >/dev/null 2>&1 || fail "the third install ended with $?"
refused=
for _ in $(seq 20); do
  status=0
  wine "$setup" /S /NOSTART >/dev/null 2>&1 || status=$?
  [[ $status == 2 ]] && { refused=1; break; }
  sleep 0.5
done
[[ -n "$refused" ]] || fail "an install while the agent runs did not say so"
wine taskkill.exe /IM orvela_agent.exe >/dev/null 2>&1 || fail "the agent was not running"
for _ in $(seq 40); do
  status=0
  wine "$setup" /S /NOSTART >/dev/null 2>&1 || status=$?
  [[ $status == 0 ]] && break
  sleep 0.5
done
[[ $status == 0 ]] || fail "the install still refused after the agent closed ($status)"

# The uninstaller runs from a copy of itself and returns at once.
wine "C:\\Program Files\\Orvela\\uninstall.exe" /S >/dev/null 2>&1 || fail "the uninstall ended with $?"
for _ in $(seq 150); do
  [[ -e "$c/Program Files/Orvela/uninstall.exe" ]] || break
  sleep 0.2
done
wineserver -w
after=$(snapshot | grep -v -e 'gen_orvela.ini$' -e 'orvela_agent.ini$' -e '^Program Files/Orvela$')
if [[ "$before" != "$after" ]]; then
  diff <(echo "$before") <(echo "$after") || true
  fail "the uninstall left the prefix changed"
fi
[[ -f "$player/Plugins/gen_orvela.ini" && -f "$c/Program Files/Orvela/orvela_agent.ini" ]] ||
  fail "the uninstall removed settings"
echo "installed, installed again over it and uninstalled: the prefix is as it was, settings aside"
