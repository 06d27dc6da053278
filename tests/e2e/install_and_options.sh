#!/usr/bin/env bash
# The program's command line (the window's and the batch's) without a display, and an
# installation into a staging folder with everything a desktop needs, checked by the freedesktop
# validators where they are installed.
# Usage: install_and_options.sh KADROVO BUILD_DIR VERSION WORKDIR
set -euo pipefail
kadrovo=$1 build=$2 version=$3 work=$4
fail() { echo "FAIL: $*"; exit 1; }

mkdir -p "$(dirname "$work")"
unset DISPLAY WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
"$kadrovo" --help | grep -q '^Aufruf: kadrovo ' || fail "--help"
[[ $("$kadrovo" --version) == "kadrovo $version" ]] || fail "--version"
status=0
"$kadrovo" --unbekannt >/dev/null 2>"$work.err" || status=$?
[[ $status -eq 2 ]] && grep -q '^Aufruf: kadrovo ' "$work.err" || fail "unknown option: $status"
status=0
"$kadrovo" --batch --gamma 236 --out "$work.out" a.jpg 2>"$work.err" || status=$?
[[ $status -eq 2 && ! -e $work.out ]] || fail "batch usage error: $status"

rm -rf "$work"
DESTDIR="$work" cmake --install "$build" --prefix /opt/kadrovo >/dev/null
share=$work/opt/kadrovo/share
id=org.kadrovo.Kadrovo
for f in bin/kadrovo share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
    share/icons/hicolor/scalable/apps/$id.svg share/icons/hicolor/{48x48,128x128,256x256}/apps/$id.png \
    share/man/man1/kadrovo.1; do
    [[ -s $work/opt/kadrovo/$f ]] || fail "not installed: $f"
done
for size in 48 128 256; do
    file "$share/icons/hicolor/${size}x$size/apps/$id.png" | grep -q "$size x $size" ||
        fail "icon of $size pixels has another size"
done
grep -qx 'Exec=kadrovo %f' "$share/applications/$id.desktop" || fail "Exec line"
newest=$(grep -m1 -o '<release version="[^"]*"' "$share/metainfo/$id.metainfo.xml")
[[ $newest == "<release version=\"$version\"" ]] || fail "newest release in the metainfo: $newest"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$share/applications/$id.desktop" || fail "desktop-file-validate"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$share/metainfo/$id.metainfo.xml" || fail "appstreamcli"
    # The description with a published screenshot, as a configuration that names one makes it.
    src=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$build/CMakeCache.txt")
    cmake -S "$src" -B "$work/shot" -G Ninja -DKADROVO_TESTS=OFF -DKADROVO_BENCH=OFF \
        -DKADROVO_SCREENSHOT_URL=https://example.org/main-window.png >/dev/null
    shot=$work/shot/desktop/$id.metainfo.xml
    grep -q '<image type="source">https://example.org/main-window.png<' \
        "$shot" || fail "no screenshot in the description"
    appstreamcli validate --no-net "$shot" || fail "appstreamcli with a screenshot"
fi
echo "1 passed, 0 failed"
