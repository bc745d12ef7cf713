#!/usr/bin/env bash
# The settings window end to end, as a user drives it with the keyboard and the mouse: opened from the
# tray menu, its level while another application is active, the endpoint switched on, its address
# copied and used by a real MCP client, a new token and a revoked client, a hot key recorded and
# refused (also under French and Russian layouts, and kept through layout changes; on the two groups
# of de,us each key fires its own action in either group), launch at login, the taskbar entry and
# Check Now (with a stand-in for the web), the default theme and floating note windows, the settings
# file written by another program while a switch is toggled, what a relaunch keeps, a triple click on
# Revoke that revokes one client, and a settings file that is a link into a dotfiles folder (also from
# a configuration folder that is itself a link, and to a file that cannot be read); last, the same
# layout set again and again while a hot key is pressed.
# Usage (inside scripts/desktop-session.sh): settings-black-box.sh TARNWICK SDK-CLIENT-DIR
set -euo pipefail
tarnwick=$1 client_dir=$2

source "$(dirname "$0")/../support/session-lib.sh"
session_begin settings app screenshot

settings_file=$XDG_CONFIG_HOME/tarnwick/settings.json
client="Settings check client"
drive() { timeout 60 node "$client_dir/drive-endpoint.mjs" "$@"; }
# A stored value as JSON text ("null" when absent).
setting() {
  python3 -c 'import json,sys
d = json.load(open(sys.argv[1])); v = d.get(sys.argv[2])
if isinstance(v, dict) and "type" in v:
    v = int(v["value"]) if v["type"] == "int" else v.get("value")
print(json.dumps(v))' "$settings_file" "$1"
}
setting_is() { [ "$(setting "$1")" = "$2" ]; }
states() { xprop -id "$1" _NET_WM_STATE 2>/dev/null || true; }
has_state() { [[ "$(states "$1")" == *"_NET_WM_STATE_$2"* ]]; }
lacks_state() { ! has_state "$1" "$2"; }
# On every desktop: the sticky state, or (openbox has none) the desktop 0xFFFFFFFF.
on_every_desktop() { has_state "$1" STICKY || xprop -id "$1" _NET_WM_DESKTOP 2>/dev/null | grep -q 4294967295; }
focus_settings() {
  xdotool windowactivate --sync "$settings_win" >/dev/null 2>&1 || true
  within 50 active_is "Tarnwick Settings" || fail "the settings window did not take the focus"
}
keyring_token() { secret-tool lookup service com.fennmoor.tarnwick.mcp account endpoint-token synchronizable false; }
clipboard() { xclip -o -selection clipboard 2>/dev/null || true; }
no_card_shown() { [ -z "$(xdotool search --onlyvisible --name '^Allow access\?$' 2>/dev/null || true)" ]; }
note_count() { sql "select count(*) from Note"; }

python3 - "$settings_file" <<'PY'
import json, sys
path = sys.argv[1]
d = json.load(open(path))
d["onboarding.completed"] = {"type": "bool", "value": True}
json.dump(d, open(path, "w"))
PY

# A stand-in for the web: the application's https requests (the update check) go to this proxy on the
# loopback interface, so nothing leaves the machine. It writes down each request line and holds the
# connection until $proxy_release appears, then refuses it; it ends with this script.
proxy_log=$work/proxy.log proxy_release=$work/proxy-release
python3 - "$proxy_log" "$work/proxy-port" "$proxy_release" <<'PY' &
import os, socket, sys, threading, time
log, port_file, release = sys.argv[1:4]
server = socket.socket()
server.bind(("127.0.0.1", 0))
server.listen(8)
held = []
def serve():
    while True:
        connection, _ = server.accept()
        line = connection.recv(300).split(b"\r\n")[0].decode(errors="replace")
        with open(log, "a") as f:
            f.write(line + "\n")
        held.append(connection)
threading.Thread(target=serve, daemon=True).start()
open(port_file + ".part", "w").write(str(server.getsockname()[1]))
os.rename(port_file + ".part", port_file)
parent = os.getppid()
while os.getppid() == parent:
    if os.path.exists(release):
        os.remove(release)
        # Refused, not just closed: a connection closed unanswered is tried again by the client.
        while held:
            connection = held.pop()
            connection.sendall(b"HTTP/1.1 503 Unavailable\r\nContent-Length: 0\r\n\r\n")
            connection.close()
    time.sleep(0.05)
