#!/usr/bin/env bash
# make demo: creates a sample Ingres installation in the build's Wine prefix and shows what the
# agent will find there: databases, locations, accounts and what the Ingres utilities report;
# then installs the test-bed installer package silently (msiexec /qn with a silent profile) and
# drives the agent that the registry's "Dll" value names with the backup console: connect, agent
# information (with the build number setup wrote),
# objects with sizes and property sheets, excluded directories, a backup of the database
# "sample" into an archive under the prefix (drive_c/ferry-demo/sample.fya) and its verify, and
# its restore after the database's files were deleted, checked byte for byte; then the same
# round trip through the agent's remote pipe, the console acting as the media side; then a
# point-in-time restore that stops the roll forward between two journal records written after
# the backup. Last, the console snap-in's tree for a sample Start menu, through the console host.
# Beside the x64 agent's information it shows the x86 agent's (build/win32) for a 32-bit
# installation, when 32-bit Wine is installed.
set -euo pipefail

build=$(realpath "${1:-build/win}")
run="$build/wine-run"
bin="$build/bin"
code=II
root='C:\IngresII'
ingbin="$root\\ingres\\bin"

say() { printf '\n== %s\n' "$*"; }
# Wine writes CR LF for Windows programs; show plain lines.
win() { "$run" "$@" | tr -d '\r'; }

trap '"$run" --stop' EXIT

say "Creating installation $code in $root (Ingres 2 layout)"
win "$bin/ingsim.exe" create --code "$code" --root "$root" --version 2 --force

say "Adding the journaled database 'sample' with two data locations"
win "$bin/ingsim.exe" database --code "$code" --name sample --journaled --checkpoint 3 \
  --location ii_database --file aaaaaaab.t00:256K --file aaaaaaac.t00:1M --file aaaaaaad.t00:0 \
  --location 'C:\IngresData2' --file aaaaaaae.t00:2M --file aaaaaaaf.t00:1023 \
  --journals 3 --journal-size 64K --dump-file c0000003.dmp:32K --table orders --table lines
win "$bin/ingsim.exe" database --code "$code" --name scratch

say "Adding the account the backup server will use"
win "$bin/ingsim.exe" account add --name ingres --password ingres

say "ingsim show"
win "$bin/ingsim.exe" show --code "$code"

say "infodb -uingres (the database list the agent reads)"
win "$ingbin\\infodb.exe" -uingres

say "infodb sample (the journal sequence the agent reads)"
win "$ingbin\\infodb.exe" sample | grep -A3 -e '----Journal information'

say "ingprenv (installation variables)"
win "$ingbin\\ingprenv.exe"

say "ingsetenv II_CKTMPL_FILE, then ingprenv II_CKTMPL_FILE, then ingunset"
win "$ingbin\\ingsetenv.exe" II_CKTMPL_FILE "$root\\ingres\\files\\htbtmplII.def"
win "$ingbin\\ingprenv.exe" II_CKTMPL_FILE
win "$ingbin\\ingunset.exe" II_CKTMPL_FILE
printf 'after ingunset: "%s"\n' "$(win "$ingbin\\ingprenv.exe" II_CKTMPL_FILE)"

# The installer package: a silent installation with a profile that names the installation and
# its account; rigger.dll writes the agent key, the service DbaRpcService starts.
demo_c="$build/wineprefix/drive_c/ferry-demo"
mkdir -p "$demo_c"
printf '[DBAINGRES]\r\nTotalSID=1\r\nSID1=%s\r\nLoginID1=ingres\r\nPassword1=ingres\r\n' "$code" \
  >"$demo_c/silent.ini"
