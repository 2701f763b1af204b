#!/bin/bash
# The package tests, what a Linux user does to install and link Vantrel; one
# line per check, exit status 1 at the first failure.
#   tests/package/test_package.sh [WORK_DIR]     (default: build-package)
set -euo pipefail

src=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mkdir -p "${1:-$src/build-package}" && cd "${1:-$src/build-package}" && pwd)
jobs=${JOBS:-2}
compiler=${CXX:-c++}
log="$work/test_package.log"
: >"$log"

fail() { echo "FAILED: $* (details in $log)" >&2; exit 1; }
pass() { echo "ok: $*"; }
quiet() { "$@" >>"$log" 2>&1 || fail "$*"; }
same() { [ "$1" = "$2" ] || fail "$3: got '$1', expected '$2'"; }

multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || "$compiler" -print-multiarch)
libdir=/usr/lib/$multiarch
build=$work/build stage=$work/stage root=$work/root consumer=$work/consumer
rm -rf "$stage" "$root" "$consumer" "$work/host"

# --- 1. Installed with --prefix /usr into a DESTDIR ------------------------
quiet cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_COMPILER="$compiler" -DVANTREL_BUILD_TESTS=OFF -DVANTREL_BUILD_EXAMPLES=OFF \
  -DVANTREL_BUILD_BENCH=OFF
quiet cmake --build "$build" -j "$jobs" -- --no-print-directory
version=$(sed -n 's/^#define VANTREL_VERSION_STRING "\(.*\)"$/\1/p' "$build/include/Vantrel/Version.h")
major=${version%%.*}

DESTDIR=$stage quiet cmake --install "$build"
soname=$(readelf -d "$stage$libdir/libvantrel.so.$major" | sed -n 's/.*SONAME.*\[\(.*\)\]/\1/p')
same "$soname" "libvantrel.so.$major" "SONAME"
# vantrel.pc in $libdir/pkgconfig; its flags (the libdir and includedir) shown
# whole, with the directories that pkg-config usually leaves out.
export PKG_CONFIG_ALLOW_SYSTEM_CFLAGS=1 PKG_CONFIG_ALLOW_SYSTEM_LIBS=1
pc=(env PKG_CONFIG_PATH="$stage$libdir/pkgconfig" pkg-config)
same "$("${pc[@]}" --variable=prefix vantrel) $("${pc[@]}" --modversion vantrel)" "/usr $version" \
  "pkg-config prefix and version"
same "$(echo $("${pc[@]}" --cflags --libs vantrel))" "-I/usr/include -L$libdir -lvantrel" "pkg-config flags"
pass "install with --prefix /usr: $libdir, pkg-config paths and flags, SONAME $soname"

# --- 2. Debian packages -----------------------------------------------------
rm -rf "$build/packages"
(cd "$build" && quiet cpack -G DEB)
debs=("$build"/packages/*.deb)
same "${#debs[@]}" 3 "number of packages"
command -v lintian >/dev/null || fail "lintian is not installed"
lintian --fail-on error "${debs[@]}" >>"$log" 2>&1 || fail "lintian reports errors"
pass "lintian: no errors on ${debs[*]##*/}"
same "$(dpkg-deb -f "$build"/packages/libvantrel-dev_*.deb Depends)" "libvantrel$major (= $version-1)" "libvantrel-dev Depends"
[[ "$(dpkg-deb -f "$build"/packages/vantrel-tools_*.deb Depends)" == *libexpat1* ]] ||
  fail "vantrel-tools does not depend on libexpat1"

for deb in "${debs[@]}"; do quiet dpkg-deb -x "$deb" "$root"; done
same "$("$root/usr/bin/vantrel-config" --version)" "vantrel-config $version" "unpacked tool"
quiet cmake -S "$src/tests/package" -B "$consumer/cmake" -DCMAKE_PREFIX_PATH="$root/usr" \
  -DCMAKE_CXX_COMPILER="$compiler"
quiet cmake --build "$consumer/cmake"
quiet "$consumer/cmake/consumer"
# The .pc file names /usr; the unpacked root stands in for it as a sysroot.
read -r -a flags <<<"$(PKG_CONFIG_PATH=$root$libdir/pkgconfig PKG_CONFIG_SYSROOT_DIR=$root \
  pkg-config --cflags --libs vantrel)"
quiet "$compiler" -std=c++20 -DVANTREL_CONSUMER_CXX20 "$src/tests/package/consumer.cpp" \
  -o "$consumer/pc_consumer" "${flags[@]}"
LD_LIBRARY_PATH=$root$libdir quiet "$consumer/pc_consumer"
pass "unpacked packages: consumers built with find_package and with pkg-config run"

# --- 3. Inside a host project ---------------------------------------------
# Configures, builds and runs tests/package/subproject with HOW=$1.
host() {
  local dir=$work/host/$1
  quiet cmake -S "$src/tests/package/subproject" -B "$dir" -DHOW="$1" -DCMAKE_CXX_COMPILER="$compiler" "${@:2}"
  quiet cmake --build "$dir" -j "$jobs" -- --no-print-directory
  quiet "$dir/host"
}
host subdirectory -DVANTREL_SOURCE="$src"
pass "add_subdirectory: only the library and the tools built; the host runs"

# The source tree as an archive, without builds or git's own files.
archive=$work/vantrel-source.tar.gz
tar -czf "$archive" -C "$(dirname "$src")" --exclude='build*' --exclude=.git "$(basename "$src")"
host fetchcontent -DVANTREL_SOURCE="$archive" -DVANTREL_BUILD_TOOLS=OFF -DCMAKE_DISABLE_FIND_PACKAGE_EXPAT=ON
pass "FetchContent from a local archive, tools off and expat hidden: the host runs"