PY
within 50 test -s "$work/proxy-port" || fail "the stand-in proxy did not start"
export https_proxy="http://127.0.0.1:$(cat "$work/proxy-port")" no_proxy=127.0.0.1,localhost
requests_made() { grep -c '^CONNECT ' "$proxy_log" 2>/dev/null || true; }

echo "== 1. From the tray menu: a normal window above others while Tarnwick is active"
launch "$tarnwick"
open_settings_from_tray
within 50 active_is "Tarnwick Settings" || fail "the settings window is not active"
eval "$(xdotool getwindowgeometry --shell "$settings_win")"
[ "$WIDTH" = 560 ] || fail "the settings window is $WIDTH wide"
within 30 has_state "$settings_win" ABOVE || fail "not above other windows while active: $(states "$settings_win")"
has_state "$settings_win" SKIP_TASKBAR || fail "in the taskbar although general.showDockIcon is off"
setting_is settings.selectedTab null || fail "the first opening wrote settings.selectedTab"
xmessage -geometry +40+500 "another application" &
owner_pid=$!
within 50 active_is xmessage || { xdotool search --name '^xmessage$' windowactivate 2>/dev/null || true; }
within 50 active_is xmessage || fail "xmessage did not become active"
within 30 lacks_state "$settings_win" ABOVE || fail "still above while another application is active"
focus_settings
within 30 has_state "$settings_win" ABOVE || fail "not above again once back"

echo "== 2. Connections: switched on by keys, the address copied"
press ctrl+Tab ctrl+Tab ctrl+Tab ctrl+Tab
within 30 setting_is settings.selectedTab '"connections"' || fail "Connections was not stored: $(setting settings.selectedTab)"
press space
within 30 setting_is mcp.enabled true || fail "mcp.enabled was not stored"
port=""
for _ in $(seq 1 100); do port=$(listening_port); [ -n "$port" ] && break; sleep 0.1; done
[ -n "$port" ] || fail "the endpoint does not listen"
[ "$port" = 48219 ] || echo "(48219 is taken here; the endpoint listens on $port)"
within 50 bash -c '[ -n "$(secret-tool lookup service com.fennmoor.tarnwick.mcp account endpoint-token synchronizable false)" ]' ||
  fail "no token in the keyring"
token=$(keyring_token)
press Tab Tab Tab space  # Read-only, Read & write, Copy
url=$(clipboard)
[ "$url" = "http://127.0.0.1:$port/mcp/$token" ] || fail "the clipboard holds '$url'"

echo "== 3. A client connects with it and is approved; Read & write"
drive "$url" - "$client" connect &
connect_pid=$!
answer_card Return
wait "$connect_pid" || fail "the approved client could not connect"
grep -q "$client" "$settings_file" || fail "the approved client was not stored"
# The card goes with the keyboard back to the settings, not to the other application's window.
within 50 active_is "Tarnwick Settings" ||
  fail "after Allow, \"$(xdotool getactivewindow getwindowname 2>/dev/null)\" has the keyboard, not the settings"
focus_settings
press shift+Tab space  # Read & write
within 30 setting_is mcp.readOnly false || fail "Read & write did not store mcp.readOnly false"

echo "== 4. A new token, then the client revoked"
press Tab Tab space  # Copy, Regenerate token
within 50 bash -c '[ "$(secret-tool lookup service com.fennmoor.tarnwick.mcp account endpoint-token synchronizable false)" != "'"$token"'" ]' ||
  fail "the keyring still holds the old token"
press shift+Tab space  # Copy
new_url=$(clipboard)
new_token=$(keyring_token)
[ "$new_url" = "http://127.0.0.1:$port/mcp/$new_token" ] || fail "after Regenerate the clipboard holds '$new_url'"
[ "$new_url" != "$url" ] || fail "the address did not change"
drive "$url" - "$client" refused || fail "the old address still works"
drive "$new_url" - "$client" connect || fail "the new address does not work"
no_card_shown || fail "an approved client was asked again"
focus_settings
press Tab Tab Tab space  # Regenerate, Setup instructions, Revoke
within 30 bash -c "grep -q '\"mcp.approvedClients\"' '$settings_file' && ! grep -q '$client' '$settings_file'" ||
  fail "the client is still approved"
