#!/bin/sh
# environment.sh VORLEX: the tool in odd environments. Existing devices,
# FIFOs and links to them given as output with -f are written into and stay
# what they were; closed standard descriptors never receive a file; FIFO and
# device inputs are refused at once unless -f; --rm leaves a file with other
# hard links alone unless -f; every fatal signal (and a file size limit)
# leaves no temporary file; a broken pipe on standard output fails the run;
# a root-compressed file keeps its owner; a long name whose output still
# fits is compressed.
set -u
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
fail=0
bad() { echo "FAIL $*"; fail=1; }
seq 1 20000 >data
"$tool" -q -o data.vlx data
leftovers() { ls -A | grep '^\.' ; }

# ---- Outputs that are not regular files --------------------------------
mkfifo out.fifo
timeout 20 cat out.fifo >got &
"$tool" -q -f -o out.fifo data || bad "fifo output: exit $?"
wait
[ -p out.fifo ] || bad "fifo output: no longer a FIFO"
"$tool" -q -dc got | cmp -s - data || bad "fifo output: wrong data through it"
"$tool" -q -o out.fifo data 2>err && bad "fifo output without -f accepted"
grep -q "already exists" err || bad "fifo output without -f: $(cat err)"
if [ "$(id -u)" = 0 ] && mknod null c 1 3 2>/dev/null; then
  ln -s null link-to-null
  for out in null link-to-null; do
    "$tool" -q -f -o "$out" data || bad "device output $out: exit $?"
    [ -c null ] && [ -L link-to-null ] || bad "device output $out: replaced ($(ls -l null link-to-null))"
  done
  rm -f null link-to-null
fi
[ -z "$(leftovers)" ] || bad "outputs: left $(leftovers)"

# ---- Closed standard descriptors ---------------------------------------
cp data.vlx closed.vlx
(exec 0<&- 2>&-; "$tool" -d --rm --progress closed.vlx) || bad "closed 0 and 2: exit $?"
cmp -s closed data || bad "closed 0 and 2: output differs from the original"
rm -f closed; cp data.vlx closed.vlx
(exec 0<&- 1>&- 2>&-; "$tool" -d -v --progress closed.vlx) || bad "closed 0, 1 and 2: exit $?"
cmp -s closed data || bad "closed 0, 1 and 2: output differs from the original"
rm -f closed closed.vlx

# ---- Inputs that are not regular files ---------------------------------
mkfifo in.fifo
timeout 10 "$tool" -q in.fifo 2>err
rc=$?
[ "$rc" -eq 1 ] || bad "fifo input: exit $rc (124: it waited)"
grep -q "in.fifo: not a regular file" err || bad "fifo input: $(cat err)"
timeout 10 "$tool" -q -c /dev/zero >/dev/null 2>err
rc=$?
[ "$rc" -eq 1 ] && grep -q "not a regular file" err || bad "/dev/zero input: exit $rc, $(cat err)"
# Forced, a FIFO is read whichever side opens first: the writer may already
# wait in open() when the tool looks at the file.
for writer_first in 0 1; do
  timeout 20 sh -c 'cat data >in.fifo' &
  [ $writer_first = 1 ] && sleep 1
  timeout 10 "$tool" -q -f -c in.fifo | "$tool" -q -dc | cmp -s - data ||
    bad "fifo input with -f (writer first: $writer_first)"
  wait
done
timeout 20 "$tool" -q -c <in.fifo >/dev/null &
timeout 20 sh -c 'echo x >in.fifo'
wait $! || bad "a FIFO as standard input is read"
rm -f in.fifo in.fifo.vlx

# ---- --rm and hard links ------------------------------------------------
cp data linked && ln linked linked2
"$tool" -q --rm linked 2>err && bad "--rm of a linked file accepted"
grep -q "linked: has 1 other link; not processed with --rm (use -f)" err || bad "hard link: $(cat err)"
[ -e linked ] && [ ! -e linked.vlx ] || bad "hard link: files changed"
"$tool" -q -f --rm linked || bad "hard link with -f: exit $?"
[ ! -e linked ] && [ -e linked.vlx ] && cmp -s linked2 data || bad "hard link with -f: files"
rm -f linked2 linked.vlx

# ---- Signals --------------------------------------------------------------
# The tool waits on a FIFO for input, its temporary output created; each
# signal must remove it. (A background command of sh ignores INT and QUIT:
# env gives the tool every signal's default action.)
mkfifo feed
alive() { [ -e "/proc/$1" ] && [ "$(cut -d' ' -f3 "/proc/$1/stat")" != Z ]; }
for sig in HUP INT QUIT USR1 USR2 ALRM PIPE TERM XCPU VTALRM PROF; do
  env --default-signal "$tool" -q -o out.vlx - <feed 2>/dev/null &
  pid=$!
  exec 3>feed
  i=0
  while [ -z "$(leftovers)" ] && [ "$i" -lt 500 ]; do sleep 0.01; i=$((i + 1)); done
  [ -n "$(leftovers)" ] || bad "SIG$sig: the temporary file never appeared"
  kill -s "$sig" "$pid"
  i=0
  while alive "$pid" && [ "$i" -lt 500 ]; do sleep 0.01; i=$((i + 1)); done
  alive "$pid" && { bad "SIG$sig: still running"; kill -KILL "$pid"; }
  wait "$pid"
  rc=$?
  exec 3>&-
  [ "$rc" -gt 128 ] || bad "SIG$sig: exit $rc"
  [ -z "$(leftovers)" ] && [ ! -e out.vlx ] || bad "SIG$sig: left $(ls -A)"
done
rm -f feed
# A file size limit (SIGXFSZ) on a large incompressible output.
head -c 2000000 /dev/urandom >random
(ulimit -f 100; "$tool" -q -o random.vlx random 2>/dev/null)
rc=$?
[ "$rc" -ne 0 ] || bad "ulimit -f: exit 0"
[ -z "$(leftovers)" ] && [ ! -e random.vlx ] || bad "ulimit -f: left $(ls -A)"
# A broken pipe on standard output fails the run, whether SIGPIPE kills it
# or is ignored and the write fails.
for mode in default ignored; do
  ( [ "$mode" = ignored ] && trap '' PIPE; "$tool" -q -c random 2>/dev/null; echo $? >rc ) | head -c 10 >/dev/null
  [ "$(cat rc)" -ne 0 ] || bad "broken pipe ($mode SIGPIPE): exit 0"
done
rm -f random rc

# ---- Owner, group, long names --------------------------------------------
if [ "$(id -u)" = 0 ]; then
  cp data owned && chown nobody:nogroup owned && chmod 0640 owned
  "$tool" -q owned || bad "owned: exit $?"
  [ "$(stat -c %U:%G:%a owned.vlx)" = "nobody:nogroup:640" ] ||
    bad "owner not kept: $(stat -c %U:%G:%a owned.vlx)"
  rm -f owned owned.vlx
fi
for len in 245 251; do
  name=$(printf "%${len}s" | tr ' ' n)
  cp data "$name"
  "$tool" -q "$name" 2>err || bad "a $len-character name: $(cat err)"
  [ -e "$name.vlx" ] || bad "a $len-character name: no output"
  rm -f "$name" "$name.vlx"
done

[ "$fail" -eq 0 ] && echo "environment: all cases passed"
[ "$fail" -eq 0 ]
