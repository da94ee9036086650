#!/bin/sh
# tool_interop.sh VORLEX: raw lz4, zstd and gzip data goes both ways between
# vorlex and the codecs' own tools: vorlex output (several levels) through
# `TOOL -dc`, tool output (one frame, and several concatenated) through
# `vorlex --raw -d`. A missing tool is skipped with a message (exit 77 when
# every tool is missing); scripts/setup.sh installs them. Then the tools'
# files by name (the codec from the suffix), zstd windows over the memory
# limit, gzip's trailing garbage, lz4's legacy format, zstd's --fast and
# --ultra, and the messages for a --size too small and files not read.
set -u
vorlex=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
ran=0

# Text from the source tree, plus bytes no compressor can shrink.
src=${VORLEX_SOURCE_DIR:-$(dirname "$0")/../..}
cat "$src"/src/host/*.cpp "$src"/README.md > "$dir/in"
head -c 70000 /dev/urandom >> "$dir/in"

check() {  # what, file
  if cmp -s "$2" "$dir/in"; then :; else echo "FAIL: $1"; fail=1; fi
}

for tool in lz4 zstd gzip; do
  if ! command -v $tool >/dev/null 2>&1; then
    echo "skip: no $tool tool (scripts/setup.sh installs it)"
    continue
  fi
  ran=1
  for level in 1 9; do
    "$vorlex" --raw -c --codec $tool -$level "$dir/in" | $tool -dc > "$dir/out" 2>/dev/null
    check "vorlex --codec $tool -$level | $tool -dc" "$dir/out"
  done
  $tool -c < "$dir/in" | "$vorlex" --raw -d -c --codec $tool > "$dir/out"
  check "$tool -c | vorlex --raw -d --codec $tool" "$dir/out"
  # Two frames (members) the tool wrote, back to back.
  head -c 50000 "$dir/in" | $tool -c > "$dir/two"
  tail -c +50001 "$dir/in" | $tool -c >> "$dir/two"
  "$vorlex" --raw -d -c --codec $tool "$dir/two" > "$dir/out"
  check "two $tool frames through vorlex --raw -d" "$dir/out"
done
if command -v zstd >/dev/null 2>&1; then
  # The done-when check: zstd's highest ordinary level beats its lowest.
  low=$("$vorlex" --raw -c --codec zstd -1 "$dir/in" | wc -c)
  high=$("$vorlex" --raw -c --codec zstd -19 "$dir/in" | wc -c)
  "$vorlex" --raw -c --codec zstd -19 "$dir/in" | zstd -dc > "$dir/out"
  check "vorlex --codec zstd -19 | zstd -dc" "$dir/out"
  if [ "$high" -ge "$low" ]; then echo "FAIL: zstd -19 gave $high bytes, -1 gave $low"; fail=1; fi
fi

# The tools' files by their names: --raw -d takes the codec from the suffix
# (the tool's own, or the codec's name) and writes the name without it.
for pair in gzip:gz zstd:zst lz4:lz4; do
  tool=${pair%%:*} suffix=${pair#*:}
  command -v $tool >/dev/null 2>&1 || continue
  $tool -c < "$dir/in" > "$dir/s.$suffix"
  rm -f "$dir/s"
  "$vorlex" -q --raw -d "$dir/s.$suffix"; check "vorlex --raw -d s.$suffix" "$dir/s"
  rm -f "$dir/s"
  "$vorlex" -q --raw -d --codec $tool "$dir/s.$suffix"; check "--codec $tool s.$suffix" "$dir/s"
done
"$vorlex" -q --raw --codec lzjb -o "$dir/s.lzjb" "$dir/in"
rm -f "$dir/s"
"$vorlex" -q --raw -d --size 1M "$dir/s.lzjb"; check "vorlex --raw -d s.lzjb" "$dir/s"
# A --size too small says so, and -o leaves nothing behind.
err=$("$vorlex" --raw -d --size 1K -o "$dir/small" "$dir/s.lzjb" 2>&1) &&
  { echo "FAIL: --size 1K decoded"; fail=1; }
case $err in *"--size 1024 is too small"*) ;; *) echo "FAIL: --size message: $err"; fail=1;; esac
[ -e "$dir/small" ] && { echo "FAIL: a failed -o left its file"; fail=1; }
# A name that names no codec, and snappy's framing format, are refused with the reason.
cp "$dir/in" "$dir/in.txt"
err=$("$vorlex" --raw -d "$dir/in.txt" 2>&1) && { echo "FAIL: .txt decoded"; fail=1; }
case $err in *"cannot tell the codec from the name"*) ;; *) echo "FAIL: .txt: $err"; fail=1;; esac
printf '\377\006\000\000sNaPpY' > "$dir/f.sz"
err=$("$vorlex" --raw -d -c "$dir/f.sz" 2>&1) && { echo "FAIL: framed .sz decoded"; fail=1; }
case $err in *"snappy framing format"*) ;; *) echo "FAIL: .sz: $err"; fail=1;; esac

# A zstd frame whose window (256 MiB) is over the default limit, as
# zstd --long=31 writes them: refused as a memory limit, read with --memory.
printf '\050\265\057\375\000\220\051\000\000hello' > "$dir/long.zst"
err=$("$vorlex" --raw -d -c "$dir/long.zst" 2>&1) && { echo "FAIL: a 256 MiB window read"; fail=1; }
case $err in *"allow it with --memory="*) ;; *) echo "FAIL: window message: $err"; fail=1;; esac
[ "$("$vorlex" --raw -d -c --memory=256M "$dir/long.zst")" = hello ] ||
  { echo "FAIL: --memory=256M did not read it"; fail=1; }

if command -v gzip >/dev/null 2>&1; then
  # gzip's trailing garbage: decoded, and a warning, as gzip does.
  { gzip -c < "$dir/in"; printf 'trailing junk'; } > "$dir/junk.gz"
  "$vorlex" --raw -d -c "$dir/junk.gz" > "$dir/out" 2>"$dir/err" ||
    { echo "FAIL: trailing garbage: $(cat "$dir/err")"; fail=1; }
  check "gzip + trailing garbage" "$dir/out"
  grep -q "junk.gz: decompression OK, trailing garbage ignored" "$dir/err" ||
    { echo "FAIL: no warning: $(cat "$dir/err")"; fail=1; }
fi
if command -v lz4 >/dev/null 2>&1; then
  # lz4's legacy format (8 MiB blocks): alone, over several blocks, and
  # between frames.
  big="$dir/big"; : > "$big"; i=0
  while [ $i -lt 45 ]; do cat "$dir/in" >> "$big"; i=$((i + 1)); done
  lz4 -q -l -c "$big" > "$dir/legacy.lz4"
  "$vorlex" --raw -d -c "$dir/legacy.lz4" | cmp -s - "$big" || { echo "FAIL: lz4 -l"; fail=1; }
  { lz4 -q -c < "$dir/in"; lz4 -q -l -c < "$dir/in"; lz4 -q -c < "$dir/in"; } > "$dir/mixed.lz4"
  cat "$dir/in" "$dir/in" "$dir/in" > "$dir/in3"
  "$vorlex" --raw -d -c "$dir/mixed.lz4" | cmp -s - "$dir/in3" || { echo "FAIL: frame, legacy, frame"; fail=1; }
fi
if command -v zstd >/dev/null 2>&1; then
  # --fast=N and --ultra as zstd has them.
  "$vorlex" --raw -c --codec zstd --fast=5 "$dir/in" | zstd -dc > "$dir/out" 2>/dev/null
  check "vorlex --codec zstd --fast=5 | zstd -dc" "$dir/out"
  err=$("$vorlex" --raw -c --codec zstd -22 "$dir/in" 2>&1 >/dev/null)
  case $err in *"zstd level 22 needs --ultra; level 19 used"*) ;; *) echo "FAIL: -22: $err"; fail=1;; esac
  err=$("$vorlex" --raw -c --codec zstd --ultra -20 "$dir/in" 2>&1 >/dev/null)
  [ -z "$err" ] || { echo "FAIL: --ultra -20: $err"; fail=1; }
fi
[ $ran -eq 0 ] && exit 77
[ $fail -eq 0 ] && echo "ok"
exit $fail