# The keyboard stays by the list it was in, not on the endpoint's switch: a Space leaves the endpoint on.
press space
sleep 0.5
setting_is mcp.enabled true || fail "a Space after Revoke switched the endpoint off"
drive "$new_url" - "$client" refused || fail "the revoked client got in"
no_card_shown || fail "a card was shown for a revoked client"

echo "== 5. Hotkeys: a chord recorded, refusals, Restore Defaults"
press ctrl+shift+Tab ctrl+shift+Tab
within 30 setting_is settings.selectedTab '"hotkeys"' || fail "Hotkeys was not stored"
press space  # Record "New note"
xdotool key super+shift+k
within 30 setting_is hotkey.newNote.keyCode 40 || fail "the recorded key code is $(setting hotkey.newNote.keyCode)"
setting_is hotkey.newNote.modifiers 768 || fail "the recorded modifiers are $(setting hotkey.newNote.modifiers)"
before=$(note_count)
xdotool key super+shift+k
wait_window "New Note"
within 30 bash -c '[ "$(sqlite3 "file:'"$store"'?mode=ro" "select count(*) from Note")" -gt '"$before"' ]' ||
  fail "the recorded chord made no note"
after=$(note_count)
focus_settings
xdotool key --clearmodifiers alt+shift+n
sleep 1
[ "$(note_count)" = "$after" ] || fail "the old chord still makes notes"
press space  # Record again (the focus stays on the row's Record button)
xdotool key shift+k
sleep 0.5
setting_is hotkey.newNote.keyCode 40 || fail "Shift+K was stored"
press space  # Record once more, then go to another window and type there
xmessage_win=$(xdotool search --name '^xmessage$' | head -n1)
eval "$(xdotool getwindowgeometry --shell "$xmessage_win")"
xdotool mousemove $((X + 20)) $((Y + 10)) click 1
sleep 0.5
focus_settings
xdotool key ctrl+b
sleep 0.5
setting_is hotkey.newNote.keyCode 40 || fail "Ctrl+B was stored after the click elsewhere"
setting_is hotkey.newNote.modifiers 768 || fail "the modifiers changed after the click elsewhere"
# Other layouts, switched while the application runs: a key is recorded by its Latin letter or digit
# from any group, the chord moves with its key's name, and the tab tells whether each chord holds.
makes_note() {
  local before
  before=$(note_count)
  xdotool key "$1"
  within 50 bash -c '[ "$(sqlite3 "file:'"$store"'?mode=ro" "select count(*) from Note")" -gt '"$before"' ]'
}
hotkey_status() { timeout 30 /usr/bin/python3 "$(dirname "$0")/window-reach.py" shown "New note status: $1"; }
keys() { /usr/bin/python3 "$(dirname "$0")/xkb-keys.py" "$@"; }
# Whether Ctrl+Alt on the key of code $1 is held (by Tarnwick): the server refuses it to another client.
ctrl_alt_held() { keys taken "$1" 12; }
setxkbmap fr
press space  # Record, then Ctrl+Alt with the key of "&" and "1"
xdotool key ctrl+alt+ampersand
within 30 setting_is hotkey.newNote.keyCode 18 || fail "Ctrl+Alt+1 under fr stored key $(setting hotkey.newNote.keyCode)"
setting_is hotkey.newNote.modifiers 6144 || fail "Ctrl+Alt+1 under fr stored $(setting hotkey.newNote.modifiers)"
makes_note ctrl+alt+ampersand || fail "Ctrl+Alt+1 recorded under fr made no note"
focus_settings
setxkbmap -layout ru,us
press space  # Record, then Ctrl+Alt with the key of Cyrillic "т", which is N in the second group
xdotool key ctrl+alt+Cyrillic_te
within 30 setting_is hotkey.newNote.keyCode 45 || fail "Ctrl+Alt+N under ru,us stored key $(setting hotkey.newNote.keyCode)"
makes_note ctrl+alt+Cyrillic_te || fail "Ctrl+Alt+N recorded under ru,us made no note"
setxkbmap us -variant dvorak  # N is now on the key of "l"
within 50 ctrl_alt_held 46 || fail "under dvorak Ctrl+Alt+N was not grabbed on the key of n"
makes_note ctrl+alt+n || fail "after the switch to dvorak Ctrl+Alt+N made no note"
focus_settings
setxkbmap ru  # no key names N: the chord cannot hold, and the tab says so
within 300 hotkey_status "Failed (code 2)" || fail "the tab does not say Ctrl+Alt+N failed under ru"
setxkbmap us
within 300 hotkey_status Active || fail "the tab does not say Ctrl+Alt+N is active again under us"
makes_note ctrl+alt+n || fail "back under us Ctrl+Alt+N made no note"
# Two groups whose letters sit on different keys (de,us: Z and Y change places). A chord is on the key
# that types its letter in the group in use, so each key fires its own action in either group; the
# keys are pressed by where they sit (29 and 52, labelled Y and Z on a US keyboard).
ctrl_alt() { keys press 37 64 "$1"; }
shelf_shown() { [ -n "$(xdotool search --onlyvisible --name '^Tarnwick shelf$' 2>/dev/null | head -n1)" ]; }
shelf_gone() { ! shelf_shown; }
# $1 the key code pressed with Ctrl+Alt, $2 what it must do: "note" (a note, no shelf) or "shelf".
fires() {
  local before
  before=$(note_count)
  ctrl_alt "$1"
  if [ "$2" = note ]; then
    within 50 bash -c '[ "$(sqlite3 "file:'"$store"'?mode=ro" "select count(*) from Note")" -gt '"$before"' ]' || return 1
    sleep 0.3
    shelf_gone
  else
    within 50 shelf_shown || return 1
    sleep 0.3
    [ "$(note_count)" = "$before" ] || return 1
    press_in "$(xdotool search --onlyvisible --name '^Tarnwick shelf$' | head -n1)" Escape
    within 50 shelf_gone
  fi
}
setxkbmap -layout de,us
keys lock 0
focus_settings
press space  # Record "New note": Ctrl+Alt and the key typing z in the German group
ctrl_alt 29
within 30 setting_is hotkey.newNote.keyCode 6 || fail "Ctrl+Alt+Z under de stored key $(setting hotkey.newNote.keyCode)"
press Tab Tab Tab space  # Record "Open the Shelf": Ctrl+Alt and the key typing y there
ctrl_alt 52
within 30 setting_is hotkey.shelf.keyCode 16 || fail "Ctrl+Alt+Y under de stored key $(setting hotkey.shelf.keyCode)"
setting_is hotkey.shelf.modifiers 6144 || fail "Ctrl+Alt+Y under de stored $(setting hotkey.shelf.modifiers)"
fires 29 note || fail "in the German group, Ctrl+Alt+Z (key 29) made no note, or opened the shelf"
fires 52 shelf || fail "in the German group, Ctrl+Alt+Y (key 52) did not open the shelf alone"
# The app hears of the group by an event, and nothing on the server changes hands (the two keys swap
# chords): a moment for that event before the keys are pressed.
keys lock 1
sleep 1
fires 52 note || fail "in the US group, Ctrl+Alt+Z (key 52) made no note, or opened the shelf"
fires 29 shelf || fail "in the US group, Ctrl+Alt+Y (key 29) did not open the shelf alone"
keys lock 0
sleep 1
fires 29 note || fail "back in the German group, Ctrl+Alt+Z (key 29) made no note, or opened the shelf"
# Recording the shelf again lets its keys go, and only its own: New note keeps firing.
keys lock 1
sleep 1
focus_settings
press space  # the shelf row's Record button still has the keyboard
ctrl_alt 45
within 30 setting_is hotkey.shelf.keyCode 40 || fail "Ctrl+Alt+K stored key $(setting hotkey.shelf.keyCode)"
for i in 1 2 3; do
  fires 52 note || fail "after the shelf moved to Ctrl+Alt+K, Ctrl+Alt+Z made no note ($i of 3)"
