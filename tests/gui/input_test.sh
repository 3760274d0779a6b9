#!/usr/bin/env bash
# The input page as a person uses it: the key filter with its hint, Enter moving on, and the check on
# the button that sends nothing while a field is wrong.
source "$(dirname "$0")/lib.sh"
signup_start "error|should not be asked"
gui_start

# A digit is refused in a name field, with the hint at the field.
xdotool type --delay 30 "Ann4a"
expect_soon "digit refused" "Anna" gui_field editFirstName 7
xdotool type --delay 30 "4"
expect_soon "hint" "Please type in your First Name using Latin letters only" hint_text
expect_eq "the hint, for a screen reader: an alert" "8|Please type in your First Name using Latin letters only|" "$(reader_sees popup)"
gui_shot digit-hint
# Enter moves to the next field, as Tab would; a letter hides the hint.
xdotool key Return
wait_field editLastName 5 1
xdotool type --delay 30 "Smith"
expect_eq "hint gone" "" "$(hint_text)"  # at once: the bubble would go by itself after 5 s
xdotool key Return
wait_field editEmail 5 1
xdotool type --delay 30 "anna4@example"
expect_soon "digit taken in the email" "anna4@example" gui_field editEmail 7
xdotool key Return
wait_field btDownload 5 1

# The check on the button: the email has no "." in its domain; nothing is sent.
xdotool key Return  # Enter on the focused button presses it
expect_soon "email hint" "Please enter your Email correctly" hint_text
wait_field editEmail 5 1
gui_shot email-hint
[ ! -s "$OUT/signup-posted.txt" ] || fail "something was sent"
expect_eq "still on the input page" 1 "$(gui_field tsInput 3)"

# A name pasted with Ctrl+V is not filtered, but the check on the button catches it.
gui_click editLastName
xdotool key ctrl+a
printf 'Sm1th' | xclip -selection clipboard >/dev/null 2>&1
xdotool key ctrl+v
expect_soon "pasted unfiltered" "Sm1th" gui_field editLastName 7
gui_click editEmail
xdotool key ctrl+a
xdotool type --delay 20 "anna@example.com"
expect_soon "email replaced" "anna@example.com" gui_field editEmail 7
sleep 0.5  # the Ctrl key is up before the check (with Ctrl down every character would pass)
gui_click btDownload
expect_soon "pasted name hint" "Please type in your Last Name using Latin letters only" hint_text
wait_field editLastName 5 1
gui_shot pasted-name-hint
[ ! -s "$OUT/signup-posted.txt" ] || fail "something was sent"
echo "input test passed"