package="$(win winepath -w "$build/package/ferryman-testbed.msi")"
say "msiexec /x: the agent an earlier demo run installed, if any"
DBAGUI_LOG_PATH='C:\ferry-demo' win msiexec /x "$package" /qn || echo "(none of this build installed)"
say "msiexec /i ferryman-testbed.msi /qn ICFPATH=C:\ferry-demo\silent.ini"
rm -f "$demo_c/IngresDBASetup.log"
DBAGUI_LOG_PATH='C:\ferry-demo' win msiexec /i "$package" /qn 'ICFPATH=C:\ferry-demo\silent.ini'
echo "msiexec: exit code 0"
say "The setup log (C:\ferry-demo\IngresDBASetup.log)"
tr -d '\r' <"$demo_c/IngresDBASetup.log" | cut -c25-
say "The agent key setup wrote, and the agent's service"
key="HKLM\\SOFTWARE\\Norvane\\Halyard Tidewell\\DSAgent\\CurrentVersion\\agent\\ferryman@$code"
win reg query "$key"
win sc query DbaRpcService | grep -E 'SERVICE_NAME|STATE'
agent=$(win reg query "$key" /v Dll | sed -n 's/^ *Dll *REG_SZ *//p')
agent_dir=$(win winepath -u "${agent%\\*}")
echo "the agent the registry names: $agent"

# The console never takes a password on its command line, where other users could read it: it
# comes from FERRYCTL_PASSWORD here, from a file (--password-file) or from a prompt without echo.
export FERRYCTL_PASSWORD=ingres
say "ferryctl connect: the installed agent (test build, simulated accounts) connects as ingres"
# Run from drive C: of the prefix rather than from the Linux file system, as a host process
# would: whatever a utility writes relative to the current drive lands there.
(cd "$build/wineprefix/drive_c" &&
  win "$bin/ferryctl.exe" --agent "$agent" connect "server@$code" ingres)
say "ferryctl --password-file: connect with a wrong password read from a file"
printf 'wrong\r\n' >"$demo_c/wrong-password.txt"
(cd "$build/wineprefix/drive_c" &&
  win "$bin/ferryctl.exe" --agent "$agent" --password-file 'C:\ferry-demo\wrong-password.txt' \
    connect "server@$code" ingres) ||
  echo "(exit code $?, as expected)"
rm -f "$demo_c/wrong-password.txt"
say "ferryctl error 18"
win "$bin/ferryctl.exe" --agent "$agent" error 18

# The backup console's catalogue and backup commands, run from drive C: like connect above.
ctl() {
  (cd "$build/wineprefix/drive_c" && win "$bin/ferryctl.exe" --agent "$agent" "$@")
}
say "ferryctl info: who the agent is (the build number is the one setup wrote)"
ctl info "server@$code" ingres

# The x86 agent family (build/win32) beside the x64 one: a 32-bit host loads the x86 agent for a
# 32-bit installation, whose key lives in the 32-bit view of the registry (WOW6432Node).
x86_build=$(realpath "$build/../win32")
x86_bin="$x86_build/bin"
say "The x86 agent beside it: ferryctl info of the x86 console and agent for a 32-bit installation"
if [ ! -x /usr/lib/wine/wine ]; then
  echo "(not run: 32-bit Wine, wine32:i386, is not installed on this machine, so no 32-bit"
  echo " program can run here; tools/install-deps.sh says why. The two builds' agents as files:)"
  for tree in "$build" "$x86_build"; do
    for file in ferryman.dll testbed/ferryman.dll ferryctl.exe sounder26.dll; do
      printf '  %-60s %s\n' "${tree#"$PWD/"}/bin/$file" \
        "$(x86_64-w64-mingw32-objdump -f "$tree/bin/$file" 2>/dev/null | sed -n 's/.*file format //p')"
    done
  done
else
  x86_code=I3
  win "$x86_bin/ingsim.exe" create --code "$x86_code" --root 'C:\IngresX86' --version 2 --force
  win "$x86_bin/ingsim.exe" database --code "$x86_code" --name sample32
  win "$x86_bin/ingsim.exe" account add --name ingres --password ingres
  win "$x86_bin/ingsim.exe" show --code "$x86_code" | head -n 3
  x86_agent="$(win winepath -w "$x86_bin/testbed/ferryman.dll")"
  printf '\nx64 agent %s, installation %s (64-bit registry view):\n' "$agent" "$code"
  ctl info "server@$code" ingres
  printf '\nx86 agent %s, installation %s (32-bit registry view):\n' "$x86_agent" "$x86_code"
  (cd "$build/wineprefix/drive_c" &&
    win "$x86_bin/ferryctl.exe" --agent "$x86_agent" info "server@$x86_code" ingres)
