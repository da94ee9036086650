#!/bin/sh
# install_test.sh BUILD_DIR SOURCE_DIR: libvorlex as an application sees it
# once installed. The build is installed to a fresh prefix; there
#  - libvorlex.so.0 exports the frame functions (nm -D);
#  - the installed headers compile as C99 and as C++17, -Wall -Wextra -Werror;
#  - examples/frame.c builds against the prefix with pkg-config, and with
#    find_package(vorlex CONFIG) and vorlex::vorlex;
#  - for every installed codec, both builds write with vorlex_frame_compress
#    the bytes `vorlex -c -B 1M --codec X` writes, and decode the tool's
#    files with vorlex_frame_decompress and with the streaming reader.
set -eu
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cc=${CC:-cc}
cxx=${CXX:-c++}
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
lib=$prefix/lib
[ -f "$lib/libvorlex.so.0" ] || lib=$(dirname "$(find "$prefix" -name libvorlex.so.0 | head -n 1)")
exports=$(nm -D --defined-only "$lib/libvorlex.so.0")
for f in vorlex_frame_compress_bound vorlex_frame_compress vorlex_frame_content_size \
         vorlex_frame_decompress vorlex_frame_last_error vorlex_frame_writer_new \
         vorlex_frame_reader_new; do
  echo "$exports" | grep -q " T $f\$" || fail "libvorlex.so.0 does not export $f"
done

cd "$work"
printf '#include <vorlex/vorlex.h>\nint main(void) { return vorlex_frame_last_error()[0]; }\n' >h.c
"$cc" -std=c99 -pedantic -Wall -Wextra -Werror -I"$prefix/include" -c h.c -o h.o ||
  fail "vorlex.h does not compile as C99"
printf '#include <vorlex/vorlex.hpp>\nint main() { vorlex::Bytes b; return int(vorlex::frame_decompress(b, b)); }\n' >h.cpp
"$cxx" -std=c++17 -Wall -Wextra -Werror -I"$prefix/include" -c h.cpp -o h17.o ||
  fail "vorlex.hpp does not compile as C++17"

# pkg-config
PKG_CONFIG_PATH=$lib/pkgconfig
export PKG_CONFIG_PATH
# shellcheck disable=SC2046
"$cc" -std=c99 -Wall -Wextra -Werror "$src/examples/frame.c" -o frame_pc \
  $(pkg-config --cflags --libs vorlex) -Wl,-rpath,"$lib" || fail "pkg-config build"

# find_package
mkdir app
cat >app/CMakeLists.txt <<CMAKE
cmake_minimum_required(VERSION 3.16)
project(app C)
find_package(vorlex CONFIG REQUIRED)
add_executable(frame_cm "$src/examples/frame.c")
set_target_properties(frame_cm PROPERTIES C_STANDARD 99 BUILD_RPATH "$lib")
target_link_libraries(frame_cm PRIVATE vorlex::vorlex)
CMAKE
cmake -S app -B app/build -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" \
  >app.log 2>&1 || { cat app.log; fail "find_package configure"; }
cmake --build app/build >>app.log 2>&1 || { cat app.log; fail "find_package build"; }

# The installed tool and the two programs agree byte for byte.
unset VORLEX_PLUGIN_PATH
LD_LIBRARY_PATH=$lib
export LD_LIBRARY_PATH
cat "$src/README.md" "$src"/src/frame/*.cpp "$src"/docs/*.md >in
head -c 300000 /dev/urandom >>in
cat "$src/README.md" >>in
codecs=$(ls "$lib/vorlex/plugins" | sed -n 's/^libvorlex-plugin-\(.*\)\.so$/\1/p')
[ -n "$codecs" ] || fail "no plug-in installed"
for codec in $codecs; do
  "$prefix/bin/vorlex" -q -c -B 1M --codec "$codec" in >tool.vlx || fail "$codec: tool"
  for prog in ./frame_pc ./app/build/frame_cm; do
    $prog c "$codec" 1048576 <in >lib.vlx || fail "$codec: $prog c"
    cmp -s lib.vlx tool.vlx || fail "$codec: $prog writes other bytes than the tool"
    $prog d <tool.vlx >out || fail "$codec: $prog d"
    cmp -s out in || fail "$codec: $prog d decodes the tool's file wrongly"
    $prog stream 2 <tool.vlx >out || fail "$codec: $prog stream"
    cmp -s out in || fail "$codec: $prog stream decodes the tool's file wrongly"
  done
done
echo "install: frame API exported; headers C99 and C++17; pkg-config and find_package builds"\
     "match the tool for: $(echo $codecs)"
