#!/bin/sh
# Make sure the Debian packages the build, tests and tools need are present.
# As root, installs what is missing; otherwise prints the one apt-get line.
set -eu
packages="cmake make g++ pkg-config binutils unzip libgtest-dev libgmock-dev \
libxxhash-dev liblz4-dev libzstd-dev libsnappy-dev zlib1g-dev lz4 zstd gzip \
man-db bash-completion file \
python3-dev pybind11-dev python3-numpy python3-pytest python3-numcodecs python3-zarr \
python3-dask python3-distributed python3-entrypoints python3-cloudpickle \
python3-venv python3-pip python3-setuptools python3-wheel \
libhdf5-dev hdf5-tools python3-h5py chromium $*"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" -eq 0 ]; then
  echo "setup: installing$missing" >&2
  DEBIAN_FRONTEND=noninteractive apt-get update -qq >/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
else
  echo "setup: missing packages; run:" >&2
  echo "  sudo apt-get install -y$missing" >&2
  exit 1
fi
