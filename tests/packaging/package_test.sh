#!/usr/bin/env bash
# package_test.sh SOURCE_DIR BUILD_DIR EXPECTED_VERSION_LINE
# Exit 77 (skipped) when the Debian packaging tools are missing.
set -euo pipefail
source_dir=$1
build_dir=$2
expected=$3
for tool in dpkg-deb dpkg-shlibdeps; do
    if ! command -v "$tool" >/dev/null; then
        echo "skipped: $tool is not installed"
        exit 77
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/torv-package-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
# A packager names OUTDIR relative to where they stand, which is not the source tree.
deb=$(cd "$work" && "$source_dir/tools/package" out "$build_dir")
deb=$(cd "$work" && realpath -e -- "$deb")
[ "$(dirname "$deb")" = "$work/out" ] || { echo "FAIL: the package went to [$deb], not into OUTDIR"; exit 1; }
dpkg-deb -x "$deb" "$work/root"

failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}
for file in usr/bin/torv usr/share/man/man1/torv.1* usr/share/applications/torv.desktop \
    usr/share/icons/hicolor/48x48/apps/torv.png usr/share/icons/hicolor/32x32/apps/torv.png \
    usr/share/metainfo/*.metainfo.xml; do
    compgen -G "$work/root/$file" >/dev/null || fail "the package holds no $file"
done

# The metadata must name the menu entry and the program that the package really installs.
for metainfo in "$work"/root/usr/share/metainfo/*.metainfo.xml; do
    launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
    [ -f "$work/root/usr/share/applications/$launchable" ] ||
        fail "launchable [$launchable] is not installed"
    binary=$(sed -n 's:.*<binary>\(.*\)</binary>.*:\1:p' "$metainfo")
    [ -x "$work/root/usr/bin/$binary" ] || fail "binary [$binary] is not installed"
done

# The manual page names the version it ships with.
man_title=$(gzip -dcf "$work"/root/usr/share/man/man1/torv.1* | grep '^\.TH ')
case "$man_title" in
    *"\"$expected\""*) ;;
    *) fail "the manual page's title [$man_title] does not name [$expected]" ;;
esac

depends=$(dpkg-deb -f "$deb" Depends)
case "$depends" in
    *libqt6widgets6*) ;;
    *) fail "Depends [$depends] lacks the Qt libraries the binary needs" ;;
esac

version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$work/root/usr/bin/torv" --version) ||
    fail "the packaged torv --version failed"
[ "$version" = "$expected" ] || fail "the packaged torv --version printed [$version], not [$expected]"
exit "$failed"
