#!/bin/sh
# check_plugin.sh PLUGIN.so SONAME SYMBOL...
# A plug-in's shape: NEEDED is exactly libvorlex.so.0 and libc.so.6, the soname
# is the file name, and the defined dynamic symbols are exactly SYMBOL...
set -eu
so=$1; soname=$2; shift 2
fail=0

needed=$(readelf -d "$so" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | tr '\n' ' ')
if [ "$needed" != "libc.so.6 libvorlex.so.0 " ]; then
  echo "NEEDED is '$needed', want 'libc.so.6 libvorlex.so.0'"; fail=1
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
