#!/usr/bin/env bash
# Installs the Debian 12 packages of one set:
#   run   what building and running Tarnwick need (scripts/run.sh)
#   test  everything: also the test, fuzz and benchmark tools and the integration tests' desktop session
#         (scripts/test.sh; the default)
# Idempotent: packages already present are left alone, and apt is only touched when something is missing.
# Usage: scripts/install-deps.sh [run|test]
set -euo pipefail

set_name=${1:-test}
case "$set_name" in
  run | test) ;;
  *)
    echo "usage: $0 [run|test]" >&2
    exit 2
    ;;
esac

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config
  # libraries
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-image-formats-plugins libgl-dev libxkbcommon-dev
  libsqlite3-dev libssl-dev libsecret-1-dev libpam0g-dev libxcb1-dev libxcb-keysyms1-dev libxcb-xkb-dev libicu-dev
  # spelling: Enchant with its Hunspell provider and the US English dictionary (the fallback language)
  libenchant-2-dev hunspell-en-us
)
[ "$set_name" = test ] && packages+=(
  ccache clang libclang-rt-14-dev libfuzzer-14-dev clang-format
  # the linker of both test builds: several times faster than the default one on the test executables
  lld
  # tests and benchmarks (python3 runs the layer check)
  googletest libgtest-dev libgmock-dev libbenchmark-dev python3
  # integration tests: an X server, a window manager, a session bus, a notification daemon, a keyring, PAM wrapper
  xvfb openbox dbus dbus-bin dbus-x11 dunst gnome-keyring libsecret-tools libpam-wrapper xdotool xclip x11-utils x11-xserver-utils x11-xkb-utils sqlite3 iproute2 procps
  # the accessibility bus and a client for the screen-reader checks
  at-spi2-core python3-pyatspi
  # real browsers whose pages a capture reads over the accessibility bus
  firefox-esr chromium
  # screenshots of the desktop session (a failing end-to-end script keeps one)
  imagemagick
  # a system tray for the status icon
  trayer
  fonts-dejavu-core
  # the time zones the reminder tests set (a day the clocks skip an hour), and the locales they type in
  tzdata locales
  # the installed files and the .deb: menu entry and AppStream checks, dpkg-shlibdeps, lintian, man -l
  desktop-file-utils appstream dpkg-dev file lintian man-db
  # the MCP client used by the black-box test
  nodejs
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
# npm comes with some Node.js builds; only install Debian's when no npm is on the PATH.
if [ "$set_name" = test ]; then
  command -v npm >/dev/null 2>&1 || missing+=(npm)
fi

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

[ "$set_name" = test ] || exit 0

# The locales the reminder tests type dates in (month first, day first, year first, a word after the
# date), as their users have them generated.
wanted_locales=(en_US.UTF-8 de_DE.UTF-8 sv_SE.UTF-8 bg_BG.UTF-8)
missing_locales=()
for l in "${wanted_locales[@]}"; do
  locale -a 2>/dev/null | grep -qix "${l%.UTF-8}.utf8" || missing_locales+=("$l")
done
if [ ${#missing_locales[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "Generating locales: ${missing_locales[*]}"
  for l in "${missing_locales[@]}"; do
    grep -qx "$l UTF-8" /etc/locale.gen 2>/dev/null || echo "$l UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
  done
  $SUDO locale-gen
fi

# The official MCP SDK client of the black-box endpoint test, at the version its lock file pins.
sdk_client="$(cd "$(dirname "$0")/.." && pwd)/tests/mcp/sdk-client"
wanted=$(node -p "require('$sdk_client/package.json').dependencies['@modelcontextprotocol/sdk']")
have=$(node -p "require('$sdk_client/node_modules/@modelcontextprotocol/sdk/package.json').version" 2>/dev/null || true)
if [ "$wanted" != "$have" ]; then
  echo "Installing the MCP SDK client $wanted"
  (cd "$sdk_client" && npm ci --no-audit --no-fund)
fi
