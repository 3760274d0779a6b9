#!/usr/bin/env bash
# The wizard opens at its designed size on the input page, with the caret in the first-name field,
# and typing reaches that field. It runs as the vendor ships it: signed (here with a throw-away certificate).
source "$(dirname "$0")/lib.sh"
WIZARD_EXE="$TL_BUILD/wizard/signed/TradeloomSetup.exe"
gui_start
gui_shot input-page

expect_eq "client size" "519,313" "$(gui_inspect | awk -F'|' '$1 == "form" { print $2 }')"
expect_eq "input page showing" 1 "$(gui_field tsInput 3)"
expect_eq "welcome page showing" 1 "$(gui_field tsMain 3)"
wait_field editFirstName 5 1

xdotool type --delay 50 "Anna"
wait_field editFirstName 7 "Anna"
gui_shot typed
echo "window test passed"
