#!/usr/bin/env bash
# Usage: check_package.sh DEB
# Checks the Debian package that scripts/package made: its fields, the files
# it must hold, lintian, and that its programs, taken out into a scratch
# folder, run there: make_screenshot shows the installed default model on an
# Xvfb of its own. Prints what fails; the status is the number of failures.
set -uo pipefail
deb="$(realpath "$1")"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
  echo "package: $*"
  failures=$((failures + 1))
}

# The runtime packages of freeglut and the image and archive libraries, under their names of several
# Debian releases, and never a development package.
depends="$(dpkg-deb -f "$deb" Depends)"
for wanted in 'libglut3[.0-9]*|freeglut3' 'libpng16-16[a-z0-9]*' 'libjpeg62-turbo' 'libwebp[0-9]+' \
  'zlib1g' 'libtinygltf[0-9a-z.]*'; do
  grep -Eq "(^|, )($wanted)( |,|$)" <<<"$depends" || fail "Depends names no $wanted: $depends"
done
grep -q -- '-dev\b' <<<"$depends" && fail "Depends names a development package: $depends"
[ "$(dpkg-deb -f "$deb" Recommends)" = xvfb ] || fail "Recommends is not xvfb"
[ "$(dpkg-deb -f "$deb" Section)" = graphics ] || fail "Section is not graphics"

# What must be there (other files may come along); all of it under /usr,
# owned by root, folders 0755.
listing="$(dpkg-deb -c "$deb")"
for path in bin/aseview bin/aseview-export bin/make_knot bin/make_texture bin/make_screenshot \
  share/man/man1/aseview.1.gz share/man/man1/aseview-export.1.gz share/man/man1/make_knot.1.gz share/man/man1/make_texture.1.gz \
  share/man/man1/make_screenshot.1.gz share/aseview/knot.ase share/aseview/map2.tga \
  share/doc/aseview/copyright share/doc/aseview/changelog.Debian.gz; do
  grep -q " \./usr/$path\$" <<<"$listing" || fail "no /usr/$path"
done
grep -v -e ' \./usr/' -e ' \./$' <<<"$listing" | grep . && fail "files outside /usr"
grep -v ' root/root ' <<<"$listing" | grep . && fail "files not owned by root"
grep '^d' <<<"$listing" | grep -v '^drwxr-xr-x ' && fail "folders that are not 0755"

lintian --fail-on error "$deb" 2>/dev/null || fail "lintian reports errors"

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
cd "$scratch"
"$root/usr/bin/make_knot" knot.ase >/dev/null && cmp -s knot.ase "$root/usr/share/aseview/knot.ase" ||
  fail "make_knot does not make the installed default model"
shot="$(env -u DISPLAY "$root/usr/bin/make_screenshot" --keep run "$root/usr/share/aseview/knot.ase" shot.png)" ||
  fail "make_screenshot failed"
[ "$shot" = "$scratch/shot.png" ] || fail "make_screenshot printed '$shot'"
grep -qx "Loading file $root/usr/share/aseview/knot.ase" run/console.txt &&
  grep -qx "Load succesfult" run/console.txt || fail "the viewer did not load the installed model"
# With no map2.tga here, make_texture beside it made the default one.
cmp -s run/map2.tga "$root/usr/share/aseview/map2.tga" || fail "make_texture did not make the default texture"
# The knot on white: white is the commonest colour, a good share of the
# 640 x 480 pixels is not white, and they are of many colours.
file shot.png | grep -q 'PNG image data, 640 x 480' || fail "shot.png is no 640 x 480 PNG"
histogram="$(pngtopnm shot.png | ppmhist -noheader)"
read -r r g b _ white <<<"$histogram"
colours="$(wc -l <<<"$histogram")"
[ "$r $g $b" = "255 255 255" ] && [ $((640 * 480 - white)) -gt 15000 ] && [ "$colours" -gt 1000 ] ||
  fail "shot.png does not show the model: $colours colours, the commonest $r $g $b on $white pixels"

# The exporter, free of GL and X, writes the installed model.
readelf -d "$root/usr/bin/aseview-export" | grep -E 'NEEDED.*(libGL|libglut|libX11)' &&
  fail "aseview-export links a GL, GLUT or X library"
"$root/usr/bin/aseview-export" "$root/usr/share/aseview/knot.ase" knot.glb >/dev/null &&
  [ "$(head -c 4 knot.glb)" = glTF ] || fail "aseview-export did not export the installed model"

[ $failures -eq 0 ] && echo "package: $(basename "$deb") passed"
exit $failures
