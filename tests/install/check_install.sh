#!/usr/bin/env bash
# Installs the built tree into a temporary prefix and checks what a packager needs:
#  1. the installed tool finds its library through RUNPATH ($ORIGIN/../<libdir>);
#  2. `iecx demo` finds the example files installed under the data directory;
#  3. every installed header compiles on its own;
#  4. find_package(iecx) and pkg-config consumers build and run (the pkg-config file is right
#     for the build's CMAKE_INSTALL_LIBDIR, Debian's lib/<multiarch> included), and so do the
#     installed example programs of docs/;
#  5. IECX_WERROR is an option, not a hard default;
#  6. add_subdirectory and FetchContent of the source tree configure and offer iecx::iecx;
#  7. libiecx.so exports the public API only: the stack's C functions and the public classes,
#     none of the stack's or the simulated IED's internals;
#  8. every header lies under <includedir>/iecx, so nothing collides with an installed libiec61850.
# Usage: check_install.sh <build-dir> <source-dir>
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
work=$(mktemp -d /tmp/iecx-install-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "install check failed: $*" >&2
  exit 1
}
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
prefix="$work/prefix"
libdir="$prefix/$(cache CMAKE_INSTALL_LIBDIR)"
bindir="$prefix/$(cache CMAKE_INSTALL_BINDIR)"
includedir="$prefix/$(cache CMAKE_INSTALL_INCLUDEDIR)"
# GNUInstallDirs leaves the data directory's cache entry empty unless it is set: <datarootdir>.
datadir="$(cache CMAKE_INSTALL_DATADIR)"
datadir="$prefix/${datadir:-$(cache CMAKE_INSTALL_DATAROOTDIR)}"
[ -f "$libdir/libiecx.so.0" ] || fail "libiecx.so.0 not in $libdir"
readlink "$libdir/libiecx.so" | grep -q '^libiecx.so.0$' || fail "SONAME link missing"

# 1. RUNPATH
readelf -d "$bindir/iecx" | grep -E 'RUNPATH|RPATH' | grep -q '\$ORIGIN' || fail "iecx has no \$ORIGIN RUNPATH"
env -u LD_LIBRARY_PATH "$bindir/iecx" --help >/dev/null || fail "installed iecx does not start"

# 2. the demo's example files, from a directory without examples/ of its own
mkdir -p "$work/cwd"
out=$(cd "$work/cwd" && env -u LD_LIBRARY_PATH "$bindir/iecx" demo --seconds 0.2 2>&1) || fail "iecx demo: $out"
echo "$out" | grep -q "/iecx/examples/station.scd" || fail "iecx demo did not read the installed station file: $out"
echo "$out" | grep -q "$source" && fail "iecx demo used the source tree: $out"

# 3. each header on its own (the C headers also as C)
find "$includedir" -name '*.h' | sort >"$work/headers"
[ -s "$work/headers" ] || fail "no headers installed"
# The dependencies' headers as system headers, as CMake consumers get them (libxml++ uses
# std::auto_ptr, which -Werror would refuse).
deps=$(pkg-config --cflags libxml++-2.6 glibmm-2.4 giomm-2.4 sigc++-2.0 | sed 's/-I/-isystem /g')
flags="-I$includedir/iecx -I$includedir/iecx/stack/include $deps"
export flags
xargs -P"$(nproc)" -I{} sh -c 'printf "#include \"%s\"\n" "{}" | g++ -std=c++17 -fsyntax-only -Wall -Wextra -Werror $flags -x c++ - \
  || { echo "header does not compile on its own: {}"; exit 255; }' <"$work/headers" || fail "headers"