done
fires 45 shelf || fail "Ctrl+Alt+K did not open the shelf"
focus_settings
within 300 hotkey_status Active || fail "the tab does not say New note's Ctrl+Alt+Z is active"
setxkbmap us
press Tab space  # Restore Defaults
within 30 setting_is hotkey.newNote.keyCode null || fail "Restore Defaults left the key"
within 30 setting_is hotkey.shelf.keyCode null || fail "Restore Defaults left the shelf's key"

echo "== 6. General: launch at login and the taskbar"
press ctrl+shift+Tab ctrl+shift+Tab
autostart_dir=$XDG_CONFIG_HOME/autostart
entry=$autostart_dir/com.fennmoor.Tarnwick.desktop
press space
within 30 test -f "$entry" || fail "no autostart entry"
within 30 setting_is general.launchAtLogin true || fail "general.launchAtLogin not stored"
press space
within 30 test ! -e "$entry" || fail "the autostart entry stayed"
rm -rf "$autostart_dir"
touch "$autostart_dir"  # a plain file where the folder belongs
press space
within 30 setting_is general.launchAtLogin false || fail "the key did not go back after the failure"
rm -f "$autostart_dir"
press Tab space
within 30 lacks_state "$settings_win" SKIP_TASKBAR || fail "still out of the taskbar: $(states "$settings_win")"
press space
within 30 has_state "$settings_win" SKIP_TASKBAR || fail "not out of the taskbar again"
# Check Now greys while it checks, and the keyboard stays by it: a second Space switches nothing on.
press Tab space  # Automatically check for updates
within 30 setting_is update.checkAutomatically true || fail "automatic checks were not switched on"
press Tab space  # Check Now
settles_to 300 1 requests_made ||
  fail "Check Now made no request (the keyboard is with \"$(xdotool getactivewindow getwindowname 2>/dev/null)\")"
