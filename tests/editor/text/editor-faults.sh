#!/usr/bin/env bash
# Editor faults a user met, driven on the real application: choosing "Lock · Password" from the slash
# menu (the first lock of a run, which must seal with no failure said), pasting a named pipe (and a socket and /dev/zero) from the clipboard, typing after making a
# selection bold, an emoji typed by keys, typing a path at a line start (the slash menu), typing after
# a right-click beside the text, typing after redo, typing after unlocking with the password (also a
# note with only a title, and notes opened locked from the shelf after a relaunch), "/" then Return at
# a line start, and typing after rolling a note up and down with its dot.
# Tarnwick must still be running after each, answer on its bus name, and have stored what was typed.
# Usage (inside scripts/desktop-session.sh): editor-faults.sh TARNWICK SEEDER PAM_WRAPPER_LIBRARY PAM_MODULE_DIR
set -euo pipefail
tarnwick=$1 seeder=$2 pam_library=${3:-} pam_modules=${4:-}

source "$(dirname "$0")/../../support/session-lib.sh"
session_begin editorfaults app screenshot
trap 'step_failed $LINENO' ERR

# Locking needs an account password to check against later: pam_matrix knows one.
pam_setup "$pam_library" "$pam_modules" "secret words"
"$seeder" || fail "preparing the store"
launch_pam "$tarnwick"

running() { kill -0 "$app_pid" 2>/dev/null || fail "Tarnwick is no longer running"; }
answers() {
  timeout 1 dbus-send --session --print-reply --dest=com.fennmoor.Tarnwick /com/fennmoor/Tarnwick \
    org.freedesktop.DBus.Introspectable.Introspect >/dev/null 2>&1
}
new_note() {
  for _ in $(seq 1 30); do
    xdotool key --clearmodifiers alt+shift+n
    within 20 active_is "New Note" && return 0
    sleep 0.5
  done
  fail "the new-note hot key opened no note"
}
keys() {
  for key in "$@"; do
    xdotool key --clearmodifiers "$key"
    sleep 0.15
  done
}
body_of() { sql "SELECT body FROM Note WHERE title = '$1' AND isTrashed = 0"; }
height_of() { xdotool getwindowgeometry --shell "$1" | sed -n 's/^HEIGHT=//p'; }
click_in() {
  xdotool mousemove --window "$1" "$2" "$3"
  sleep 0.2
  xdotool click "${4:-1}"
}
# Unlocks the locked note in window $1 with the password through its menu, and waits until that
# window has the keyboard again.
unlock_by_menu() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  click_in "$1" $((WIDTH / 2)) $((HEIGHT / 2)) 3
  sleep 0.6
  keys Down Return
  within 50 window_shown "Unlock Note" || fail "no password prompt"
  xdotool type --delay 20 "secret words"
  xdotool key Return
  within 50 window_gone "Unlock Note" ||
    fail "the password prompt stayed open"
  settles_to 100 "$1" xdotool getactivewindow || fail "the note's window did not get the keyboard back"
  sleep 0.3
}
# Opens the note titled $1 from the shelf's search.
open_from_shelf() {
  xdotool key --clearmodifiers alt+shift+s
  within 50 active_is "Tarnwick shelf" || fail "the shelf key did not open the shelf"
  keys ctrl+a  # the last search is kept
  xdotool type --delay 30 "$1"
  sleep 0.8
  keys Down Return
  within 100 active_is "$1" || fail "the shelf did not open $1"
}

# (1) "a", Return, "b", Return, "/", then "Lock · Password" (the menu's last item) with the keys.
new_note
xdotool type --delay 40 "a"
keys Return
xdotool type --delay 40 "b"
keys Return slash
sleep 0.6
keys Up Return
sleep 1
running
settles_to 150 1 sql "SELECT isLocked FROM Note WHERE title = 'a'" || fail "the slash menu did not lock the note"
within 20 answers || fail "Tarnwick does not answer on its bus name after the lock"
# It was the first lock of the run (no locked note at launch: the lock keys were not read yet). It waits
# for the keyring and seals: stored sealed, and no failure said, not even for a moment.
settles_to 50 "1|" sql "SELECT (lockedCipher IS NOT NULL) || '|' || body FROM Note WHERE title = 'a'" ||
  fail "the first lock of the run did not store the note sealed"
import -window root "$work/first-lock.png"
! grep "Lock seal failed" "$log" || fail "the first lock of the run said the note couldn't be sealed"

# (2) A named pipe, a socket and /dev/zero on the clipboard: a paste comes back at once, pastes
# nothing and loses nothing typed after it.
mkfifo "$work/p"
python3 -c 'import socket,sys; s=socket.socket(socket.AF_UNIX); s.bind(sys.argv[1])' "$work/s.sock"
new_note
xdotool type --delay 40 "Pipe"
keys Return
for target in "$work/p" "$work/s.sock" /dev/zero; do
  printf 'file://%s\n' "$target" | xclip -selection clipboard -t text/uri-list
  sleep 0.3
  keys ctrl+v
  sleep 0.5
  running
  within 10 answers || fail "Tarnwick hangs after pasting $target"