for h in "$includedir"/iecx/stack/include/*.h; do
  printf '#include "%s"\n' "$h" | gcc -std=c11 -fsyntax-only -Wall -Werror -I"$includedir/iecx/stack/include" -x c - ||
    fail "C header does not compile as C: $h"
done

# 4. consumers
cmake -S "$source/tests/install/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
out=$(env -u LD_LIBRARY_PATH LD_LIBRARY_PATH="$libdir" "$work/consumer/consumer")
[ "$out" = "IEC-61850 1" ] || fail "find_package consumer printed '$out'"
grep -q "^prefix=\${pcfiledir}/" "$libdir/pkgconfig/iecx.pc" || fail "iecx.pc is not relocatable"
export PKG_CONFIG_PATH="$libdir/pkgconfig"
[ "$(pkg-config --variable=libdir iecx | xargs realpath)" = "$(realpath "$libdir")" ] || fail "pkg-config libdir is wrong"
g++ -std=c++17 "$source/tests/install/consumer/main.cpp" -o "$work/pc" $(pkg-config --cflags --libs iecx)
out=$(LD_LIBRARY_PATH="$libdir" "$work/pc")
[ "$out" = "IEC-61850 1" ] || fail "pkg-config consumer printed '$out'"

# The example programs as installed, built by a project that finds the installed library.
mkdir -p "$work/examples"
cat >"$work/examples/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.18)
project(iecx_examples C CXX)
set(CMAKE_CXX_STANDARD 17)
find_package(iecx REQUIRED)
add_subdirectory("$datadir/iecx/examples" examples)
CMAKE
{ cmake -S "$work/examples" -B "$work/examples/build" -DCMAKE_PREFIX_PATH="$prefix" &&
  cmake --build "$work/examples/build" -j"$(nproc)"; } >"$work/examples.log" 2>&1 ||
  { cat "$work/examples.log"; fail "the installed examples do not build"; }
out=$(LD_LIBRARY_PATH="$libdir" "$work/examples/build/examples/write_cid" "$work/cid") || fail "write_cid: $out"
[ -s "$work/cid/Goose.cid" ] || fail "the installed write_cid wrote no Goose.cid"

# 5. -Werror is an option (off unless asked for)
grep -q '^IECX_WERROR:BOOL=' "$build/CMakeCache.txt" || fail "IECX_WERROR option missing"
grep -q 'option(IECX_WERROR "[^"]*" OFF)' "$source/CMakeLists.txt" || fail "IECX_WERROR is not off by default"

# 6. the source tree inside another project (configure only: the build is the one above)
for how in subdirectory fetchcontent; do
  mkdir -p "$work/$how"
  cat >"$work/$how/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.18)
project(iecx_$how CXX)
if("$how" STREQUAL "subdirectory")
  add_subdirectory("$source" iecx)
else()
  include(FetchContent)
  FetchContent_Declare(iecx SOURCE_DIR "$source")
  FetchContent_MakeAvailable(iecx)
endif()
if(TARGET bench_goose_decode OR TARGET test_stack)
  message(FATAL_ERROR "tests or benchmarks built inside another project")
endif()
add_executable(consumer "$source/tests/install/consumer/main.cpp")
target_link_libraries(consumer PRIVATE iecx::iecx)
CMAKE
  cmake -S "$work/$how" -B "$work/$how/build" >"$work/$how.log" 2>&1 || { cat "$work/$how.log"; fail "$how does not configure"; }
done

# 7. exported symbols
nm -DC --defined-only "$libdir/libiecx.so" | awk '{ $1 = ""; $2 = ""; sub(/^  /, ""); print }' >"$work/symbols"
internal=$(grep -E '(^|[ (<,])(stack::|iecx::sim::(ReportEngine|GoosePublishing|SimServerHandler|ValueChanger|Rcb))' "$work/symbols" |
  grep -vE '^(typeinfo name|typeinfo|vtable|VTT) for (std|__gnu_cxx)::' | head -5 || true)
[ -z "$internal" ] || fail "internals exported: $internal"
sed -n 's/^LIB61850_API[^(]*[ *]\([A-Za-z_][A-Za-z0-9_]*\)(.*/\1/p' "$includedir"/iecx/stack/include/*.h | sort -u >"$work/c-api"
missing=$(comm -23 "$work/c-api" <(grep -E '^[A-Za-z_][A-Za-z0-9_]*$' "$work/symbols" | sort -u) | head -5)
[ -z "$missing" ] || fail "C functions not exported: $missing"
for name in 'VorIec61850::GooseSubscriberPool::start()' 'VorIec61850::IecModelExplorer::connect(' \
  'iecx::sim::SimulatedIed::load(' 'lng::Iec61850::get('; do
  grep -qF "$name" "$work/symbols" || fail "public API not exported: $name"
done

# 8. nothing outside <includedir>/iecx
stray=$(find "$prefix/include" -mindepth 1 -maxdepth 1 ! -name iecx)
[ -z "$stray" ] || fail "headers outside include/iecx: $stray"

echo "install ok ($(wc -l <"$work/symbols") exported symbols, $(wc -l <"$work/headers") headers)"