press space
sleep 0.5
[ ! -e "$entry" ] && setting_is general.launchAtLogin false ||
  fail "a Space during the check switched launch at login on"
touch "$proxy_release"  # the check ends (refused); the button has the keyboard again
for _ in 1 2 3 4 5; do
  within 20 test ! -e "$proxy_release" && press space
  settles_to 50 2 requests_made && break
done
[ "$(requests_made)" = 2 ] || fail "after the check, Space did not reach Check Now: $(requests_made) requests"
touch "$proxy_release"
press shift+Tab space  # automatic checks off again: the relaunches below check nothing
within 30 setting_is update.checkAutomatically false || fail "automatic checks were not switched off"

echo "== 7. Note: the default theme and floating windows"
press ctrl+Tab
within 30 setting_is settings.selectedTab '"note"' || fail "Note was not stored"
# The Green tile: found by its paper colour in a picture of the window.
import -window "$settings_win" "$work/note-tab.png"
green=$(python3 - "$work/note-tab.png" <<'PY'
import colorsys, subprocess, sys
h, s, v = colorsys.rgb_to_hsv(0x4D / 255, 0xAF / 255, 0x78 / 255)
want = tuple(round(c * 255) for c in colorsys.hsv_to_rgb(h, min(max(s * 2.6, 0.16), 0.30), max(v, 0.94)))
ppm = subprocess.run(["convert", sys.argv[1], "ppm:-"], capture_output=True, check=True).stdout
parts = ppm.split(b"\n", 3)
w, hgt = map(int, parts[1].split()); data = parts[3]
for y in range(hgt):
    for x in range(w):
        i = 3 * (y * w + x)
        if all(abs(data[i + k] - want[k]) <= 2 for k in range(3)):
            print(x + 6, y + 6); sys.exit(0)
sys.exit(1)
PY
) || fail "no Green tile on the Note tab"
eval "$(xdotool getwindowgeometry --shell "$settings_win")"
xdotool mousemove $((X + ${green% *})) $((Y + ${green#* })) click 1
within 30 setting_is notes.defaultThemeID '"green"' || fail "Green was not stored: $(setting notes.defaultThemeID)"
xdotool key --clearmodifiers alt+shift+n
sleep 1
newest=$(sql "select themeID from Note order by createdAt desc limit 1")
[ "$newest" = green ] || fail "a new note's theme is '$newest'"
note_win=$(xdotool search --onlyvisible --name '^New Note$' | head -n1)
[ -n "$note_win" ] || fail "no note window"
has_state "$note_win" ABOVE || fail "the note window does not float: $(states "$note_win")"
on_every_desktop "$note_win" || fail "the note window is not on every desktop"
focus_settings
press Tab Tab Tab space  # New Theme…, the opacity slider, then the float switch
within 30 lacks_state "$note_win" ABOVE || fail "the note window still floats"
! on_every_desktop "$note_win" || fail "the note window is still on every desktop"
xdotool search --onlyvisible --name '^New Note$' | grep -q "$note_win" || fail "the note window was unmapped"
press space
within 30 has_state "$note_win" ABOVE || fail "the note window does not float again"
on_every_desktop "$note_win" || fail "the note window is not on every desktop again"

echo "== 8. settings.json written by another program while a switch is toggled over and over"
# The other program adds a key of its own every 40 ms, replacing the file in one step; meanwhile the
# float switch is toggled 300 times, each toggle a write of the whole file. Every key it added stays.
writer_stop=$work/writer.stop
python3 - "$settings_file" "$writer_stop" >"$work/writer.count" <<'PY' &
import json, os, sys, time
path, stop = sys.argv[1], sys.argv[2]
n = 0
while not os.path.exists(stop):
    d = json.load(open(path))
    d["test.outside%d" % n] = {"type": "int", "value": str(n)}
    with open(path + ".outside", "w") as f:
        json.dump(d, f)
    os.rename(path + ".outside", path)
    n += 1
    time.sleep(0.04)
print(n)
PY
writer_pid=$!
sleep 0.2
# shellcheck disable=SC2046
xdotool key --clearmodifiers --delay 15 $(printf 'space %.0s' $(seq 1 300))
sleep 1
touch "$writer_stop"
wait "$writer_pid" || fail "the outside writer failed"
written=$(cat "$work/writer.count")
[ "$written" -gt 20 ] || fail "the outside writer wrote only $written keys"
outside_keys_kept() {
  python3 -c 'import json,sys
d = json.load(open(sys.argv[1]))
lost = [k for k in ("test.outside%d" % i for i in range(int(sys.argv[2]))) if k not in d]
print(" ".join(lost)); sys.exit(1 if lost else 0)' "$settings_file" "$written" >"$work/lost-keys"
}
within 30 outside_keys_kept || fail "of $written keys written outside, these were lost: $(cat "$work/lost-keys")"
echo "($written keys written outside during 300 toggles, all kept)"

echo "== 9. Relaunch: the Note tab again, the endpoint with the new token"
stop_app
launch "$tarnwick"
open_settings_from_tray
within 30 setting_is settings.selectedTab '"note"' || fail "the stored tab changed"
port=""
for _ in $(seq 1 100); do port=$(listening_port); [ -n "$port" ] && break; sleep 0.1; done
[ -n "$port" ] || fail "the endpoint does not listen after the relaunch"
[ "$(keyring_token)" = "$new_token" ] || fail "the token changed across the relaunch"
drive "http://127.0.0.1:$port/mcp/$new_token" - "Another client" connect &
connect_pid=$!
answer_card Return
wait "$connect_pid" || fail "the new token does not work after the relaunch"
stop_app

echo "== 9a. Three approved clients: a triple click on Revoke revokes one"
python3 - "$settings_file" <<'PY'
import json, sys
path = sys.argv[1]
d = json.load(open(path))
d["mcp.approvedClients"] = {"type": "stringList", "value": ["Client one", "Client two", "Client three"]}
json.dump(d, open(path, "w"))
PY
# Where the first button named Revoke is on the screen, as a screen reader finds it.
revoke_box() {
  timeout 20 /usr/bin/python3 -c 'import sys
sys.path.insert(0, sys.argv[1])
from tarnwick_atspi import extents, named
node = named("Revoke")
sys.exit(1) if node is None else print(extents(node))' "$(dirname "$0")/../support"
}
approved_count() { python3 -c 'import json,sys; print(len(json.loads(sys.argv[1])))' "$(setting mcp.approvedClients)"; }
launch "$tarnwick"
open_settings_from_tray
focus_settings
press ctrl+Tab ctrl+Tab ctrl+Tab
within 30 setting_is settings.selectedTab '"connections"' || fail "Connections was not stored: $(setting settings.selectedTab)"
box=""
for _ in $(seq 1 50); do box=$(revoke_box 2>/dev/null) && break; sleep 0.2; done
[ -n "$box" ] || fail "no Revoke button on the Connections tab"
read -r x y w h <<<"$box"
xdotool mousemove $((x + w / 2)) $((y + h / 2)) sleep 0.2 click --repeat 3 --delay 80 1
settles_to 30 2 approved_count || fail "a triple click on Revoke left $(setting mcp.approvedClients)"
sleep 0.5
[ "$(approved_count)" = 2 ] || fail "a triple click on Revoke left $(setting mcp.approvedClients)"
focus_settings
press ctrl+shift+Tab ctrl+shift+Tab ctrl+shift+Tab
within 30 setting_is settings.selectedTab '"note"' || fail "Note was not stored: $(setting settings.selectedTab)"
stop_app

echo "== 10. settings.json a link to a file not made yet: the file is made, the link stays"
# The link is made once Tarnwick runs: launched without a settings file, it would check for updates.
# The toggle writes the settings before it touches the autostart entry, so the entry shows it done.
# The link at settings.json still reads $1 and leads to $2, a private file holding the toggled value $3
# and the settings read at launch.
linked_to() {
  [ -L "$settings_file" ] && [ "$(readlink "$settings_file")" = "$1" ] && [ "$(stat -c %a "$2")" = 600 ] &&
    python3 -c 'import json,sys
d = json.load(open(sys.argv[1]))
sys.exit(d["general.launchAtLogin"]["value"] != json.loads(sys.argv[2]) or d["settings.selectedTab"]["value"] != "general")' "$2" "$3"
}
launch "$tarnwick"
open_settings_from_tray
press ctrl+shift+Tab
within 30 setting_is settings.selectedTab '"general"' || fail "General was not stored"
dotfiles=$HOME/dotfiles
mkdir -p "$dotfiles"
ln -sfn "$dotfiles/tarnwick.json" "$settings_file"
press space  # Launch at login
within 30 test -f "$entry" || fail "no autostart entry"
within 30 linked_to "$dotfiles/tarnwick.json" "$dotfiles/tarnwick.json" true ||
  fail "through the link: $(ls -l "$settings_file" "$dotfiles" 2>&1)"
# A relative link (as stow makes) leads from the link's own folder.
relative=$(realpath --relative-to="$(dirname "$settings_file")" "$dotfiles")/moved.json
ln -sfn "$relative" "$settings_file"
press space
within 30 test ! -e "$entry" || fail "the autostart entry stayed"
within 30 linked_to "$relative" "$dotfiles/moved.json" false ||
  fail "through the relative link: $(ls -l "$settings_file" "$dotfiles" 2>&1)"
# A link into a folder that is not there is left as it is, no folder made, and Tarnwick carries on.
ln -sfn "$HOME/gone/tarnwick.json" "$settings_file"
press space
within 30 test -f "$entry" || fail "no autostart entry after the failed write"
within 50 grep -q "Settings file could not be written" "$log" || fail "the failed write was not reported"
[ "$(readlink "$settings_file")" = "$HOME/gone/tarnwick.json" ] || fail "the link was replaced: $(ls -l "$settings_file")"
[ ! -e "$HOME/gone" ] || fail "a folder was made for the link"
press space
within 30 test ! -e "$entry" || fail "Tarnwick did not carry on after the failed write"
# Failed writes are tried again by themselves, but the failure is told once, not on every try: over a
# few quiet seconds no more lines come (this bounds a loop of tries).
sleep 5
failures=$(grep -c "Settings file could not be written" "$log" || true)
[ "$failures" -le 3 ] || fail "the failed write was told $failures times"
# The window says so while the values wait in memory, and no longer once a retry by itself (no change
# made meanwhile) has written them.
unsaved="Settings can't be saved to disk right now: changes last only until Tarnwick quits."
banner() { timeout 30 /usr/bin/python3 "$(dirname "$0")/window-reach.py" shown "$unsaved"; }
no_banner() { ! banner; }
within 300 banner || fail "no word that the settings can't be saved"
mkdir -p "$HOME/gone"
within 700 test -f "$HOME/gone/tarnwick.json" || fail "the waiting values were not written once they could be"
within 50 no_banner || fail "the settings window still says they can't be saved after they were"
stop_app

echo "== 11. The configuration folder a link into dotfiles, settings.json a relative link on from there"
# cfg -> dot/config, and cfg/tarnwick/settings.json -> ../../store/tarnwick.json, which the system
# resolves from the real folder dot/config/tarnwick to dot/store/tarnwick.json. Whatever stands at
# store/ beside cfg (nothing, an empty folder, a pipe where the file would be) is never written.
lnk=$HOME/linked
mkdir -p "$lnk/dot/config/tarnwick" "$lnk/dot/store"
ln -s dot/config "$lnk/cfg"
real=$lnk/dot/store/tarnwick.json
cp "$dotfiles/moved.json" "$real"
ln -s ../../store/tarnwick.json "$lnk/cfg/tarnwick/settings.json"
settings_file=$lnk/cfg/tarnwick/settings.json
entry=$lnk/cfg/autostart/com.fennmoor.Tarnwick.desktop
stray=$lnk/store
stray_empty() { [ -d "$stray" ] && [ -z "$(ls -A "$stray")" ]; }
launch env XDG_CONFIG_HOME="$lnk/cfg" "$tarnwick"
open_settings_from_tray
press ctrl+Tab ctrl+shift+Tab
within 30 linked_to ../../store/tarnwick.json "$real" false || fail "General was not stored: $(ls -lR "$lnk" 2>&1)"
press space
within 30 test -f "$entry" || fail "no autostart entry"
within 30 linked_to ../../store/tarnwick.json "$real" true || fail "nothing at store/: $(ls -lR "$lnk" 2>&1)"
[ ! -e "$stray" ] || fail "something was made at the stray place: $(ls -lR "$stray")"
mkdir "$stray"
press space
within 30 test ! -e "$entry" || fail "the autostart entry stayed"
within 30 linked_to ../../store/tarnwick.json "$real" false || fail "a stray store/: $(ls -lR "$lnk" 2>&1)"
stray_empty || fail "the stray folder was written: $(ls -l "$stray")"
mkfifo "$stray/tarnwick.json"
press space
within 30 test -f "$entry" || fail "no autostart entry"
within 30 linked_to ../../store/tarnwick.json "$real" true || fail "a stray pipe: $(ls -lR "$lnk" 2>&1)"
[ -p "$stray/tarnwick.json" ] || fail "the stray pipe was replaced: $(ls -l "$stray")"
stop_app

echo "== 12. The file behind that link unreadable at launch: kept aside, the link kept and written through"
printf '{ not json' >"$real"
launch env XDG_CONFIG_HOME="$lnk/cfg" "$tarnwick"
aside_kept() {
  local aside
  for aside in "$lnk"/dot/store/tarnwick.json.corrupt-[0-9]*; do break; done
  [ -f "$aside" ] && [ "$(cat "$aside")" = "{ not json" ] &&
    [ "$(readlink "$settings_file")" = ../../store/tarnwick.json ] &&
    python3 -c 'import json,sys; sys.exit(not isinstance(json.load(open(sys.argv[1])), dict))' "$real"
}
within 100 aside_kept || fail "unreadable behind the link: $(ls -lR "$lnk" 2>&1)"
open_settings_from_tray
focus_settings
press ctrl+Tab
within 30 setting_is settings.selectedTab '"note"' || fail "nothing written through the link: $(ls -lR "$lnk" 2>&1)"
[ "$(readlink "$settings_file")" = ../../store/tarnwick.json ] || fail "the link was replaced"
[ -p "$stray/tarnwick.json" ] || fail "the stray pipe was replaced"
stop_app

echo "== 13. The same layout set again and again while Alt+Shift+N is pressed: no press lost"
launch env QT_LOGGING_RULES="hotkeys.debug=true" "$tarnwick"
within 300 grep -q "Registered shelf" "$log" || fail "the hot keys were not registered after the launch"
# A keyboard notice that changes nothing (the same layout set again and again, by two setters every
# 10 ms) leaves the grabs alone: no press is lost to the window that has the focus. Last, as the
# sixty notes stay open and the app takes a while to show them all.
layouts_stop=$work/layouts.stop
layout_setters=()
for _ in 1 2; do
  (while [ ! -e "$layouts_stop" ] && setxkbmap us; do sleep 0.01; done) &
  layout_setters+=($!)
done
before=$(note_count)
for _ in $(seq 1 60); do
  xdotool key --clearmodifiers alt+shift+n
  sleep 0.08
done
touch "$layouts_stop"
wait "${layout_setters[@]}"
settles_to 600 $((before + 60)) note_count ||
  fail "of 60 presses of Alt+Shift+N while the layout was set again and again, $((before + 60 - $(note_count))) made no note"
stop_app
echo "== Passed"