done
xdotool type --delay 40 "ok"
settles_to 150 "ok" body_of Pipe || fail "the Pipe note holds '$(body_of Pipe)', not 'ok'"

# (3) "word", Home, Shift+End, Ctrl+B, End, "Z": the bold word stays and Z follows it.
new_note
xdotool type --delay 40 "Bold"
keys Return
xdotool type --delay 40 "word"
keys Home shift+End ctrl+b End
xdotool type --delay 40 "Z"
settles_to 150 "wordZ" body_of Bold || fail "the Bold note holds '$(body_of Bold)', not 'wordZ'"
import -window root "$work/bold.png"
# Undo and redo as fast as a held key: 300 presses 8 ms apart leave the same text.
xdotool key --clearmodifiers --delay 8 --repeat 150 ctrl+z ctrl+shift+z
sleep 1
running
settles_to 150 "wordZ" body_of Bold || fail "undo and redo at speed left '$(body_of Bold)'"

# (4) An emoji typed by keys is kept, between two letters.
new_note
xdotool type --delay 40 "Emoji"
keys Return
# The emoji gets a key of its own for good before it is typed: xdotool maps one only for the length of
# its key press, and a program that reads the new keyboard map after that sees a key with no symbol.
spare=$(xmodmap -pke | awk 'NF == 3 && $1 == "keycode" { code = $2 } END { print code }')
[ -n "$spare" ] || fail "no free key code for the emoji"
xmodmap -e "keycode $spare = U1F600"
sleep 1
xdotool type --delay 80 "x"
xdotool key --delay 80 U1F600
xdotool type --delay 80 "y"
settles_to 150 "x😀y" body_of Emoji || fail "the Emoji note holds '$(body_of Emoji)', not 'x😀y'"

# (5) "/" at a line start opens the slash menu; the next letter closes it and every key is kept.
new_note
xdotool type --delay 40 "Slash"
keys Return
xdotool type --delay 40 "/usr/bin is where"
settles_to 150 "/usr/bin is where" body_of Slash || fail "the Slash note holds '$(body_of Slash)'"

# (6) A right-click on the empty body below the text, Escape: the keys still reach the text.
new_note
xdotool type --delay 40 "Click"
keys Return
xdotool type --delay 40 "text"
settles_to 150 "text" body_of Click || fail "the Click note was not saved"
eval "$(xdotool getactivewindow getwindowgeometry --shell)"
xdotool mousemove --window "$(xdotool getactivewindow)" $((WIDTH / 2)) $((HEIGHT * 3 / 4))
sleep 0.2
xdotool click 3
sleep 0.6
import -window root "$work/rightclick.png"
keys Escape
xdotool type --delay 40 "ok"
settles_to 150 "textok" body_of Click || fail "after a right-click and Escape the Click note holds '$(body_of Click)'"

# (7) Paste, undo, redo, "Q": the redone paste is not selected, so Q follows it.
new_note
xdotool type --delay 40 "Redo"
keys Return
xdotool type --delay 40 "keep "
printf 'pasted words' | xclip -selection clipboard
sleep 0.3
keys ctrl+v ctrl+z ctrl+shift+z
xdotool type --delay 40 "Q"
settles_to 150 "keep pasted wordsQ" body_of Redo || fail "the Redo note holds '$(body_of Redo)'"

# (8) Locked with the head row's button while typing at the end of the body, unlocked with the
# password: the next keys land where the caret was (the body stays sealed in the store, so the
# text is read back through the clipboard).
new_note
xdotool type --delay 40 "Vault"
keys Return
xdotool type --delay 40 "inside"
settles_to 150 "inside" body_of Vault || fail "the Vault note was not saved"
vault=$(xdotool getactivewindow)
eval "$(xdotool getwindowgeometry --shell "$vault")"
xdotool mousemove --window "$vault" $((WIDTH - 43)) 15
sleep 0.2
xdotool click 1
settles_to 150 1 sql "SELECT isLocked FROM Note WHERE title = 'Vault'" || fail "the lock button did not lock Vault"
sleep 0.5
xdotool mousemove --window "$vault" $((WIDTH / 2)) $((HEIGHT / 2))
sleep 0.2
xdotool click 3
sleep 0.6
keys Down Return
within 50 window_shown "Unlock Note" || fail "no password prompt"
xdotool type --delay 20 "secret words"
xdotool key Return
within 50 window_gone "Unlock Note" ||
  fail "the password prompt stayed open"
settles_to 100 "$vault" xdotool getactivewindow || fail "the Vault window did not get the keyboard back"
sleep 0.5
xdotool type --delay 40 "!"
sleep 0.5
keys ctrl+a ctrl+c
settles_to 50 "Vault
inside!" xclip -o -selection clipboard || fail "after unlocking, Vault reads '$(xclip -o -selection clipboard)'"

