#!/bin/sh
# h5tools.sh PLUGIN_DIR: the installed HDF5 filter in PLUGIN_DIR as the HDF5
# tools use it, with nothing but HDF5_PLUGIN_PATH set. First the library's
# shape (its two exports, what it needs, its relative run path), then for
# every codec: h5repack applies the filter to a file written without it,
# h5diff finds the contents equal, h5dump prints the same data, and
# h5repack -f NONE takes the filter off again. An unknown codec number is
# refused.
set -eu
plugin_dir=$1
so=$plugin_dir/libvorlex-hdf5.so
export HDF5_PLUGIN_PATH="$plugin_dir"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "h5tools: $*" >&2; exit 1; }

exports=$(nm -D --defined-only "$so" | awk '{print $3}' | grep -v -e '^_init$' -e '^_fini$' | sort | tr '\n' ' ')
[ "$exports" = "H5PLget_plugin_info H5PLget_plugin_type " ] || fail "exports are '$exports'"
needed=$(readelf -d "$so" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | tr '\n' ' ')
case "$needed" in
"libc.so.6 libhdf5"*" libvorlex.so.0 ") ;;
*) fail "NEEDED is '$needed', want libc.so.6, libhdf5 and libvorlex.so.0" ;;
esac
runpath=$(readelf -d "$so" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
[ "$runpath" = '$ORIGIN/../..' ] || fail "RUNPATH is '$runpath', want \$ORIGIN/../.."

# The input: two chunked datasets and a contiguous one, no filter.
/usr/bin/python3 - "$work/in.h5" <<'EOF'
import sys, h5py, numpy as np
with h5py.File(sys.argv[1], "w") as f:
    f.create_dataset("ints", data=(np.arange(200_000, dtype=np.int32) // 5) % 777, chunks=(50_000,))
    f.create_dataset("grid", data=np.fromfunction(lambda i, j: np.sin(i / 9) + j // 4, (300, 200)),
                     chunks=(100, 100))
    f.create_dataset("small", data=np.arange(100, dtype=np.uint16))
EOF
h5dump -d /ints "$work/in.h5" | tail -n +2 >"$work/in.dump"
in_size=$(stat -c %s "$work/in.h5")

for n in 1 2 3 4 5 6 7 8 9; do
  h5repack -f UD=400,0,1,$n "$work/in.h5" "$work/$n.h5" || fail "h5repack UD=400,0,1,$n failed"
  h5dump -p -H -d /ints "$work/$n.h5" | grep -q "FILTER_ID 400" || fail "codec $n: no filter 400 on /ints"
  h5diff "$work/in.h5" "$work/$n.h5" || fail "codec $n: h5diff finds differences"
  h5dump -d /ints "$work/$n.h5" | tail -n +2 >"$work/$n.dump" || fail "codec $n: h5dump failed"
  cmp -s "$work/in.dump" "$work/$n.dump" || fail "codec $n: h5dump prints other data"
  size=$(stat -c %s "$work/$n.h5")
  if [ $n -ne 5 ] && [ "$size" -ge "$in_size" ]; then
    fail "codec $n: $size bytes, not less than the $in_size unfiltered"
  fi
  h5repack -f NONE "$work/$n.h5" "$work/$n-none.h5" || fail "codec $n: h5repack -f NONE failed"
  if h5dump -p -H "$work/$n-none.h5" | grep -q "FILTER_ID 400"; then fail "codec $n: filter still there"; fi
  h5diff "$work/in.h5" "$work/$n-none.h5" || fail "codec $n: h5diff after -f NONE finds differences"
done

# Typed-array filters (shuffle, bitshuffle, delta, auto), the typesize from
# the dataset's type: h5dump prints the same data.
for t in 1 2 3 4; do
  h5repack -f UD=400,0,4,6,0,0,$t "$work/in.h5" "$work/t$t.h5" || fail "h5repack with filter $t failed"
  h5diff "$work/in.h5" "$work/t$t.h5" || fail "filter $t: h5diff finds differences"
  h5dump -d /ints "$work/t$t.h5" | tail -n +2 >"$work/t$t.dump" || fail "filter $t: h5dump failed"
  cmp -s "$work/in.dump" "$work/t$t.dump" || fail "filter $t: h5dump prints other data"
done

# A block size and a level; an optional filter.
h5repack -f UD=400,1,3,7,16,15 "$work/in.h5" "$work/b.h5" || fail "h5repack UD=400,1,3,7,16,15 failed"
h5diff "$work/in.h5" "$work/b.h5" || fail "zstd level 15: h5diff finds differences"

# An unknown codec number: the filter refuses the dataset, and h5repack (as
# it does for any filter that refuses) copies it without the filter.
h5repack -v -f UD=400,0,1,1000 "$work/in.h5" "$work/bad.h5" >"$work/bad.out" 2>&1 ||
  fail "h5repack with codec number 1000 failed"
grep -q "could not create dataset </ints>" "$work/bad.out" || fail "codec number 1000 was not refused"
if h5dump -p -H "$work/bad.h5" | grep -q "FILTER_ID 400"; then fail "codec number 1000 was applied"; fi
echo "ok: h5repack, h5diff and h5dump with every codec"
