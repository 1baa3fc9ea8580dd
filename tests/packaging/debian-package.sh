#!/usr/bin/env bash
# The Debian package, built by cpack from this build folder's programs (as scripts/package does from the
# Release build): lintian finds no error; installed into a throw-away root with dpkg --root it puts every
# file where it belongs, its programs run from there with the version CMake gave them, find their library
# through RUNPATH, and hold no path of the build or source tree; the man page names every command and
# option of tq9's help; the bash completion completes commands, options and card folders; removing the
# package leaves nothing behind.
# Usage: debian-package.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$1 source=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
ma=$(dpkg-architecture -qDEB_HOST_MULTIARCH) # the private library's folder is lib/$ma/tq9-image-converter
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

(cd "$build" && cpack -G DEB -B "$tmp/out" >"$tmp/cpack.log" 2>&1) || { cat "$tmp/cpack.log" >&2; exit 1; }
deb=$(ls "$tmp"/out/tq9-image-converter_*_amd64.deb 2>/dev/null)
[ -f "$deb" ] || { ls "$tmp/out" >&2; echo "FAIL: no tq9-image-converter_VERSION_amd64.deb" >&2; exit 1; }
version=$(sed -n 's/^project(tq9 VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
[ "$(basename "$deb")" = "tq9-image-converter_${version}_amd64.deb" ] || fail "package named $(basename "$deb")"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version $(dpkg-deb -f "$deb" Version)"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libavcodec libavformat libqt6widgets6 libc6 qt6-qpa-plugins qt6-image-formats-plugins; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

# No error; and no maintainer script (it would keep the package's record after a removal).
lintian --fail-on error --no-tag-display-limit "$deb" >"$tmp/lintian.log" 2>&1 || { cat "$tmp/lintian.log" >&2; fail "lintian reports errors"; }
grep '^E:' "$tmp/lintian.log" >&2 && fail "lintian errors"
control=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t)
grep -E 'post|pre' <<<"$control" && fail "the package has maintainer scripts"

root=$tmp/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status"
dpkg --root="$root" --log=/dev/null --force-depends --force-not-root --force-script-chrootless -i "$deb" \
  >"$tmp/dpkg.log" 2>&1 || { cat "$tmp/dpkg.log" >&2; fail "dpkg --root -i"; }

for f in usr/bin/tq9 usr/bin/tq9-image-converter usr/lib/$ma/tq9-image-converter/libtq9media.so \
         usr/share/applications/tq9-image-converter.desktop usr/share/metainfo/com.zentri.tq9_image_converter.metainfo.xml \
         usr/share/icons/hicolor/16x16/apps/tq9-image-converter.png \
         usr/share/icons/hicolor/scalable/apps/tq9-image-converter.svg \
         usr/share/man/man1/tq9.1.gz usr/share/man/man1/tq9-image-converter.1.gz \
         usr/share/bash-completion/completions/tq9 \
         usr/share/doc/tq9-image-converter/copyright usr/share/doc/tq9-image-converter/changelog.gz \
         usr/share/tq9-image-converter/manual/TQ9_image_converter_e.html \
         usr/share/tq9-image-converter/manual/TQ9_image_converter_j.html; do
  [ -f "$root/$f" ] || fail "missing /$f"
done
for program in tq9 tq9-image-converter; do
  # (Each output is read whole: with pipefail, grep -q leaving a pipe early would fail the writer.)
  dynamic=$(readelf -d "$root/usr/bin/$program")
  grep -qF "[\$ORIGIN/../lib/$ma/tq9-image-converter]" <<<"$dynamic" ||
    fail "$program: RUNPATH is not \$ORIGIN/../lib/$ma/tq9-image-converter"
  loaded=$(LD_LIBRARY_PATH= ldd "$root/usr/bin/$program")
  grep -q "libtq9media.so => $root/usr/bin/../lib/$ma/tq9-image-converter/" <<<"$loaded" ||
    fail "$program does not load the installed media library: $(grep tq9media <<<"$loaded")"
done
out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/tq9" --version) || fail "tq9 --version exits non-zero"
[ "$out" = "tq9 (TQ-9 Image Converter) $version" ] || fail "tq9 --version says: $out"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/tq9-image-converter" --version) ||
  fail "tq9-image-converter --version exits non-zero"
[ "$out" = "tq9-image-converter (TQ-9 Image Converter) $version" ] || fail "tq9-image-converter --version says: $out"
[ "$(zcat "$root/usr/share/doc/tq9-image-converter/changelog.gz" | head -n 1)" = "tq9-image-converter ($version) unstable; urgency=medium" ] ||
  fail "the changelog's first entry is not version $version"

# Nothing installed may point back into the tree it was built from.
for path in "$(cd "$build" && pwd -P)" "$(cd "$source" && pwd -P)" "$build" "$source"; do
  found=$(grep -rlaF -- "$path" "$root/usr" || true)
  [ -z "$found" ] || fail "installed files name $path: $found"