fi
say "ferryctl list --properties: the objects the agent offers, their sizes and property sheets"
ctl list "server@$code" ingres --properties
say "ferryctl excluded: the directories the agent covers"
ctl excluded "server@$code" ingres

archive='C:\ferry-demo\sample.fya'
mkdir -p "$build/wineprefix/drive_c/ferry-demo"
say "ferryctl backup --database sample: data, configuration and journals into $archive"
ctl backup "server@$code" ingres "$archive" --database sample
say "ferryctl verify: what the archive holds, every length and checksum verified (no agent needed)"
ctl verify "$archive"
say "ferryctl --json verify: the same as one JSON document (the first lines)"
ctl --json verify "$archive" | head -n 12

# The console as a backup server's media side: the same objects through the agent's remote pipe,
# which ferryctl opens as a client from a thread of its own.
remote_archive='C:\ferry-demo\sample-remote.fya'
say "ferryctl backup --remote: the same database through the remote pipe into $remote_archive"
ctl backup "server@$code" ingres "$remote_archive" --database sample --remote
say "The two archives hold the same objects, files and checksums"
if diff <(ctl restore --list "$archive" | tail -n +2) <(ctl restore --list "$remote_archive" | tail -n +2); then
  echo "identical: $(ctl restore --list "$remote_archive" | tail -n 1)"
else
  echo "the remote archive differs"; exit 1
fi

# Damage and restore: every file of the database's locations, journals and dump folder is
# deleted, the archive is replayed through the agent (journals and configuration, then the data
# through rollforwarddb), and the files are compared byte for byte with a copy taken before.
c="$build/wineprefix/drive_c"
folders=("IngresII/ingres/data/default/sample" "IngresData2/ingres/data/default/sample"
  "IngresII/ingres/jnl/default/sample" "IngresII/ingres/dmp/default/sample")
