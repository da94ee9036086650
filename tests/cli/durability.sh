#!/bin/sh
# durability.sh VORLEX SHIM.so: the order in which the tool makes its output
# durable before --rm removes the input, seen through an LD_PRELOAD shim that
# logs fsync, rename and unlink (and fails one kind of them on request): the
# output file is synced, renamed, its folder synced, and only then is the
# input unlinked; with standard output, the input goes after the output is
# synced (a regular file) or flushed (a pipe). A failure at any step keeps
# the input, exits 1 and names the step. An input changed by another
# program while the tool works (appended to, touched, replaced) is kept with
# the reason, exit 1, the output still written.
set -u
tool=$1
shim=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
export SYNC_SHIM_LOG="$work/log"
fail=0
bad() { echo "FAIL $*"; fail=1; }
seq 1 30000 >original

# in_order WHAT REGEX...: the log has a line matching each REGEX (whole
# line), each after the one before, and the last one is the last line.
in_order() {
  what=$1; shift; at=0; last=
  for re in "$@"; do
    n=$(tail -n +$((at + 1)) log | grep -n -x -E -- "$re" | head -1 | cut -d: -f1)
    [ -n "$n" ] || { bad "$what: no '$re' after line $at in: $(cat log)"; return; }
    at=$((at + n)); last=$re
  done
  tail -1 log | grep -q -x -E -- "$last" || bad "$what: '$last' is not the last call: $(cat log)"
}

# Success: the order of the calls.
cp original a; rm -f log
LD_PRELOAD=$shim "$tool" -q --rm a || bad "compress --rm failed"
in_order "compress --rm" "fsync-file $work/\.a\.vlx\..*" "rename \./\.a\.vlx\.[^ ]* a\.vlx" \
  "fsync-dir $work" "unlink a"
rm -f log
LD_PRELOAD=$shim "$tool" -q -d --rm a.vlx || bad "decompress --rm failed"
in_order "decompress --rm" "fsync-file $work/\.a\.[A-Za-z0-9]{6}" "rename \./\.a\.[^ ]* a" \
  "fsync-dir $work" "unlink a\.vlx"
cmp -s a original || bad "decompress --rm: wrong output"
rm -f log
LD_PRELOAD=$shim "$tool" -q -c --rm a >out.vlx || bad "-c --rm to a file failed"
in_order "-c --rm to a file" "fsync-file $work/out\.vlx" "unlink a"
cp original a; rm -f log
LD_PRELOAD=$shim "$tool" -q -c --rm a | cat >piped.vlx
[ -e a ] && bad "-c --rm to a pipe kept the input"
grep -q fsync log && bad "-c --rm to a pipe: a pipe is not synced: $(cat log)"
"$tool" -q -dc piped.vlx | cmp -s - original || bad "-c --rm to a pipe: wrong output"

# Failure at each step: FAIL_KIND MESSAGE OUTPUT_LEFT ARGS... (output "-" is
# standard output, to out.vlx; OUTPUT_LEFT is the file expected to exist
# besides the input, or "none").
failure() {
  kind=$1; msg=$2; left=$3; shift 3
  rm -f a a.vlx out.vlx .a.vlx.* log; cp original a
  SYNC_SHIM_FAIL=$kind LD_PRELOAD=$shim "$tool" -q "$@" >out.vlx 2>err
  rc=$?
  [ "$rc" -eq 1 ] || bad "$kind: exit $rc"
  grep -q -F -- "$msg" err || bad "$kind: message lacks '$msg': $(cat err)"
  cmp -s a original || bad "$kind: the input did not stay"
  others=$(ls -A | grep -v -x -e original -e a -e out.vlx -e err -e log -e piped.vlx)
  if [ "$left" = none ]; then
    [ -z "$others" ] || bad "$kind: left $others"
  else
    [ "$others" = "$left" ] || bad "$kind: left '$others', want $left"
  fi
}
failure fsync-file "vorlex: a: cannot sync a.vlx to disk (fsync): " none --rm a
failure rename "vorlex: a: cannot rename the temporary file to a.vlx: " none --rm a
failure fsync-dir "vorlex: a: cannot sync the folder . to disk (fsync): " a.vlx --rm a
failure unlink "vorlex: a: cannot remove the input: " a.vlx --rm a
failure fsync-file "vorlex: a: cannot sync standard output to disk (fsync): " none -c --rm a
rm -f a out.vlx; "$tool" -q -o a.vlx original
SYNC_SHIM_FAIL=fsync-file LD_PRELOAD=$shim "$tool" -q -d --rm a.vlx 2>err
rc=$?
[ "$rc" -eq 1 ] || bad "decompress, fsync-file: exit $rc"
grep -q -F "vorlex: a.vlx: cannot sync a to disk (fsync): " err || bad "decompress, fsync-file: $(cat err)"
[ -e a.vlx ] && [ ! -e a ] && [ -z "$(ls -A | grep '^\.a')" ] || bad "decompress, fsync-file: left $(ls -A)"

# An input changed between reading it and removing it: CHANGE INPUT
# MESSAGE OUTPUT ARGS... The input stays as the change left it, the output
# holds what was read, exit 1.
changed() {
  change=$1; input=$2; msg=$3; output=$4; shift 4
  rm -rf a a.vlx a.new d all.vlx log; mkdir d; cp original a; cp original d/x; cp original d/y
  SYNC_SHIM_CHANGE=$change:$input LD_PRELOAD=$shim "$tool" -q "$@" 2>err
  rc=$?
  [ "$rc" -eq 1 ] || bad "$change $*: exit $rc"
  grep -q -F -- "vorlex: $input: not removed: $msg while it was processed" err ||
    bad "$change $*: message: $(cat err)"
  [ -e "$input" ] || bad "$change $*: the input went"
  "$tool" -q -t "$output" || bad "$change $*: no good output"
}
changed append a "its size went from 168894 to 168895 bytes" a.vlx --rm a
changed touch a "it was modified" a.vlx --rm a
changed replace a "it was replaced by another file" a.vlx --rm a
changed append d/x "its size went from 168894 to 168895 bytes" all.vlx -r -o all.vlx --rm d
[ -e d/y ] && bad "-r -o: the unchanged input d/y stayed"
# The same folder named twice: each file once, all removed, exit 0.
rm -rf d all.vlx; mkdir d; cp original d/x
"$tool" -q -r -o all.vlx --rm d d/ 2>err || bad "-r d d/: exit $?: $(cat err)"
[ -e d/x ] && bad "-r d d/: the input stayed"
[ "$("$tool" -dc all.vlx | wc -c)" -eq "$(wc -c <original)" ] || bad "-r d d/: stored twice"

[ "$fail" -eq 0 ] && echo "durability: every step in order, every failure keeps the input"
[ "$fail" -eq 0 ]
