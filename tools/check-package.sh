#!/usr/bin/env bash
# Builds the Debian package as `dpkg-buildpackage -b -us -uc` does on a clean checkout, checks it
# with lintian (errors fail, warnings are shown) and for the files a desktop needs, unpacks it
# into a scratch root and runs the program from there. It builds in a copy of the checkout's files
# under build/package, so the tree itself and the folder above it stay as they are.
set -euo pipefail
cd "$(dirname "$0")/.."
fail() { echo "FAIL: $*"; exit 1; }

version=$(sed -n 's/^project(Kadrovo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[[ -n $version ]] || fail "no version in CMakeLists.txt"
changelog=$(dpkg-parsechangelog -l debian/changelog -S Version)
[[ $changelog == "$version" ]] || fail "debian/changelog has $changelog, CMakeLists.txt $version"

out=build/package
rm -rf "$out"
mkdir -p "$out/kadrovo"
# The files a clone would hold: tracked ones and new ones not ignored, as they are now.
git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' f; do [[ -e $f ]] && printf '%s\0' "$f"; done |
    tar --null -T - -cf - | tar -xf - -C "$out/kadrovo"

echo "Building the package (log: $out/build.log)"
# A compiler cache, when one is installed; the fixed folder lets a second build use it.
[[ -d /usr/lib/ccache ]] && export PATH=/usr/lib/ccache:$PATH
(cd "$out/kadrovo" && dpkg-buildpackage -b -us -uc -j"$(nproc)") >"$out/build.log" 2>&1 || {
    tail -n 40 "$out/build.log"
    fail "dpkg-buildpackage"
}
arch=$(dpkg --print-architecture)
deb=$out/kadrovo_${version}_$arch.deb
[[ -f $deb ]] || fail "no $deb"

echo "lintian:"
lintian --fail-on error "$out/kadrovo_${version}_$arch.changes" || fail "lintian reports errors"

id=org.kadrovo.Kadrovo
contents=$(dpkg-deb -c "$deb")
for f in usr/bin/kadrovo usr/share/applications/$id.desktop usr/share/metainfo/$id.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/$id.svg usr/share/icons/hicolor/48x48/apps/$id.png \
    usr/share/man/man1/kadrovo.1.gz usr/share/doc/kadrovo/copyright; do
    grep -q " \./$f\$" <<<"$contents" || fail "not in the package: $f"
done

root=$out/root
dpkg -x "$deb" "$root"
got=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$root/usr/bin/kadrovo" --version)
[[ $got == "kadrovo $version" ]] || fail "the unpacked program says '$got'"
echo "Package $deb: built, lintian clean of errors, unpacks and runs."