# (9) "/" then Return at a line start: the menu closes, and the "/" and the new line are both typed.
new_note
xdotool type --delay 40 "Enter"
keys Return slash
sleep 0.6
keys Return
xdotool type --delay 40 "x"
settles_to 150 "/
x" body_of Enter || fail "after '/' and Return the Enter note holds '$(body_of Enter)'"

# (10) Rolled up and down with the head row's yellow dot: the keys go on where the caret was.
new_note
xdotool type --delay 40 "Rolled"
keys Return
xdotool type --delay 40 "ab"
settles_to 150 "ab" body_of Rolled || fail "the Rolled note was not saved"
rolled=$(xdotool getactivewindow)
rolled=$(xdotool search --onlyvisible --name "^Rolled$" | head -1)
tall=$(height_of "$rolled")
click_in "$rolled" 35 15
shorter() { [ "$(height_of "$rolled")" -lt "$tall" ]; }
within 50 shorter || fail "the yellow dot did not roll the note up"
sleep 0.4
click_in "$rolled" 35 15
settles_to 50 "$tall" height_of "$rolled" || fail "the yellow dot did not unroll the note: $(height_of "$rolled") high"

sleep 0.4
xdotool type --delay 40 "c"
settles_to 150 "abc" body_of Rolled || fail "after rolling up and down the Rolled note holds '$(body_of Rolled)'"

# (11) A note with only a title, locked and unlocked: the keys go on in the title.
new_note
xdotool type --delay 40 "Solo"
settles_to 150 1 sql "SELECT COUNT(*) FROM Note WHERE title = 'Solo' AND isTrashed = 0" || fail "Solo was not saved"
solo=$(xdotool getactivewindow)
eval "$(xdotool getwindowgeometry --shell "$solo")"
click_in "$solo" $((WIDTH - 43)) 15
settles_to 150 1 sql "SELECT isLocked FROM Note WHERE title = 'Solo'" || fail "the lock button did not lock Solo"
sleep 0.5
unlock_by_menu "$solo"
xdotool type --delay 40 "Q"
settles_to 150 1 sql "SELECT COUNT(*) FROM Note WHERE title = 'SoloQ' AND isLocked = 1" ||
  fail "after unlocking, Solo is titled '$(sql "SELECT title FROM Note WHERE isLocked = 1 AND title LIKE 'Solo%'")'"

running
answers || fail "Tarnwick does not answer on its bus name"
# What was typed is in the store after a relaunch, too.
stop_app
launch_pam "$tarnwick"
within 100 answers || fail "Tarnwick did not start again"

# (12) Locked notes opened from the shelf after the relaunch and unlocked: the keys go to the end of
# the body, or of the title when there is no body.
open_from_shelf Vault
unlock_by_menu "$(xdotool getactivewindow)"
xdotool type --delay 40 "Q"
sleep 0.5
keys ctrl+a ctrl+c
settles_to 50 "Vault
inside!Q" xclip -o -selection clipboard || fail "after the relaunch Vault reads '$(xclip -o -selection clipboard)'"
open_from_shelf SoloQ
unlock_by_menu "$(xdotool getactivewindow)"
xdotool type --delay 40 "!"
settles_to 150 1 sql "SELECT COUNT(*) FROM Note WHERE title = 'SoloQ!' AND isLocked = 1" ||
  fail "after the relaunch SoloQ is titled '$(sql "SELECT title FROM Note WHERE isLocked = 1 AND title LIKE 'Solo%'")'"
stop_app
launch_pam "$tarnwick"
within 100 answers || fail "Tarnwick did not start a third time"
[ "$(body_of Bold)" = "wordZ" ] && [ "$(body_of Pipe)" = "ok" ] || fail "the typed bodies did not survive a relaunch"
[ "$(body_of Emoji)" = "x😀y" ] || fail "after a relaunch Emoji holds '$(body_of Emoji)'"
[ "$(body_of Slash)" = "/usr/bin is where" ] || fail "after a relaunch Slash holds '$(body_of Slash)'"
[ "$(body_of Click)" = "textok" ] || fail "after a relaunch Click holds '$(body_of Click)'"
[ "$(body_of Redo)" = "keep pasted wordsQ" ] || fail "after a relaunch Redo holds '$(body_of Redo)'"
[ "$(body_of Enter)" = "/
x" ] || fail "after a relaunch Enter holds '$(body_of Enter)'"
[ "$(body_of Rolled)" = "abc" ] || fail "after a relaunch Rolled holds '$(body_of Rolled)'"
[ "$(sql "SELECT COUNT(*) FROM Note WHERE title = 'SoloQ!' AND isLocked = 1")" = 1 ] ||
  fail "after a relaunch no locked note is titled SoloQ!"
[ "$(sql "SELECT isLocked FROM Note WHERE title = 'Vault' AND isTrashed = 0")" = 1 ] ||
  fail "after a relaunch no locked note is titled Vault (the keys went to its title?)"
if [ -n "${TARNWICK_KEEP_SHOTS:-}" ]; then cp "$work"/*.png "$TARNWICK_KEEP_SHOTS"/; fi
echo "PASS"
