#!/usr/bin/env bash
# Tries the Debian package `make package` built in BUILD (default build/): its file list, the
# unit as systemd reads it, the user and folder it creates, every program run from the unpacked
# package, lintian, and a second build that must list the same files. Exit 0 when all holds.
set -euo pipefail
build=${1:-build}
deb=$(ls "$build"/rvserver_*.deb)
work=$(mktemp -d /tmp/rvpackage-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "package-check: $*" >&2; exit 1; }

# Paths, modes and owners; the demo's folders and files are many, so only their count is kept.
listing() { dpkg-deb -c "$1" | awk '{print $1, $2, $6}' | sed 's|^\(.*\./usr/share/rvserver/demo/\).*|\1...|' | sort | uniq -c; }
listing "$deb" > "$work/first"
expected="./usr/bin/rvserver ./usr/bin/rvcheck ./usr/bin/rvquery ./usr/bin/rvadmin ./usr/bin/rvresults
./usr/bin/rvlive ./usr/bin/rvreplay ./lib/systemd/system/rvserver@.service
./usr/lib/sysusers.d/rvserver.conf ./usr/lib/tmpfiles.d/rvserver.conf
./usr/share/rvserver/demo/cfg/rvservercfg.ini ./usr/share/doc/rvserver/README.md
./usr/share/doc/rvserver/copyright ./usr/share/doc/rvserver/changelog.gz
./usr/share/man/man8/rvserver.8.gz ./usr/share/man/man1/rvcheck.1.gz ./usr/share/man/man1/rvquery.1.gz
./usr/share/man/man1/rvadmin.1.gz ./usr/share/man/man1/rvresults.1.gz ./usr/share/man/man1/rvlive.1.gz
./usr/share/man/man1/rvreplay.1.gz"
files=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in $expected; do grep -qx "$path" <<<"$files" || fail "$path is not in the package"; done
grep -q '^\./srv' <<<"$files" && fail "the package must leave /srv to tmpfiles.d"
dpkg-deb -c "$deb" | awk '$2 != "root/root" {exit 1}' || fail "a file not owned by root"
dpkg-deb -I "$deb" control | grep -q '^Depends: .*libsystemd0' || fail "no dependency on libsystemd0"

dpkg-deb -x "$deb" "$work/root"
for tool in rvcheck rvquery rvadmin rvresults rvlive rvreplay; do
    "$work/root/usr/bin/$tool" --help >/dev/null || fail "$tool --help failed"
done
# The server reads no command line: it runs the packaged demo on a free port and closes when asked.
cp -r "$work/root/usr/share/rvserver/demo" "$work/event"
sed -i 's/^PORT=.*\r$/PORT=0\r/' "$work/event/cfg/rvservercfg.ini"
"$work/root/usr/bin/rvcheck" "$work/event" >/dev/null || fail "rvcheck refuses the packaged demo"
(cd "$work/event" && exec "$work/root/usr/bin/rvserver" >console.txt 2>&1) & server=$!
for _ in $(seq 50); do grep -q "Current session=0" "$work/event/console.txt" 2>/dev/null && break; sleep 0.1; done
kill -USR1 "$server"
wait "$server" || fail "the packaged server did not end with exit 0 when drained"

# The unit as systemd reads it, its programs taken from the unpacked package.
if command -v systemd-analyze >/dev/null 2>&1; then
    mkdir -p "$work/unit"
    sed "s|/usr/bin/|$work/root/usr/bin/|" "$work/root/lib/systemd/system/rvserver@.service" \
        > "$work/unit/rvserver@demo.service"
    systemd-analyze verify --man=no "$work/unit/rvserver@demo.service" 2>&1 | tee "$work/verify"
    [ ! -s "$work/verify" ] || fail "systemd-analyze verify has complaints"
    # The sandbox: an exposure of 2.0 or more ("OK" ends at 4.9) means a setting was lost.
    systemd-analyze security --offline=true --threshold=20 "$work/unit/rvserver@demo.service" \
        >/dev/null || fail "systemd-analyze security rates the unit above 2.0"
fi
# The user and folder the unit runs with, as sysusers.d and tmpfiles.d make them.
mkdir -p "$work/sys/etc"
systemd-sysusers --root="$work/sys" "$work/root/usr/lib/sysusers.d/rvserver.conf" >/dev/null 2>&1
grep -q '^rvserver:x:[0-9]*:[0-9]*:Ralvo race server:/srv/rvserver:/usr/sbin/nologin$' \
    "$work/sys/etc/passwd" || fail "sysusers.d made no rvserver user with /srv/rvserver"
systemd-tmpfiles --root="$work/sys" --create "$work/root/usr/lib/tmpfiles.d/rvserver.conf"
uid=$(awk -F: '$1 == "rvserver" {print $3}' "$work/sys/etc/passwd")
[ "$(stat -c %u "$work/sys/srv/rvserver")" = "$uid" ] || fail "tmpfiles.d made no /srv/rvserver for it"

if command -v lintian >/dev/null 2>&1; then
    lintian --fail-on error "$deb" || fail "lintian reports errors"
fi

cmake --build "$build" --target package >/dev/null 2>&1
listing "$(ls "$build"/rvserver_*.deb)" > "$work/second"
diff "$work/first" "$work/second" || fail "a second build lists other files"
echo "package-check: $(basename "$deb") is fine"
