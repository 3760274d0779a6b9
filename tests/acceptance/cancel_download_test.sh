#!/usr/bin/env bash
# The user cancels the sign-up and the download in every way a button can be used: a click, Tab to Cancel
# and Return, Tab and Space, a press dragged off the button. Each time the wizard goes back to the input
# page without a word, leaves no installer behind and runs nothing; the statistics hold cancels only. Then
# the window is closed while a download runs: the partial installer and its folder go before the process ends.
source "$(dirname "$0")/lib.sh"
fresh_prefix
stats_start
files_start
slow_installer="$(offer_installer rate=150000)"
ways=(click return space drag)
{
  echo "["
  for way in "${ways[@]}"; do echo "{\"body\": \"$slow_installer\", \"delay\": 30},"; done
  for way in "${ways[@]}"; do echo "\"$slow_installer\","; done
  echo "\"$slow_installer\"]"
} > "$OUT/replies.json"
signup_start "@$OUT/replies.json"

# cancel_by <way> <button>: stops the running step with the button the way a person would.
cancel_by() {
  local bounds x y w h X Y
  case "$1" in
    click) gui_click "$2" ;;
    return) xdotool key Tab; wait_field "$2" 5 1; xdotool key Return ;;
    space) xdotool key Tab; wait_field "$2" 5 1; xdotool key space ;;
    drag)
      IFS=, read -r x y w h <<< "$(gui_field "$2" 6)"
      eval "$(xdotool getwindowgeometry --shell "$WID")"
      xdotool mousemove $((X + x + w / 2)) $((Y + y + h / 2)) mousedown 1
      sleep 0.3
      xdotool mousemove $((X + x + w / 2)) $((Y + y + h + 60)) mouseup 1
      ;;
  esac
}

# Waits until part of the installer has arrived in its folder.
wait_partial_installer() {
  for _ in $(seq "$(slow 100)"); do
    [ -n "$(installer_files -size +0)" ] && return 0
    sleep 0.1
  done
  fail "no part of the installer arrived"
}

gui_start
fill_and_download "Anna" "Schmidt" "anna@example.com"
for step in signup download; do
  for way in "${ways[@]}"; do
    [ "$step$way" = signupclick ] || gui_click btDownload
    if [ "$step" = signup ]; then
      wait_field tsProgressMarq 3 1
      cancel_by "$way" btCancelMarguee
    else
      wait_field tsProgress 3 1
      wait_partial_installer
      cancel_by "$way" btCancel
    fi
    expect_input_page
    expect_no_message_box
    [ -z "$(installer_folders)" ] || fail "the partial installer was left behind ($step, $way)"
    echo "ok: $step cancelled by $way"
  done
done
gui_shot cancelled
gui_click btDownload
wait_field tsProgress 3 1
wait_partial_installer
xdotool key alt+F4
wait_wizard_exit
expect_eq "exit code of the window closed mid-download" 0 "$WIZ_EXIT"
[ -z "$(installer_folders)" ] || fail "the close mid-download left the installer behind: $(installer_folders)"
[ -z "$(find "$(wine_temp)" -name 'tl_*')" ] || fail "something of the installer is in the user's temporary folder"
start_and_close
expect_eq "sign-up requests" 9 "$(wc -l < "$OUT/signup-posted.txt")"
expect_eq "cancel count events" 4 "$(count_events '^Downloading +CancelCount = 1$')"
expect_eq "cancel time events" 4 "$(count_events '^Downloading +CancelTime = [0-9]+$')"
expect_eq "sign-ups that ended" 5 "$(count_events '^RequestLicense +FullTime = [0-9]+$')"
expect_eq "sign-up results" 5 "$(count_events '^RequestLicense +Result = success$')"
expect_eq "other outcomes" 0 "$(count_events '^(Downloading +(End|ErrorCount|FullTime)|RequestLicense +Result = $|Installation)')"
[ -f "$(wine_temp)/installer_standin.log" ] && fail "an installer ran"
application_not_started || fail "an application was started"
echo "cancel scenario passed"
