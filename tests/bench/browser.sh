#!/bin/sh
# browser.sh BENCH SOURCE_DIR OUT_DIR
# The page `vorlex bench --format html` writes, opened in headless Chromium
# as a reader would open it: from the rendered DOM, the plots, the ranking
# and the sortable table are there, the script ran without an error, and a
# slow link (?link=1MB/s) and a fast one (?link=100000MB/s) crown different
# codecs. The page must load nothing: its Content-Security-Policy refuses
# every load from elsewhere (and the browser reports any attempt on its
# console, which is watched), and no URL of another place is in the file.
# OUT_DIR keeps the page, the two DOMs and a screenshot for a person to look at. Exits 77
# (skipped) where chromium is not installed.
set -eu
bench=$1; src=$2; out=$3

browser=${VORLEX_CHROMIUM:-$(command -v chromium || true)}
if [ -z "$browser" ]; then
  echo "SKIP: chromium is not installed (Debian's chromium package; scripts/setup.sh installs it)"
  exit 77
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"
page=$out/benchmarks.html
shot=$out/benchmarks.png
rm -f "$page" "$shot"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Two small text files with peers: a total and two inputs, every codec. One
# call per round: the test looks at the page, not at speeds.
"$bench" --peers --rounds 1 --min-time 0 -q --format html \
  "$src/README.md" "$src/docs/format.md" >"$page"

# --- the file itself -------------------------------------------------------
size=$(wc -c <"$page")
[ "$size" -lt 1048576 ] || fail "page is $size bytes"
grep -q "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none';" "$page" ||
  fail "no Content-Security-Policy refusing every load"
if grep -n -i -E "(https?|ftp|wss?)://|@import|url\(| src=" "$page" >"$tmp/refs"; then
  cat "$tmp/refs" >&2
  fail "the page refers to something outside itself"
fi

# --- in the browser ----------------------------------------------------------
# One browser per address, side by side; the first also takes the screenshot.
open_page() {  # open_page NAME QUERY [EXTRA FLAGS...]
  name=$1; query=$2; shift 2
  mkdir "$tmp/profile-$name"
  "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$tmp/profile-$name" --enable-logging=stderr --v=0 \
    --virtual-time-budget=3000 "$@" --dump-dom "file://$page?$query" \
    >"$tmp/$name.dom" 2>"$tmp/$name.log"
}
open_page slow "link=1MB/s" --window-size=1280,2200 --screenshot="$shot" &
slow_pid=$!
open_page fast "link=100000MB/s" &
fast_pid=$!
slow_status=0; fast_status=0
wait "$slow_pid" || slow_status=$?
wait "$fast_pid" || fast_status=$?
for name in slow fast; do
  eval "status=\$${name}_status"
  # shellcheck disable=SC2154 # set by the eval above
  cp "$tmp/$name.dom" "$out/$name.dom" 2>/dev/null || true  # for a person to look at
  [ "$status" -eq 0 ] || { cat "$tmp/$name.log" >&2; fail "chromium ($name) exited with $status"; }
  [ -s "$tmp/$name.dom" ] || { cat "$tmp/$name.log" >&2; fail "chromium ($name) gave no DOM"; }
  # A load the policy refused, or an error in the page's script.
  if grep -E "Content Security Policy|Uncaught|Refused to" "$tmp/$name.log" >"$tmp/bad"; then
    cat "$tmp/bad" >&2
    fail "the page ($name) tried a load or its script failed"
  fi
done

count() {  # count PATTERN FILE: occurrences, not lines
  grep -o -E "$1" "$2" | wc -l
}
dom=$tmp/slow.dom
# Three inputs (the total and two files), two panels each, with marks and a front.
[ "$(count '<svg class="plot compression"' "$dom")" -eq 3 ] || fail "not 3 compression plots"
[ "$(count '<svg class="plot decompression"' "$dom")" -eq 3 ] || fail "not 3 decompression plots"
[ "$(count '<g class="pt' "$dom")" -ge 30 ] || fail "too few marks in the plots"
grep -q '<g class="pt[^"]*" data-codec="[^"]*" data-peer="1"' "$dom" || fail "no peer marks"
grep -q '<polyline class="front"' "$dom" || fail "no Pareto front"
# The script ran: marks focusable, table headers are sort buttons, the
# ranking is filled with one winner, and the CSV link is there.
grep -q '<g class="pt[^"]*" data-codec="[^"]*" data-peer="[01]" tabindex="0"' "$dom" ||
  fail "plot marks were not made focusable: did the script run?"
grep -q '<th class="num"><button type="button">ratio</button></th>' "$dom" || fail "table not sortable"
[ "$(count '<tr data-input="' "$dom")" -ge 27 ] || fail "too few table rows"
[ "$(count 'class="(peer )?winner"' "$dom")" -eq 1 ] || fail "no single winner in the ranking"
grep -q 'id="csv" download="vorlex-benchmarks.csv" href="data:text/csv;' "$dom" || fail "no CSV link"

winner() {  # winner NAME: data-best-total and the speed the page read
  sed -n 's/.*id="best"[^>]*data-best-total="\([^"]*\)" data-link-mb-s="\([^"]*\)".*/\1 @ \2/p' \
    "$tmp/$1.dom"
}
slow=$(winner slow); fast=$(winner fast)
echo "winners: $slow MB/s; $fast MB/s"
case $slow in " @ "* | "") fail "no winner at 1 MB/s" ;; *" @ 1") ;; *) fail "1MB/s read as: $slow" ;; esac
case $fast in " @ "* | "") fail "no winner at 100000 MB/s" ;; *" @ 100000") ;; *) fail "100000MB/s read as: $fast" ;; esac
[ "${slow% @ *}" != "${fast% @ *}" ] || fail "the same winner on a slow and a fast link"

[ -s "$shot" ] || fail "no screenshot"
echo "page: $page"
echo "screenshot: $shot"
