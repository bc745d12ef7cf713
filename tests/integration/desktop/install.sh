#!/usr/bin/env bash
# The installed application: `cmake --install` into a temporary prefix installs exactly the menu
# entry, icons, AppStream data and executable, they validate, the installed binary runs from that
# prefix and shows its tray icon, and `cpack -G DEB` packs the same files with a Depends line.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
build=${TARNWICK_BINARY_DIR:?}
id=com.fennmoor.Tarnwick
work=$(mktemp -d)
trap 'rm -rf "$work"; [ -n "$tray_pid" ] && kill "$tray_pid" 2>/dev/null; true' EXIT

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
expected="bin/tarnwick
share/applications/$id.desktop
share/icons/hicolor/scalable/apps/$id.svg
share/icons/hicolor/symbolic/apps/$id-symbolic.svg
share/metainfo/$id.metainfo.xml"
fonts=$(cd "$here/../../.." && ls resources/fonts/*.ttf 2>/dev/null | sed 's#^resources/#share/tarnwick/#' || true)
[ -n "$fonts" ] && expected=$(printf '%s\n%s' "$expected" "$fonts")
installed=$(cd "$prefix" && find . -type f | sed 's#^\./##' | LC_ALL=C sort)
[ "$installed" = "$(echo "$expected" | LC_ALL=C sort)" ] || fail "installed files differ:
$installed"

desktop-file-validate "$prefix/share/applications/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >/dev/null || fail "appstreamcli validate"
grep -qx "Exec=$prefix/bin/tarnwick" "$prefix/share/applications/$id.desktop" || fail "Exec does not name the installed binary"
grep -qx "Icon=$id" "$prefix/share/applications/$id.desktop" || fail "Icon is not the application id"

# --version answers with no display and no bus at all.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u DBUS_SESSION_BUS_ADDRESS "$prefix/bin/tarnwick" --version) ||
  fail "--version exit status $?"
[ "$out" = "tarnwick $(sed -n 's/^project(Tarnwick VERSION \([0-9.]*\).*/\1/p' "$here/../../../CMakeLists.txt")" ] ||
  fail "--version printed '$out'"

# Started from the prefix it finds its data there and shows its tray icon; its autostart entry
# starts what the installed menu entry starts.
ensure_tray
log=$work/tarnwick.log
QT_LOGGING_RULES="app.debug=true" "$prefix/bin/tarnwick" >"$log" 2>&1 &
pid=$!
wait_for 20 tray_icon_shown "$pid" || fail "no tray icon from the installed binary"
grep -q "Data files from $prefix/share" "$log" || fail "data files not found in the prefix: $(cat "$log")"
no_warnings "$log" || fail "warnings at launch"
terminate_promptly "$pid" 5

# The .deb holds the same files (under /usr) and depends on the libraries dpkg-shlibdeps found.
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >/dev/null) || fail "cpack"
deb=$(ls "$work"/deb/*.deb)
contents=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sed 's#^\./usr/##' | LC_ALL=C sort)
[ "$contents" = "$(echo "$expected" | LC_ALL=C sort)" ] || fail "package contents differ:
$contents"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
[[ "$depends" == *libqt6core6* && "$depends" == *libc6* ]] || fail "Depends misses the libraries: $depends"
echo "install: ok"
