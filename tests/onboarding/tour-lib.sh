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
