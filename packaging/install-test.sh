#!/usr/bin/env bash
# Installs the build into a temporary root and starts the installed program offscreen with
# --self-check: it must find its picture and card-template libraries, DB/Template.mdb, the
# example, a card template and the help beside itself, come up in English without DB_ML.ini
# and in German with the shipped translation copied to DB_ML.ini. mdbtool and the desktop
# entry are checked too. When dpkg-deb is there, the Debian package is built, unpacked and
# checked the same way.
#   install-test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
fail() { echo "FAIL: $*" >&2; exit 1; }

# The installed program under ROOT: files in place, starts, finds everything, translates.
check_root() {
  local root=$1 what=$2
  for f in usr/bin/tessor usr/bin/mdbtool usr/lib/tessor/tessor usr/lib/tessor/libKvImgIO.so \
      usr/lib/tessor/libKvScaleRot.so usr/lib/tessor/libKvCardIO.so usr/lib/tessor/DB/Template.mdb \
      usr/lib/tessor/Layout/Employee.mds usr/lib/tessor/Example/Cards.mdb \
      usr/lib/tessor/DB_ML.template.ini usr/lib/tessor/DB_ML.de.ini usr/lib/tessor/Tessor.html \
      usr/share/man/man1/mdbtool.1 usr/share/applications/tessor.desktop \
      usr/share/icons/hicolor/scalable/apps/tessor.svg; do
    [[ -e $root/$f ]] || fail "$what: no $f"
  done
  [[ ! -e $root/usr/lib/tessor/DB_ML.ini ]] || fail "$what: installs DB_ML.ini, so it does not start in English"
  ls "$root"/usr/lib/tessor/Example/Pictures/* >/dev/null 2>&1 || fail "$what: no example pictures"

  # Started through the launcher from elsewhere, as a desktop does.
  local out
  out=$(cd / && "$root/usr/bin/tessor" --self-check) || fail "$what: self-check failed:
$out"
  echo "$out" | sed "s|^|$what: |"
  grep -qx "folder: $root/usr/lib/tessor" <<<"$out" || fail "$what: the program does not run from its folder"
  grep -qx 'menu: ok "File(&F)" (English)' <<<"$out" || fail "$what: not in English without DB_ML.ini"

  # The German translation, copied to DB_ML.ini as the README says.
  cp "$root/usr/lib/tessor/DB_ML.de.ini" "$root/usr/lib/tessor/DB_ML.ini"
  local german
  german=$(awk '/^\[Menu\]/{m=1;next} /^\[/{m=0} m && index($0,"File(&F)=")==1 {print substr($0,10); exit}' \
    "$root/usr/lib/tessor/DB_ML.ini")
  [[ -n $german && $german != "File(&F)" ]] || fail "$what: DB_ML.de.ini has no German File menu"
  out=$("$root/usr/bin/tessor" --self-check) || fail "$what: self-check with DB_ML.ini failed:
$out"
  grep -qxF "menu: ok \"$german\" (DB_ML.ini)" <<<"$out" || fail "$what: menu not translated: $out"
  rm "$root/usr/lib/tessor/DB_ML.ini"

  # The installed mdbtool reads the installed example, and its manual page names its commands.
  "$root/usr/bin/mdbtool" tables "$root/usr/lib/tessor/Example/Cards.mdb" | grep -qx Cards ||
    fail "$what: mdbtool does not list the example's table"
  grep -q '^MimeType=.*application/vnd.ms-access;' "$root/usr/share/applications/tessor.desktop" ||
    fail "$what: the desktop entry has no .mdb MIME type"
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root/usr/share/applications/tessor.desktop" || fail "$what: desktop entry"
  fi
}

DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
check_root "$work/root" "cmake --install"

if command -v dpkg-deb >/dev/null && command -v dpkg-shlibdeps >/dev/null; then
  (cd "$work" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/pkg" >/dev/null) ||
    fail "cpack -G DEB"
  deb=$(ls "$work"/pkg/*.deb)
  info=$(dpkg-deb -I "$deb")
  grep -q '^ Depends:.*libqt6widgets6' <<<"$info" || fail "package depends on no Qt: $info"
  grep -q '^ Depends:.*qt6-qpa-plugins' <<<"$info" || fail "package lacks the Qt platform plugins"
  dpkg-deb -x "$deb" "$work/deb"
  check_root "$work/deb" "$(basename "$deb")"
else
  echo "dpkg-deb or dpkg-shlibdeps missing: the Debian package is not built"
fi
echo "install test passed"
