#!/usr/bin/env bash
# The installed application: `cmake --install` into a temporary prefix installs exactly the menu
# entry, icons, AppStream data, manual page, package documents and executable, they validate, the
# installed binary runs from that prefix and shows its tray icon, and `cpack -G DEB` packs the same
# files and the PAM service with a Depends line, in a package lintian finds nothing wrong with.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
build=${TARNWICK_BINARY_DIR:?}
id=com.fennmoor.Tarnwick
work=$(mktemp -d)
trap 'rm -rf "$work"; [ -n "$tray_pid" ] && kill "$tray_pid" 2>/dev/null; true' EXIT

prefix=$work/prefix
install_log=$(cmake --install "$build" --prefix "$prefix")
# The PAM service belongs to the system's /etc/pam.d: only the /usr prefix (and the package) puts it there.
grep -q "Not installing the PAM service file outside the /usr prefix" <<<"$install_log" ||
  fail "the install did not say where the PAM service file goes"
DESTDIR=$work/root cmake --install "$build" --prefix /usr >/dev/null
cmp "$here/../../../data/pam/tarnwick" "$work/root/etc/pam.d/tarnwick" || fail "no PAM service file with the /usr prefix"
expected="bin/tarnwick
share/applications/$id.desktop
share/icons/hicolor/scalable/apps/$id.svg
share/icons/hicolor/symbolic/apps/$id-symbolic.svg
share/metainfo/$id.metainfo.xml
share/man/man1/tarnwick.1.gz
share/doc/tarnwick/copyright
share/doc/tarnwick/changelog.Debian.gz
share/lintian/overrides/tarnwick"
fonts=$(cd "$here/../../.." && ls resources/fonts/*.ttf 2>/dev/null | sed 's#^resources/#share/tarnwick/#' || true)
[ -n "$fonts" ] && expected=$(printf '%s\n%s' "$expected" "$fonts")
installed=$(cd "$prefix" && find . -type f | sed 's#^\./##' | LC_ALL=C sort)
[ "$installed" = "$(echo "$expected" | LC_ALL=C sort)" ] || fail "installed files differ:
$installed"

desktop-file-validate "$prefix/share/applications/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >/dev/null || fail "appstreamcli validate"
# The manual page reads without a single warning.
man_errors=$(MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/tarnwick.1.gz" 2>&1 >/dev/null) ||
  fail "man -l failed: $man_errors"
[ -z "$man_errors" ] || fail "the manual page has warnings: $man_errors"
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
[ "$contents" = "$(printf '%s\n./etc/pam.d/tarnwick' "$expected" | LC_ALL=C sort)" ] || fail "package contents differ:
$contents"
[ -z "$(dpkg-deb -c "$deb" | awk '$2 != "root/root"')" ] || fail "files not owned by root: $(dpkg-deb -c "$deb")"
[ "$(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles)" = /etc/pam.d/tarnwick ] || fail "the PAM service is not a conffile"
file -L "$work/deb/_CPack_Packages/Linux/DEB/"*/usr/bin/tarnwick 2>/dev/null | grep -q ", stripped" ||
  fail "the packaged binary is not stripped"
lintian --fail-on error,warning "$deb" 2>/dev/null || fail "lintian found errors or warnings"
# Nor the informational tags of an unhardened or unstripped binary, nor a font left unexplained.
info=$(lintian -I "$deb" 2>/dev/null | grep -E "hardening-|binary-has-unneeded-section|font-" || true)
[ -z "$info" ] || fail "lintian: $info"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
[[ "$depends" == *libqt6core6* && "$depends" == *libc6* ]] || fail "Depends misses the libraries: $depends"
[ "$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//' | sort | uniq -d)" = "" ] || fail "Depends names a package twice: $depends"
[[ "$(dpkg-deb -f "$deb" Recommends)" == *qt6-wayland* ]] || fail "the Wayland platform is not recommended"
# The copyright file has no line of a lone space (a paragraph break is " .").
! dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/tarnwick/copyright | grep -qx ' ' ||
  fail "the copyright file has a line of a single space"
echo "install: ok"
