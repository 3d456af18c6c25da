#!/usr/bin/env bash
# The Windows installer under Wine: a silent installation registers the service, which then
# starts and stops; the uninstaller removes the service and the files.
#
#   tests/wine/package_test.sh INSTALLER.EXE   (run by scripts/wine_tests.sh)
set -euo pipefail
. "$(dirname "$0")/lib.sh"

installer=$1
name="Brinmoor Vaskwell"
key='HKLM\SYSTEM\CurrentControlSet\Services\Brinmoor Vaskwell'
folder="$WINEPREFIX/drive_c/Program Files/Brinmoor Sentrel"

wine "$installer" /S >/dev/null 2>&1 || fail "the installer failed ($?)"
for file in vaskwell.exe manual/manual.htm Uninstall.exe; do
  [ -f "$folder/$file" ] || fail "not installed: $file"
done
[ "$(service_state "$name")" = "1 STOPPED" ] || fail "after installing: $(service_state "$name")"
image=$(reg_value "$key" ImagePath)
# The short (8.3) path of the installed program; Wine makes up its own short names.
[[ "$image" != *" "* && "${image,,}" == 'c:\'*'\vaskwell.exe' ]] || fail "ImagePath is '$image'"
pass "the installer puts the programs in place and registers the service ($image)"

out=$(wine_out net start "$name")
[ "$(service_state "$name")" = "4 RUNNING" ] || fail "net start printed: $out"
out=$(wine_out net stop "$name")
[ "$(service_state "$name")" = "1 STOPPED" ] || fail "net stop printed: $out"
pass "the installed service starts and stops"

# The uninstaller copies itself away, starts the copy and returns at once.
wine "$folder/Uninstall.exe" /S >/dev/null 2>&1 || fail "the uninstaller failed ($?)"
service_gone() { [ "$(service_state "$name")" = none ]; }
wait_for 60 service_gone || fail "the service is still registered after uninstalling"
files_gone() { [ ! -e "$folder/vaskwell.exe" ] && [ ! -e "$folder/manual" ]; }
wait_for 30 files_gone || fail "files are left in $folder"
! reg_key_exists "$key" || fail "the service key is still there after uninstalling"
pass "the uninstaller removes the service and the files"
