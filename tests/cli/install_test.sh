#!/bin/sh
# install_test.sh BUILD_DIR SOURCE_DIR
# The tool as installed into a fresh prefix: the manual page renders without
# warnings, the bash completion loads and completes, file(1) names a
# container with the installed magic, and `vorlex bench` measures its
# built-in input with the source tree hidden (a private mount namespace
# covers it with an empty folder; skipped where that is not allowed).
set -eu
build=$1; src=$(cd "$2" && pwd)
prefix=$(mktemp -d /tmp/vorlex-install-XXXXXX)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/vorlex share/man/man1/vorlex.1 share/bash-completion/completions/vorlex \
         share/vorlex/magic; do
  [ -f "$prefix/$f" ] || fail "$f not installed"
done
vorlex=$prefix/bin/vorlex

# The page renders, and groff finds nothing to warn about.
page=$(LC_ALL=C MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/vorlex.1" 2>"$prefix/man.err")
[ ! -s "$prefix/man.err" ] || fail "man: $(cat "$prefix/man.err")"
# Every option --help shows is on the page and completes.
for opt in $("$vorlex" --help | grep -o -e '--[a-z][a-z-]*' | sort -u); do
  echo "$page" | grep -q -e "$opt" || fail "the page does not show $opt"
  grep -q -e "$opt" "$prefix/share/bash-completion/completions/vorlex" ||
    fail "the completion does not offer $opt"
done

# The completion loads and completes options, codecs and bench formats.
got=$(PATH="$prefix/bin:$PATH" bash -c '
  . /usr/share/bash-completion/bash_completion
  . "$1"
  c() { COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
        COMPREPLY=(); _vorlex; echo "${COMPREPLY[*]}"; }
  complete -p vorlex >/dev/null && c vorlex --recu && c vorlex --codec qu &&
    c vorlex --codec p && c vorlex bench --format js && c vorlex bench --codec copy,lzj' _ \
  "$prefix/share/bash-completion/completions/vorlex")
# (--codec p: no codec, and not the "plug-in" of the search report below the table.)
expected="--recursive
quicklz

json
copy,lzjb"
[ "$got" = "$expected" ] || fail "completion gave: $got"

# file(1) with the magic.
printf 'some text' >"$prefix/data"
"$vorlex" --codec lzjb -B 64K "$prefix/data"
kind=$(file -b -m "$prefix/share/vorlex/magic" "$prefix/data.vlx")
[ "$kind" = "vorlex compressed data, version 1, codec lzjb, 65536-byte blocks" ] ||
  fail "file says: $kind"

# The bench needs nothing from the source tree.
bench="$vorlex bench --codec copy --rounds 1 --min-time 0 --quiet --format csv"
if [ "$(id -u)" -eq 0 ] && unshare -m true 2>/dev/null; then
  # shellcheck disable=SC2016 # expanded by the inner shell
  out=$(unshare -m sh -c 'mount -t tmpfs none "$1" && [ -z "$(ls -A "$1")" ] && shift && exec "$@"' \
    _ "$src" $bench) || fail "bench with the sources hidden: $out"
else
  echo "note: cannot hide the source tree here; running the bench from / instead" >&2
  out=$(cd / && $bench) || fail "bench: $out"
fi
echo "$out" | grep -q "^vorlex-sources,copy," || fail "no row for the built-in input: $out"
echo "ok"
