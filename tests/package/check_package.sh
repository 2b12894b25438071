#!/usr/bin/env bash
# check_package.sh BUILD VERSION [CPACK]: builds the Debian package of the build folder BUILD with
# CPack into a temporary folder and checks it: its name and version, Depends (from the
# shared libraries, plus the fonts), every file a lab needs in its place, the programs
# in it running, the icons of the sizes their folders say, and lintian finding no error
# or warning.
set -euo pipefail
build="$(cd "$1" && pwd)"
version="$2"
cpack="${3:-cpack}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

"$cpack" --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; echo "FAIL: cpack" >&2; exit 1; }
deb="$work/snyltdyr_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { ls "$work" >&2; echo "FAIL: no $deb" >&2; exit 1; }
echo "Package: $deb"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = snyltdyr ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
depends="$(field Depends)"
echo "Depends: $depends"
names="$(sed 's/ *([^)]*)//g; s/, */\n/g' <<<"$depends")"  # one package name a line
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 fonts-liberation2; do
  grep -qxF "$lib" <<<"$names" || fail "Depends lacks $lib"
done

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"
expected=(/usr/bin/snyltdyr /usr/bin/snyltdyr-cli
          /usr/share/applications/snyltdyr.desktop
          /usr/share/man/man1/snyltdyr.1.gz /usr/share/man/man1/snyltdyr-cli.1.gz
          /usr/share/doc/snyltdyr/copyright /usr/share/doc/snyltdyr/changelog.gz)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/snyltdyr.png")
done
for path in "${expected[@]}"; do
  grep -qx "$path" "$work/contents" || fail "the package lacks $path"
done
if grep -Ev '^/usr/(bin|share)/' "$work/contents" | grep -v '/$' | grep -q .; then
  fail "files outside /usr/bin and /usr/share: $(grep -Ev '^/usr/(bin|share)/' "$work/contents" | grep -v '/$' | tr '\n' ' ')"
fi

root="$work/root"
dpkg-deb -x "$deb" "$root"
[ "$("$root/usr/bin/snyltdyr-cli" --version)" = "snyltdyr-cli $version" ] ||
  fail "snyltdyr-cli --version says '$("$root/usr/bin/snyltdyr-cli" --version 2>&1)'"
[ "$("$root/usr/bin/snyltdyr" --version)" = "snyltdyr $version" ] ||
  fail "snyltdyr --version says '$("$root/usr/bin/snyltdyr" --version 2>&1)'"
for program in snyltdyr snyltdyr-cli; do
  file -b "$root/usr/bin/$program" | grep -q ', stripped' || fail "$program is not stripped"
done
grep -qx 'Exec=snyltdyr %f' "$root/usr/share/applications/snyltdyr.desktop" ||
  fail "the desktop entry does not pass the folder opened"
for icon in "$root"/usr/share/icons/hicolor/*/apps/snyltdyr.png; do
  size="$(basename "$(dirname "$(dirname "$icon")")")"
  file -b "$icon" | grep -q "PNG image data, ${size/x/ x }," || fail "$icon is not a $size PNG"
done
# The companion's page lists every command its help lists.
page="$(zcat "$root/usr/share/man/man1/snyltdyr-cli.1.gz")"
commands="$("$root/usr/bin/snyltdyr-cli" --help | sed -n '/^Commands:/,/^$/p' | awk '/^  [a-z]/{print $1}')"
[ -n "$commands" ] || fail "snyltdyr-cli --help lists no commands"
for c in $commands; do
  grep -qF "\\fB${c//-/\\-}\\fR" <<<"$page" || fail "the manual page lacks the command $c"
done

# lintian: errors and warnings fail, the rest is shown.
lintian --fail-on error,warning --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 ||
  fail "lintian reports errors or warnings"
cat "$work/lintian.log"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "The package passed every check."
