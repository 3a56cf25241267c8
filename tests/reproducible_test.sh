#!/usr/bin/env bash
# The release's package, zips and one-file page, built twice from this
# checkout (its commit with any change not committed yet) in two folders at
# two paths, minutes apart, under umask 022 and 002, in two locales and time
# zones: the same bytes, or what differs in them is shown.
# Usage: reproducible_test.sh   (from anywhere in the checkout)
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/tests/checks.sh"
rev=$(git -C "$top" stash create)
rev=${rev:-HEAD}
a=$tmp/a b=$tmp/somewhere/else/b
on_exit='git -C "$top" worktree remove --force "$a"; git -C "$top" worktree remove --force "$b"'
git -C "$top" worktree add -q --detach "$a" "$rev" && git -C "$top" worktree add -q --detach "$b" "$rev" || exit 1

build() {  # build FOLDER UMASK LOCALE ZONE
    (cd "$1" && umask "$2" && LANG=$3 TZ=$4 bash dist/release.sh --no-capture "$1/out") >"$1.log" 2>&1 ||
        { tail -n 30 "$1.log"; return 1; }
}
check "built in $a, umask 022, C, UTC" build "$a" 022 C UTC
check "built in $b, umask 002, C.UTF-8, Pacific/Auckland" build "$b" 002 C.UTF-8 Pacific/Auckland

# same A B: cmp, and where they differ, how; in a package or zip, the files
# in them that differ.
same() {
    cmp -s "$1" "$2" && return 0
    case $1 in *.deb | *.zip) ;; *) diff "$1" "$2"; return 1 ;; esac
    local x
    for x in "$1" "$2"; do
        mkdir -p "$x.d"
        case $x in
            *.deb) dpkg-deb -c "$x" >"$x.d.list" && dpkg-deb -R "$x" "$x.d" ;;
            *.zip) unzip -Z -l "$x" | sed 1d >"$x.d.list" && unzip -q "$x" -d "$x.d" ;;
        esac
    done
    diff "$1.d.list" "$2.d.list"
    diff -r "$1.d" "$2.d"
    return 1
}
for f in "$a"/out/*/*; do
    check "${f##*/}: the same bytes twice" same "$f" "$b/out/${f#"$a"/out/}"
done
verdict
