#!/usr/bin/env bash
# The installer under Wine, in a prefix of its own made from the rig's: a
# silent install into the folder /D= names although the player's uninstall
# entry names another; installs into the entry's folder, again over it (the
# settings files stay), and once more starting the agent from the desktop's
# shell; the firewall rules each adds and its uninstaller removes; the
# uninstaller refusing while an agent runs and keeping its entries while a
# file is in use, and the installer refusing then, changing nothing; and a
# last uninstall that leaves the prefix as it was,
# settings aside. An x86 installer runs as on 64-bit Windows: its files go to
# Program Files (x86) and its registry entries to the 32-bit view.
# Usage: installer_test.sh INSTALLER RIG_PREFIX TEST_BINARIES
set -euo pipefail
installer=$1 base=$2 bin=$3
work=$(mktemp -d)
export WINEPREFIX=$work/prefix
cleanup() { wineserver -k 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAILED: $*"; exit 1; }
win() { local p=${1//\//\\}; echo "Z:$p"; }

# A copy, never hard links: without the rig's update stamp Wine updates this
# prefix first and rewrites its system files in place, which would rewrite
# the rig's own under the programs the other tests run there.
mkdir -p "$WINEPREFIX"
cp -a "$base/drive_c" "$WINEPREFIX/"
cp -a "$base"/*.reg "$base/dosdevices" "$WINEPREFIX/"
wine wineboot.exe >/dev/null 2>&1 || true

c="$WINEPREFIX/drive_c"
pf="Program Files" view=()
[[ "$installer" == *x86* ]] && { pf="Program Files (x86)"; view=(/reg:32); }
orvela="$c/$pf/Orvela" orvela_win="C:\\$pf\\Orvela"
player="$c/Program Files/Winamp" other="$c/Players/Winamp"
mkdir -p "$player/Plugins" "$other"
: >"$player/winamp.exe"
: >"$other/winamp.exe"
reg() { wine reg "$@" "${view[@]}" 2>/dev/null | tr -d '\r'; }
reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Winamp' /v UninstallString \
  /d '"C:\Program Files\Winamp\UninstWA.exe"' /f >/dev/null
uninstall_entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvela'

# The firewall command and the desktop's shell are stand-ins that record.
# (Wine prefers its own netsh.exe to the file in system32 unless told.)
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-};netsh.exe=n"
for sys in system32 syswow64; do
  [[ -d "$c/windows/$sys" ]] || continue
  rm -f "$c/windows/$sys/netsh.exe"
  cp "$bin/stand_in.exe" "$c/windows/$sys/netsh.exe"
done
netsh_calls() {
  for f in "$c"/windows/sys*/calls.txt; do [[ -f "$f" ]] && tr -d '\r' <"$f" && rm "$f"; done; true
}
mkdir "$work/shell"
cp "$bin/stand_in.exe" "$work/shell/"
stand_in() {
  rm -f "$work/shell/ready.txt"
  wine "$(win "$work/shell/stand_in.exe")" "$@" >/dev/null 2>&1 &
  for _ in $(seq 50); do [[ -e "$work/shell/ready.txt" ]] && return; sleep 0.2; done
  fail "the stand-in did not start"
}

# What the prefix holds: every file and registry value the installer may touch.
snapshot() {
  (cd "$c" && find "Program Files" "Program Files (x86)" 2>/dev/null | sort)
  for key in 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' \
             'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'; do
    reg query "$key" /s
  done
}
before=$(snapshot)

cp "$installer" "$work/setup.exe"
setup=$(win "$work/setup.exe")
# In place (_?=), the uninstaller waits and answers with its exit code. NSIS
# takes _?= and /D= only unquoted, and Wine quotes arguments with spaces.
printf '@"%s\\uninstall.exe" /S _?=%s\r\n@exit /b %%errorlevel%%\r\n' "$orvela_win" "$orvela_win" \
  >"$work/uninstall.bat"
uninstall_here() { wine cmd.exe /c "$(win "$work/uninstall.bat")" >/dev/null 2>&1; }

wine "$setup" /S /NOSTART '/D=C:\Players\Winamp' >/dev/null 2>&1 ||
  fail "the install with /D= ended with $?"
[[ -f "$other/Plugins/gen_orvela.dll" && ! -e "$player/Plugins/gen_orvela.dll" ]] ||
  fail "/D= was not followed while the player's uninstall entry exists"
uninstall_here || fail "the uninstall in place ended with $?"
[[ ! -e "$other/Plugins/gen_orvela.dll" ]] || fail "the uninstall left the plug-ins behind"
netsh_calls >/dev/null

wine "$setup" /S /NOSTART >/dev/null 2>&1 || fail "the first install ended with $?"
for f in "$player/Plugins/gen_orvela.dll" "$player/Plugins/in_orvela.dll" "$orvela/uninstall.exe"; do
  [[ -f "$f" ]] || fail "not installed: $f"
done
[[ -f "$orvela/orvela_agent.exe" ]] || fail "the agent is not installed"
reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v 'Orvela agent' |
  grep -qF "$orvela_win\\orvela_agent.exe" || fail "no start entry for the agent"
reg query "$uninstall_entry" /v DisplayVersion | grep -q "$ORVELA_VERSION" ||
  fail "no uninstall entry of $ORVELA_VERSION"
rules_of() {
  echo "advfirewall firewall delete rule name=\"Orvela agent requests (UDP 5146)\""
  echo "advfirewall firewall $1 rule name=\"Orvela agent requests (UDP 5146)\" dir=in action=allow protocol=UDP localport=5146 remoteip=localsubnet program=\"$orvela_win\\orvela_agent.exe\""
  echo "advfirewall firewall delete rule name=\"Orvela presence for Winamp (UDP 5145)\""
  echo "advfirewall firewall $1 rule name=\"Orvela presence for Winamp (UDP 5145)\" dir=in action=allow protocol=UDP localport=5145 remoteip=localsubnet program=\"C:\\Program Files\\Winamp\\winamp.exe\""
  echo "advfirewall firewall delete rule name=\"Orvela agent presence (UDP 5145)\""
  echo "advfirewall firewall $1 rule name=\"Orvela agent presence (UDP 5145)\" dir=in action=allow protocol=UDP localport=5145 remoteip=localsubnet program=\"$orvela_win\\orvela_agent.exe\""
}
diff <(rules_of add) <(netsh_calls) || fail "the firewall rules were not added as expected"

# Settings written meanwhile survive a second install.
echo "[MAIN]" >"$player/Plugins/gen_orvela.ini"
echo "[AGENT]" >"$orvela/orvela_agent.ini"
wine "$setup" /S /NOSTART >/dev/null 2>&1 || fail "the second install ended with $?"
[[ "$(cat "$player/Plugins/gen_orvela.ini")" == "[MAIN]" ]] || fail "the browser's settings changed"
[[ "$(cat "$orvela/orvela_agent.ini")" == "[AGENT]" ]] || fail "the agent's settings changed"

# Without /NOSTART the agent starts, from the shell as the user's programs do.
# While it runs, an install or an uninstall says so (exit code 2) and
# changes nothing. Once the agent is told to close, the install goes on.
stand_in
wine "$setup" /S >/dev/null 2>&1 || fail "the third install ended with $?"
refused=
for _ in $(seq 20); do
  status=0
  wine "$setup" /S /NOSTART >/dev/null 2>&1 || status=$?
  [[ $status == 2 ]] && { refused=1; break; }
  sleep 0.5
done
[[ -n "$refused" ]] || fail "an install while the agent runs did not say so"
status=0
uninstall_here || status=$?
[[ $status == 2 && -f "$orvela/orvela_agent.exe" ]] || fail "an uninstall while the agent runs ended with $status"
wine taskkill.exe /IM stand_in.exe >/dev/null 2>&1
for _ in $(seq 50); do [[ -s "$work/shell/children.txt" ]] && break; sleep 0.2; done
grep -qx 'orvela_agent.exe' <(tr -d '\r' <"$work/shell/children.txt" 2>/dev/null) ||
  fail "the agent was not started from the shell"
wine taskkill.exe /IM orvela_agent.exe >/dev/null 2>&1 || fail "the agent was not running"
for _ in $(seq 40); do
  status=0
  wine "$setup" /S /NOSTART >/dev/null 2>&1 || status=$?
  [[ $status == 0 ]] && break
  sleep 0.5
done
[[ $status == 0 ]] || fail "the install still refused after the agent closed ($status)"
netsh_calls >/dev/null

# A plug-in loaded by a process with no player window (as by a player in
# another user's session): an install refuses (exit code 2) and changes
# nothing; the uninstall says so (exit code 4) and keeps its entries.
stand_in 'C:\Program Files\Winamp\Plugins\in_orvela.dll'
touch "$work/marker"
listed=$(snapshot)
status=0
wine "$setup" /S /NOSTART >/dev/null 2>&1 || status=$?
[[ $status == 2 ]] || fail "an install over a plug-in in use ended with $status"
changed=$(find "$player/Plugins" "$orvela" -newer "$work/marker")
[[ -z "$changed" && "$(snapshot)" == "$listed" ]] || fail "the refused install changed: $changed"
status=0
uninstall_here || status=$?
[[ $status == 4 ]] || fail "an uninstall with a file in use ended with $status"
reg query "$uninstall_entry" /v UninstallString | grep -q uninstall.exe ||
  fail "the uninstall entry went before the files"
wine taskkill.exe /IM stand_in.exe >/dev/null 2>&1
wineserver -w

# The uninstaller runs from a copy of itself and returns at once.
wine "$orvela_win\\uninstall.exe" /S >/dev/null 2>&1 || fail "the uninstall ended with $?"
for _ in $(seq 150); do
  [[ -e "$orvela/uninstall.exe" ]] || break
  sleep 0.2
done
wineserver -w
diff <(rules_of add | grep delete) <(netsh_calls) || fail "the firewall rules were not removed"
after=$(snapshot | grep -v -e 'gen_orvela.ini$' -e 'orvela_agent.ini$' -e "^$pf/Orvela\$")
if [[ "$before" != "$after" ]]; then
  diff <(echo "$before") <(echo "$after") || true
  fail "the uninstall left the prefix changed"
fi
[[ -f "$player/Plugins/gen_orvela.ini" && -f "$orvela/orvela_agent.ini" ]] ||
  fail "the uninstall removed settings"
echo "installed where /D= said, then where the player is, again over it and uninstalled: the" \
  "firewall rules came and went, the agent started from the shell, and the prefix is as it was"
