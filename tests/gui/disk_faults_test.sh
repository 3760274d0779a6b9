#!/usr/bin/env bash
# The temporary folder full, then read-only, while the wizard downloads the installer: a clear message
# each time and no installer file left behind. The prefix's temporary folder is covered for the test by
# a small tmpfs (GUI tests and the installation tests take turns, and nothing else uses that folder);
# where mounting is not allowed the test is skipped.
source "$(dirname "$0")/lib.sh"
temp="$(wine_temp)"
mkdir -p "$temp"
if ! mount -t tmpfs -o size=1m tmpfs "$temp" 2>/dev/null; then
  echo "skipped: no tmpfs can be mounted here"
  exit 0
fi
release_temp() {
  local code=$?
  gui_stop
  peers_stop
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
ls "$temp"/tl_*.exe >/dev/null 2>&1 && fail "the partial installer was left behind"
used=$(df --output=used -k "$temp" | tail -1 | tr -d ' ')
[ "$used" -lt 64 ] || fail "the full disk's space did not come back (${used} KiB used)"
echo "ok: the partial file is gone (${used} KiB used)"

# A read-only temporary folder: the installer file cannot be made; the error report names it.
mount -o remount,ro "$temp"
xdotool key space  # the download button still has the focus
text=$(wait_message_box)
gui_shot read-only
echo "ok: a read-only folder says '$text'"
[[ "$text" == *"Cannot create file"* ]] || fail "the message does not tell that the file cannot be made"
dismiss_message_box
ls "$temp"/tl_*.exe >/dev/null 2>&1 && fail "an installer file appeared in a read-only folder"
echo "disk faults passed"
