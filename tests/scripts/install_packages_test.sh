#!/usr/bin/env bash
# scripts/install-packages against a stub apt-get, dpkg and dpkg-query, as
# an inconsistent mirror leaves them: the update fails for one index, a
# plain install cannot be solved, and an install from the base suite alone
# works. Needs no network and changes nothing on the machine.
set -uo pipefail
helper=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stubs=$work/bin
mkdir -p "$stubs"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Nothing is installed; the machine has no foreign architecture; the user is root.
printf '#!/bin/sh\nexit 1\n' >"$stubs/dpkg-query"
cat >"$stubs/dpkg" <<STUB
#!/bin/sh
echo "dpkg \$*" >>"$work/calls"
[ "\$1" = --print-architecture ] && echo amd64
exit 0
STUB
printf '#!/bin/sh\necho 0\n' >"$stubs/id"
# MODE=mirror: the update fails, a plain install fails, a pinned one works.
# MODE=broken: every install fails.
cat >"$stubs/apt-get" <<STUB
#!/bin/sh
echo "apt-get \$*" >>"$work/calls"
case "\$*" in
  update*) echo "E: Failed to fetch http://mirror/binary-i386/Packages.xz  File has unexpected size"; exit 100 ;;
  *" -t bookworm "*) [ "\$MODE" = mirror ] && exit 0
    echo "E: Unable to locate package \${*##* }"; exit 100 ;;
  *) echo "E: Unable to correct problems, you have held broken packages."; exit 100 ;;
esac
STUB
chmod +x "$stubs"/*
printf 'VERSION_CODENAME=bookworm\n' >"$work/os-release"

run() {  # mode packages...
  local mode=$1
  shift
  : >"$work/calls"
  MODE=$mode PATH=$stubs:$PATH APT_RETRY_PAUSE=0 APT_UPDATE_TRIES=2 OS_RELEASE=$work/os-release \
    APT_UPDATE_STAMP=$work/stamp-$mode \
    "$helper" --for stub-test "$@" >"$work/out" 2>&1
}

if ! run mirror wine64 wine32:i386; then
  fail "an install that works from the base suite failed: $(cat "$work/out")"
fi
[ "$(grep -c '^apt-get update' "$work/calls")" -eq 2 ] || fail "the update was not tried twice: $(cat "$work/calls")"
grep -q 'carrying on' "$work/out" || fail "no line says the update failed and why: $(cat "$work/out")"
grep -q '^dpkg --add-architecture i386' "$work/calls" || fail "i386 was not added for wine32:i386"
grep -q 'held broken packages.*base suite bookworm' "$work/out" ||
  fail "no line says why the install was pinned: $(cat "$work/out")"
grep -q -- '-t bookworm wine64 wine32:i386$' "$work/calls" || fail "no pinned install of both: $(cat "$work/calls")"

run mirror wine64 >/dev/null
grep -q '^apt-get update' "$work/calls" && fail "the update ran again within the hour: $(cat "$work/calls")"

if run broken clang valgrind; then
  fail "an install that cannot work succeeded"
fi
grep -q '^stub-test: cannot install clang valgrind: E: Unable to locate package valgrind' "$work/out" ||
  fail "the failure does not name the packages and apt's error: $(cat "$work/out")"

printf '#!/bin/sh\necho "install ok installed"\n' >"$stubs/dpkg-query"
run broken clang || fail "packages already installed made it fail"
[ ! -s "$work/calls" ] || fail "apt ran although nothing was missing: $(cat "$work/calls")"

[ "$failures" -eq 0 ] && echo "install-packages: all decisions as expected"
exit $((failures > 0))
