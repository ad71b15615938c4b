#!/usr/bin/env bash
# The release preset's last step: puts everything a release offers in
# BUILD/release: the page, the Debian package and the .tar.gz made from
# BUILD, the Windows .zip cross-built in BUILD/windows, and SHA256SUMS
# over them. Two runs from the same commit give the same bytes, wherever
# and whenever they run: every time in them is the last commit's.
# Run as: release.sh SOURCE BUILD
set -euo pipefail
source_dir=$1
build=$2
cd "$build"

# The last commit's time, unless the caller (a package build) gives one.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$source_dir" log -1 --format=%ct)
fi
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
umask 022

rm -rf release packages
mkdir release
cpack -G "DEB;TGZ" -B packages >/dev/null

cmake -S "$source_dir" -B windows -G Ninja --toolchain "$source_dir/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DFREQIMG_TESTS=OFF >/dev/null
cmake --build windows
(cd windows && cpack -G ZIP -B packages >/dev/null)

cp "$source_dir/dist/freqimg.html" packages/*.deb windows/packages/*.zip release/
# What the archivers leave to the disk's order or stamp with the time:
# the .tar.gz is packed again, its members in name order, every time the
# commit's, root their owner, gzip without a time; strip-nondeterminism
# does the same for the .zip. (cpack's .deb sorts and takes the time.)
tgz=$(basename packages/*.tar.gz)
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
tar -xpzf "packages/$tgz" -C "$unpacked"
(cd "$unpacked" && tar --sort=name --mtime="@$SOURCE_DATE_EPOCH" --owner=0 --group=0 \
    --numeric-owner --format=gnu -cf - -- *) | gzip -9n >"release/$tgz"
strip-nondeterminism --timestamp "$SOURCE_DATE_EPOCH" release/*.zip
touch --date="@$SOURCE_DATE_EPOCH" release/*
(cd release && sha256sum -- * >SHA256SUMS)
echo "release: $build/release"
(cd release && ls -l --time-style=+ -- * | awk '{print "  " $5, $NF}')
