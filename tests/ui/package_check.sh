#!/usr/bin/env bash
# Packs the build tree with `cpack -G DEB`, unpacks the package into a scratch root with
# `dpkg -x` and checks what a user's machine gets: only the programs, the plug-in, the default
# settings, the desktop entry, the icons and the project file type; dependencies found by
# dpkg-shlibdeps plus the font; installed programs that run on system libraries alone (the demo
# exported by the installed tavrona-cli); and settings that go to $XDG_CONFIG_HOME/tavrona when
# the program's folder cannot be written, seeded once and never overwritten.
# Usage: package_check.sh BUILD-DIR TAVRONA-MAKE-DEMO
set -euo pipefail
build=$(cd "$1" && pwd)
make_demo=$2
work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "package check: $*"; exit 1; }

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log"; fail "cpack failed"; }
debs=("$work"/out/tavrona_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one tavrona_*.deb in $work/out"
deb=${debs[0]}

info=$(dpkg-deb -I "$deb")
field() { sed -n "s/^ $1: //p" <<<"$info"; }
[ "$(field Package)" = tavrona ] || fail "package name"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ "$(field Version)" = "$version" ] || fail "version $(field Version), the project's is $version"
[ "$(field Maintainer)" = "Tavrona developers <developers@tavrona.invalid>" ] || fail "maintainer"
depends=$(field Depends)
echo "package check: Depends: $depends"
# The package names alone, one a line (FFmpeg's carry their soname's number: libavformat59).
names=$(sed 's/ ([^)]*)//g; s/, /\n/g' <<<"$depends")
for p in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6multimedia6 \
         libavformat libavcodec libavutil libswscale libswresample fonts-ipafont-gothic; do
  found=0
  while read -r n; do
    [[ "$n" == "$p" || ( "$n" == "$p"* && "${n#"$p"}" =~ ^[0-9]+$ ) ]] && found=1
  done <<<"$names"
  [ $found -eq 1 ] || fail "Depends lacks $p"
done

# Exactly what ships: no test program, benchmark, demo maker or generated mime cache.
expected="./usr/bin/tavrona
./usr/bin/tavrona-cli
./usr/lib/tavrona/qtimage.spi
./usr/lib/tavrona/tavrona
./usr/lib/tavrona/tavrona-cli
./usr/lib/tavrona/tavrona.INI
./usr/share/applications/tavrona.desktop
./usr/share/icons/hicolor/48x48/apps/tavrona.png
./usr/share/icons/hicolor/scalable/apps/tavrona.svg
./usr/share/mime/packages/tavrona.xml"
actual=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
[ "$actual" = "$expected" ] || { diff <(echo "$expected") <(echo "$actual") || true; fail "file list"; }

root=$work/root
dpkg -x "$deb" "$root"
chmod 755 "$work" "$root"
[ -L "$root/usr/bin/tavrona" ] && [ "$(readlink -f "$root/usr/bin/tavrona")" = "$root/usr/lib/tavrona/tavrona" ] ||
  fail "usr/bin/tavrona does not lead to usr/lib/tavrona/tavrona"
cmp -s "$root/usr/lib/tavrona/tavrona.INI" "$(dirname "$0")/../../src/ui/resources/tavrona.INI" ||
  fail "the default tavrona.INI"
desktop=$root/usr/share/applications/tavrona.desktop
mime_type=$(sed -n 's/.*<mime-type type="\([^"]*\)".*/\1/p' "$root/usr/share/mime/packages/tavrona.xml")
[ "$mime_type" = application/x-tavrona-project ] || fail "mime type $mime_type"
grep -q 'glob pattern="\*.vpj"' "$root/usr/share/mime/packages/tavrona.xml" || fail "mime glob"
grep -q "^MimeType=$mime_type;\$" "$desktop" || fail "the desktop entry's MimeType"
grep -q '^Icon=tavrona$' "$desktop" || fail "the desktop entry's Icon"
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$desktop"; fi

# The installed ELF files carry no search path into the build tree and find every library.
for f in tavrona tavrona-cli qtimage.spi; do
  elf=$root/usr/lib/tavrona/$f
  ! readelf -d "$elf" | grep -qE 'RPATH|RUNPATH' || fail "$f has a library search path"
  ! env -u LD_LIBRARY_PATH ldd "$elf" | grep -q 'not found' || fail "$f: a library is missing"
done

# The installed command line on the demo, with system libraries only.
export QT_QPA_PLATFORM=offscreen
cli=$root/usr/bin/tavrona-cli
mkdir "$work/demo"
"$make_demo" "$work/demo" >/dev/null
chmod -R a+rX "$work/demo"
run() { env -u LD_LIBRARY_PATH HOME="$work/root-home" XDG_CONFIG_HOME="$work/root-config" "$@"; }
run "$cli" info "$work/demo/demo.vpj" | grep -q '1280 x 720' || fail "tavrona-cli info"
run "$cli" export "$work/demo/demo.vpj" -o "$work/demo/five.avi" --frames 0-4 --no-audio \
  >/dev/null 2>&1 || fail "tavrona-cli export"
frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
  -of csv=p=0 "$work/demo/five.avi")
[ "$frames" = 5 ] || fail "the export holds $frames frames, not 5"
run "$root/usr/bin/tavrona" --version 2>/dev/null | grep -q "$version" || fail "tavrona --version"

# Settings. A folder the user may write (root's here, or the user's own unpacked copy) keeps
# them beside the executable: nothing goes to the configuration home.
if [ -w "$root/usr/lib/tavrona" ]; then
  [ ! -e "$work/root-config" ] || fail "a writable program folder sent the settings away"
fi
# A folder the user may not write: the user's file under XDG_CONFIG_HOME, seeded once.
config=$work/user-config
mkdir "$config"
as_user=(env)
if [ "$(id -u)" -eq 0 ]; then
  chown nobody "$config"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups env)
else
  chmod a-w "$root/usr/lib/tavrona"
fi
user_run() {
  "${as_user[@]}" -u LD_LIBRARY_PATH HOME=/nonexistent XDG_CONFIG_HOME="$config" "$@"
}
user_run "$cli" codecs >/dev/null || fail "tavrona-cli as a user who cannot write its folder"
user_ini=$config/tavrona/tavrona.INI
cmp -s "$user_ini" "$root/usr/lib/tavrona/tavrona.INI" || fail "the user's settings were not seeded"
printf '[Settings]\r\nAbortTimeout=7000\r\n' >"$user_ini"
user_run "$cli" codecs >/dev/null || fail "tavrona-cli, second run"
grep -q 'AbortTimeout=7000' "$user_ini" || fail "the user's settings were replaced"
cmp -s "$root/usr/lib/tavrona/tavrona.INI" "$(dirname "$0")/../../src/ui/resources/tavrona.INI" ||
  fail "the installed default was written"
echo "package check: passed"
