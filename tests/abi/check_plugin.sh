#!/bin/sh
# check_plugin.sh [--needed PREFIX]... PLUGIN.so SONAME SYMBOL...
# A plug-in's shape: NEEDED is exactly libvorlex.so.0 and libc.so.6 (plus, for
# each --needed PREFIX, one library whose soname starts with PREFIX: the system
# library a codec wraps), the soname is the file name, and the defined dynamic
# symbols are exactly SYMBOL...
set -eu
prefixes=""
while [ "${1:-}" = "--needed" ]; do
  prefixes="$prefixes $2"; shift 2
done
so=$1; soname=$2; shift 2
fail=0

needed=$(readelf -d "$so" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort)
rest=$(printf '%s\n' "$needed" | grep -v -x -e libc.so.6 -e libvorlex.so.0 || true)
for p in $prefixes; do
  m=$(printf '%s\n' "$rest" | awk -v p="$p" 'index($0, p) == 1' | wc -l)
  if [ "$m" -ne 1 ]; then
    echo "NEEDED has $m entries starting with '$p', want 1"; fail=1
  fi
  rest=$(printf '%s\n' "$rest" | awk -v p="$p" 'index($0, p) != 1')
done
base=$(printf '%s\n' "$needed" | grep -x -e libc.so.6 -e libvorlex.so.0 | tr '\n' ' ')
if [ "$base" != "libc.so.6 libvorlex.so.0 " ] || [ -n "$rest" ]; then
  echo "NEEDED is '$(printf '%s\n' "$needed" | tr '\n' ' ')', want 'libc.so.6 libvorlex.so.0'${prefixes:+ and one each of$prefixes}"
  fail=1
fi
got_soname=$(readelf -d "$so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
if [ "$got_soname" != "$soname" ]; then
  echo "SONAME is '$got_soname', want '$soname'"; fail=1
fi
exports=$(nm -D --defined-only "$so" | awk '{print $3}' | grep -v -e '^_init$' -e '^_fini$' | sort | tr '\n' ' ')
want=$(printf '%s\n' "$@" | sort | tr '\n' ' ')
if [ "$exports" != "$want" ]; then
  echo "exports are '$exports', want '$want'"; fail=1
fi
[ $fail -eq 0 ] && echo "ok: $soname"
exit $fail
