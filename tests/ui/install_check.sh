#!/usr/bin/env bash
# Installs the build tree into a temporary prefix and checks what a user's machine gets: the
# programs, the plug-in and the default settings side by side, working links in bin, the desktop
# entry, the icons and the project file type; a second install keeps the user's settings.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "install check: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(cd "$prefix" && ls -d lib*/tavrona | head -n 1)
[ -n "$libdir" ] || fail "no lib*/tavrona folder"
for f in tavrona tavrona-cli qtimage.spi tavrona.INI; do
  [ -e "$prefix/$libdir/$f" ] || fail "missing $libdir/$f"
done
for f in bin/tavrona bin/tavrona-cli share/applications/tavrona.desktop \
         share/mime/packages/tavrona.xml share/icons/hicolor/scalable/apps/tavrona.svg \
         share/icons/hicolor/48x48/apps/tavrona.png; do
  [ -e "$prefix/$f" ] || fail "missing $f"
done
[ -L "$prefix/bin/tavrona" ] || fail "bin/tavrona is not a link"
grep -q '^Exec=tavrona %f$' "$prefix/share/applications/tavrona.desktop" || fail "desktop entry Exec"
grep -q '^MimeType=application/x-tavrona-project;$' "$prefix/share/applications/tavrona.desktop" ||
  fail "desktop entry MimeType"
grep -q 'glob pattern="\*.vpj"' "$prefix/share/mime/packages/tavrona.xml" || fail "mime glob"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/tavrona.desktop"
fi

# The installed programs run through their links and find the plug-in and settings beside them.
export QT_QPA_PLATFORM=offscreen
"$prefix/bin/tavrona-cli" codecs | grep -qw raw || fail "tavrona-cli codecs"
"$prefix/bin/tavrona" --version | grep -q '1.2' || fail "tavrona --version"

# A reinstall leaves the user's settings as they are.
printf '[Settings]\r\nAbortTimeout=7000\r\n' >"$prefix/$libdir/tavrona.INI"
cmake --install "$build" --prefix "$prefix" >/dev/null
grep -q 'AbortTimeout=7000' "$prefix/$libdir/tavrona.INI" || fail "the settings were replaced"
echo "install check: passed"
