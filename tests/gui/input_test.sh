#!/usr/bin/env bash
# The input page as a person uses it: the key filter with its hint, Enter moving on, and the check on
# the button that sends nothing while a field is wrong.
source "$(dirname "$0")/lib.sh"
signup_start "error|should not be asked"
gui_start

# A digit is refused in a name field, with the hint at the field.
xdotool type --delay 30 "Ann4a"
expect_eq "digit refused" "Anna" "$(gui_field editFirstName 7)"
xdotool type --delay 30 "4"
hint=$(gui_inspect | awk -F'|' '$1 == "popup" && $2 == "TradeloomHintBubble" { print $3 }')
expect_eq "hint" "Please type in your First Name using Latin letters only" "$hint"
gui_shot digit-hint
# Enter moves to the next field, as Tab would; a letter hides the hint.
xdotool key Return
wait_field editLastName 5 1
xdotool type --delay 30 "Smith"
expect_eq "hint gone" "" "$(gui_inspect | awk -F'|' '$1 == "popup" && $2 == "TradeloomHintBubble" { print $3 }')"
xdotool key Return
wait_field editEmail 5 1
xdotool type --delay 30 "anna4@example"
expect_eq "digit taken in the email" "anna4@example" "$(gui_field editEmail 7)"
xdotool key Return
wait_field btDownload 5 1

# The check on the button: the email has no "." in its domain; nothing is sent.
xdotool key Return  # Enter on the focused button presses it
sleep 0.5
hint=$(gui_inspect | awk -F'|' '$1 == "popup" && $2 == "TradeloomHintBubble" { print $3 }')
expect_eq "email hint" "Please enter your Email correctly" "$hint"
wait_field editEmail 5 1
gui_shot email-hint
[ ! -s "$OUT/signup-posted.txt" ] || fail "something was sent"
expect_eq "still on the input page" 1 "$(gui_field tsInput 3)"

# A name pasted with Ctrl+V is not filtered, but the check on the button catches it.
gui_click editLastName
xdotool key ctrl+a
printf 'Sm1th' | xclip -selection clipboard >/dev/null 2>&1
xdotool key ctrl+v
sleep 0.3
expect_eq "pasted unfiltered" "Sm1th" "$(gui_field editLastName 7)"
gui_click editEmail
xdotool key ctrl+a
xdotool type --delay 20 "anna@example.com"
gui_click btDownload
sleep 0.5
hint=$(gui_inspect | awk -F'|' '$1 == "popup" && $2 == "TradeloomHintBubble" { print $3 }')
expect_eq "pasted name hint" "Please type in your Last Name using Latin letters only" "$hint"
wait_field editLastName 5 1
gui_shot pasted-name-hint
[ ! -s "$OUT/signup-posted.txt" ] || fail "something was sent"
echo "input test passed"
