#!/bin/sh
# tool_interop.sh VORLEX: raw lz4, zstd and gzip data goes both ways between
# vorlex and the codecs' own tools: vorlex output (several levels) through
# `TOOL -dc`, tool output (one frame, and several concatenated) through
# `vorlex --raw -d`. A missing tool is skipped with a message (exit 77 when
# every tool is missing); scripts/setup.sh installs them.
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
[ $ran -eq 0 ] && exit 77
[ $fail -eq 0 ] && echo "ok"
exit $fail
