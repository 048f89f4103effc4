#!/usr/bin/env bash
# Installs the build into a throw-away DESTDIR with the prefix /usr, as a package would,
# and runs the installed vorn-share from there: every file lands in its place, and the
# program finds its converter script where it was installed, not in the source tree.
#   installed-tree.sh CMAKE BUILD_DIR VERSION
set -euo pipefail
cmake=$1 build=$2 version=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root="$scratch/root"
failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}

DESTDIR="$root" "$cmake" --install "$build" --prefix /usr >/dev/null

for file in bin/vorn-share share/vorn-image-manager/img2shr.py share/man/man1/vorn-share.1.gz \
    lib/systemd/system/vorn-share@.service share/doc/vorn-share/copyright; do
    [ -f "$root/usr/$file" ] || fail "nothing installed at /usr/$file"
done
grep -qx 'ExecStart=/usr/bin/vorn-share serve' "$root/usr/lib/systemd/system/vorn-share@.service" ||
    fail "the unit does not start /usr/bin/vorn-share"
gzip -dc "$root/usr/share/man/man1/vorn-share.1.gz" | grep -q '^\.TH VORN-SHARE 1' ||
    fail "the man page is not a section 1 page"

program="$root/usr/bin/vorn-share"
export XDG_CACHE_HOME="$scratch/cache" XDG_CONFIG_HOME="$scratch/config"
output=$("$program" --version)
[[ "$output" == "vorn-share $version"* ]] || fail "--version says '$output'"

output=$("$program" tools)
grep -qxF "picture converter script: $root/usr/share/vorn-image-manager/img2shr.py" \
    <<<"$output" || fail "tools did not name the installed script:"$'\n'"$output"

"$program" demo "$scratch/library" >/dev/null || fail "demo"
output=$("$program" catalog "$scratch/library") || fail "catalog"
grep -qF '"total": 2, ' <<<"$output" && grep -qF '/Games/Lunar_Base.po"' <<<"$output" ||
    fail "catalog does not list the demo's two volumes:"$'\n'"$output"

[ "$failures" -eq 0 ] || exit 1
echo "the installed tree works"