before="$build/demo-before"
rm -rf "$before"
for folder in "${folders[@]}"; do mkdir -p "$before/$folder" && cp -p "$c/$folder"/* "$before/$folder/"; done
say "Damaging the database: deleting the files of its two locations, its journals and dump files"
for folder in "${folders[@]}"; do
  printf '%s: %s file(s) deleted\n' "$folder" "$(find "$c/$folder" -maxdepth 1 -type f | wc -l)"
  find "$c/$folder" -maxdepth 1 -type f -delete
done
say "ferryctl restore: the archive replayed through the agent, every file checked against it"
ctl restore "$archive" "server@$code" ingres
say "What the simulated rollforwarddb reported"
tr -d '\r' <"$agent_dir/roll${code}sample.out"
compare_with_before() {
  for folder in "${folders[@]}"; do
    for file in "$before/$folder"/*; do
      cmp -s "$file" "$c/$folder/$(basename "$file")" || { echo "DIFFERS: $folder/$(basename "$file")"; exit 1; }
    done
    extra=$(cd "$c/$folder" && for f in *; do [ -e "$before/$folder/$f" ] || echo "$f"; done)
    printf '%s: %s file(s) identical%s\n' "$folder" "$(ls "$before/$folder" | wc -l)" \
      "${extra:+; also present: $extra (the end-of-restore marker)}"
  done
}
say "Every restored file compared byte for byte with the copy taken before the damage"
compare_with_before

# The remote backup taken above, replayed with the console as the media side: each file's data
# go through the session's remote pipe.
say "Damaging the database again, then ferryctl restore --remote"
for folder in "${folders[@]}"; do find "$c/$folder" -maxdepth 1 -type f -delete; done
ctl restore "$remote_archive" "server@$code" ingres --remote
say "Every file restored through the remote pipe compared byte for byte"
compare_with_before
rm -rf "$before"

# A point-in-time restore: work journaled after the backup, the data lost, and the roll forward
# stopped between two of the journal's records. The simulator stamps the records 1, 2 and 3
# minutes ahead so that the demo need not wait for them.
say "Work after the backup: ingsim journal adds a journal file of three timed records"
journal=$(win "$bin/ingsim.exe" journal --code "$code" --name sample --at +60 --at +120 --at +180)
echo "$journal"
as_of=$(sed -n 's/^  record 2 at //p' <<<"$journal")
say "Losing the data: the files of both data locations deleted (the journals stay)"
for folder in "${folders[@]:0:2}"; do find "$c/$folder" -maxdepth 1 -type f -delete; done
say "ferryctl restore --as-of a time before the archive's checkpoint: refused, nothing written"
ctl restore "$archive" "server@$code" ingres --as-of "2000-01-01 00:00:00" ||
  echo "(exit code $?, as expected)"
say "ferryctl restore --as-of \"$as_of\" (journals overwritten with the archive's, 0x200)"
ctl restore "$archive" "server@$code" ingres --as-of "$as_of" --option-bits 0x200
say "What rollforwarddb reported: the journal record after $as_of was not applied"
tr -d '\r' <"$agent_dir/roll${code}sample.out" | grep -e 'RFP: Applied' -e 'journal record' -e 'completed'

say "Registry: installation key and the machine Path entry"
win reg query "HKLM\\SOFTWARE\\Norvane\\IngresII\\${code}_Installation" /v II_SYSTEM
win reg query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment' /v Path

# The console snap-in lookout.dll, shown through the console host (Wine has no management
# console): a sample of the product's Start-menu folders with real shortcuts, the snap-in
# registered with regsvr32 and its tree printed; then the sample and the registration go again.
host="$bin/consolehost.exe"
winpath() { printf 'Z:%s' "${1//\//\\}"; }
menu='C:\ProgramData\Microsoft\Windows\Start Menu\Programs\NV\Halyard'
menu_dir="$build/wineprefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/NV/Halyard"
edition_key='HKLM\SOFTWARE\Norvane\Halyard Tidewell Backup\Products'
# Saving a shortcut to a Z: target makes Wine say that drive Z: has no volume serial: harmless.
shortcut() {
  "$run" "$host" shortcut "$@" 2> >(grep -v 'FS volume label and serial are not available' >&2)
}
say "Console snap-in: a sample Start menu (the edition key, two folders, three shortcuts)"
win reg add "$edition_key" /f
mkdir -p "$menu_dir/Tidewell Backup" "$menu_dir/Tidewell Backup Agents"
shortcut "$menu\\Tidewell Backup\\Backup Console.lnk" "$(winpath "$bin/ferryctl.exe")" \
  --description "The backup console: connect, list, back up, restore"
shortcut "$menu\\Tidewell Backup\\Ingres Simulator.lnk" "$(winpath "$bin/ingsim.exe")" \
  --arguments "show --code $code" --description "Shows the simulated Ingres installation"
shortcut "$menu\\Tidewell Backup Agents\\Ingres Agent.lnk" "$(winpath "$bin/ferryctl.exe")" \
  --arguments "--agent $(winpath "$bin/testbed/ferryman.dll") info server@$code ingres" \
  --directory 'C:\' --description "Asks the Ingres agent (test build) who it is"
say "consolehost register: regsvr32 registers lookout.dll"
win "$host" register "$(winpath "$bin/lookout.dll")"
say "consolehost tree: the snap-in's tree as the console shows it"
win "$host" tree
say "consolehost about: the snap-in's About answers"
win "$host" about
win "$host" unregister "$(winpath "$bin/lookout.dll")"
win reg delete "$edition_key" /f >/dev/null
rm -rf "$menu_dir/Tidewell Backup" "$menu_dir/Tidewell Backup Agents"
rmdir "$menu_dir" "$(dirname "$menu_dir")" 2>/dev/null || true

say "Done. The installation and the installed agent ($agent) stay in $build/wineprefix"
echo "(drive C: is $build/wineprefix/drive_c; remove the agent with: wine-run msiexec /x $package /qn);"
echo "the archive is $build/wineprefix/drive_c/ferry-demo/sample.fya."