done

appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/com.zentri.tq9_image_converter.metainfo.xml" \
  >"$tmp/as.log" 2>&1 || { cat "$tmp/as.log" >&2; fail "appstreamcli validate"; }
appstreamcli validate-tree --no-net --pedantic "$root" >"$tmp/as.log" 2>&1 ||
  { cat "$tmp/as.log" >&2; fail "appstreamcli validate-tree"; }
# A build with Debian's hardening (Release: scripts/package) shows it in the installed programs.
if grep -q '^TQ9_HARDENING:BOOL=ON' "$build/CMakeCache.txt" && command -v hardening-check >/dev/null; then
  # Control-flow protection needs every linked object built with it; Debian 12's own are not (hardening-check
  # fails /usr/bin/ls on it too).
  hardening-check --nocfprotection "$root/usr/bin/tq9" "$root/usr/bin/tq9-image-converter" \
    "$root/usr/lib/$ma/tq9-image-converter/libtq9media.so" >"$tmp/hardening.log" 2>&1 ||
    { cat "$tmp/hardening.log" >&2; fail "hardening-check"; }
fi
desktop-file-validate "$root/usr/share/applications/tq9-image-converter.desktop" || fail "desktop-file-validate"

# Each command's synopsis stays on one line as man shows it; the desktop program's page has its menus.
rendered=$(LC_ALL=C MANWIDTH=80 man -l "$root/usr/share/man/man1/tq9.1.gz" 2>/dev/null)
grep -q 'export \[--to DIR\] FILE\.\.\.' <<<"$rendered" || fail "tq9(1) breaks the line of export [--to DIR] FILE..."
zcat "$root/usr/share/man/man1/tq9-image-converter.1.gz" | grep -q '^\.SH MENUS' || fail "tq9-image-converter(1) has no MENUS"

# The man page keeps up with the program: every command and every option of the help texts is in it.
man=$(zcat "$root/usr/share/man/man1/tq9.1.gz" | sed 's/\\-/-/g')
help=$("$root/usr/bin/tq9" --help)
commands=$(sed -n '/^Commands:/,/^$/s/^  \([a-z]*\) .*/\1/p' <<<"$help")
[ -n "$commands" ] || fail "no commands in tq9 --help"
for c in $commands; do
  grep -q "^\.[A-Z]* *$c\b" <<<"$man" || fail "tq9(1) does not describe the command $c"
  for o in $("$root/usr/bin/tq9" "$c" --help | sed -n 's/^  --\([a-z-]*\).*/\1/p'); do
    grep -q -- "--$o\b" <<<"$man" || fail "tq9(1) does not name $c's option --$o"
  done
done

# Bash completion, as the shell runs it: commands, options of a command, card folders.
mkdir -p "$tmp/card/TQ-9/TQ9_0001" "$tmp/card/TQ-9/TQ9_0002"
: >"$tmp/card/TQ-9/.TQ-9_SD.PRM"
complete_words() { # the completions of the words given, the last being the one under the cursor
  PATH="$root/usr/bin:$PATH" TQ9_MOUNTS_FILE=/dev/null bash --norc -c '
    source /usr/share/bash-completion/bash_completion
    source "$0"
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _tq9 tq9 "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf "%s\n" "${COMPREPLY[@]}"' "$root/usr/share/bash-completion/completions/tq9" "$@"
}
[ "$(complete_words tq9 im)" = import ] || fail "completing 'tq9 im' gives: $(complete_words tq9 im)"
[ "$(complete_words tq9 import --le | sort | tr '\n' ' ')" = "--letterbox " ] ||
  fail "completing 'tq9 import --le' gives: $(complete_words tq9 import --le)"
folders=$(complete_words tq9 --card-root "$tmp/card" ls "" | sort | tr '\n' ' ')
[ "$folders" = "$tmp/card/TQ-9/TQ9_0001 $tmp/card/TQ-9/TQ9_0002 " ] || fail "completing a folder of ls gives: $folders"

dpkg --root="$root" --log=/dev/null --force-not-root --force-script-chrootless --remove tq9-image-converter \
  >"$tmp/dpkg.log" 2>&1 || { cat "$tmp/dpkg.log" >&2; fail "dpkg --root --remove"; }
left=$(cd "$root" && find . -path ./var -prune -o -print | grep -v '^\.$' || true)
[ -z "$left" ] || fail "removing the package leaves: $left"
status=$(dpkg --root="$root" -s tq9-image-converter 2>/dev/null | sed -n 's/^Status: //p')
[ -z "$status" ] || fail "after a removal dpkg still records the package: $status"

[ "$failures" -eq 0 ] || exit 1
echo "the package $(basename "$deb") builds, passes lintian, installs, runs and removes cleanly"
