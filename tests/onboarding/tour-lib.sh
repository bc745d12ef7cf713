# Helpers of the tour's end-to-end scripts (sourced after session-lib.sh, with $settings set).

# The tour's runs start from settings that do not say it was done.
fresh_settings() {
  mkdir -p "$(dirname "$settings")"
  printf '{"update.checkAutomatically": {"type": "bool", "value": false}}\n' >"$settings"
}
setting() {
  python3 -c 'import json,sys; v=json.load(open(sys.argv[1])).get(sys.argv[2]); print("absent" if v is None else json.dumps(v["value"]))' \
    "$settings" "$1"
}
# Every wait is for the real condition, bounded generously (tenths of a second): a busy machine is slow,
# not wrong.
long=300
key() { xdotool key --clearmodifiers "$@"; }
# The title of page $1 of 8: the four key pages (2 to 5) count as their step marks do; the others are
# told apart by what they do.
page_title() {
  if [ "$1" -ge 2 ] && [ "$1" -le 5 ]; then echo "Tarnwick tour (Step $(($1 - 1)) of 4)"; else echo "Tarnwick tour"; fi
}
# The tour's window is in $tour: its title, whether it shows page $1, and the keyboard brought back to it.
tour_title() { xdotool getwindowname "$tour" 2>/dev/null || true; }
tour_at() { [ "$(tour_title)" = "$(page_title "$1")" ]; }
tour_has_focus() { active_is "$(tour_title)"; }
activate_tour() {
  xdotool windowactivate --sync "$tour" 2>/dev/null || true
  within $long tour_has_focus || fail "the tour did not take the focus back"
}
