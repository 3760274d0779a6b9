#!/usr/bin/env bash
# The Windows temporary folder (where the wizard makes the installer's folder) full, then read-only, while
# the wizard downloads the installer: a clear message each time and nothing left behind. The prefix's
# folder is covered for the test by a small tmpfs (GUI tests and the installation tests take turns);
# where mounting is not allowed the test is skipped.
source "$(dirname "$0")/lib.sh"
temp="$WINEPREFIX/drive_c/windows/temp"
mkdir -p "$temp"
if ! mount -t tmpfs -o size=1m tmpfs "$temp" 2>/dev/null; then
  echo "skipped: no tmpfs can be mounted here"
  exit 0
fi
release_temp() {
  local code=$?
  gui_stop
  peers_stop
  mountpoint -q "$WINEPREFIX/drive_c/ProgramData" && umount "$WINEPREFIX/drive_c/ProgramData"
  mountpoint -q "$temp" && umount "$temp"
  exit "$code"
}
trap release_temp EXIT

# A full disk: the download stops with the system's text and the partial file goes.
files_start
signup_start "success||http://localhost:$FILES_PORT/gen/4000000"
gui_start
fill_and_download "Anna" "Schmidt" "anna@example.com"
text=$(wait_message_box)
gui_shot disk-full
echo "ok: a full disk says '$text'"
[[ "${text,,}" == *disk* || "${text,,}" == *space* ]] || fail "the message does not tell of the full disk"
dismiss_message_box
expect_input_page
[ -z "$(installer_folders)" ] || fail "the partial installer was left behind: $(installer_folders)"
used=$(df --output=used -k "$temp" | tail -1 | tr -d ' ')
[ "$used" -lt 64 ] || fail "the full disk's space did not come back (${used} KiB used)"
echo "ok: the partial file is gone (${used} KiB used)"

# A read-only folder, and the common application-data folder read-only too: no folder for the installer
# can be made, and the wizard never falls back to the user's temporary folder.
mount -o remount,ro "$temp"
common="$WINEPREFIX/drive_c/ProgramData"
mount -t tmpfs -o size=1m,ro tmpfs "$common" || fail "the common application-data folder cannot be covered"
xdotool key space  # the download button still has the focus
text=$(wait_message_box)
gui_shot read-only
echo "ok: a read-only folder says '$text'"
[[ "$text" == "The installer cannot be downloaded: no folder that only administrators can change could be made for it. "* ]] ||
  fail "the message does not tell that no folder can be made"
dismiss_message_box
expect_input_page
umount "$common"
[ -z "$(installer_folders)" ] || fail "an installer folder appeared in a read-only folder"
[ -z "$(find "$(wine_temp)" -name 'tl_*')" ] || fail "the wizard fell back to the user's temporary folder"
echo "disk faults passed"
