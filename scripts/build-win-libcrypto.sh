#!/usr/bin/env bash
# Cross-builds a static libcrypto for x86_64-w64-mingw32 from Debian's openssl source package
# and caches it outside the build tree, keyed by the source version. Prints the install prefix.
# The system's apt set-up is not touched: a private deb-src list and state folder are used.
set -euo pipefail

cache_root=${NOTARIX_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/notarix}
work=$cache_root/openssl-src
mkdir -p "$work/lists/partial" "$work/archives/partial"

cat > "$work/sources.list" <<LIST
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main
LIST
apt_opts=(-o "Dir::Etc::SourceList=$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
          -o "Dir::State::Lists=$work/lists" -o "Dir::Cache::Archives=$work/archives")

version=$(apt-cache "${apt_opts[@]}" showsrc openssl 2>/dev/null | awk '/^Version:/ {print $2}' | sort -V | tail -1 || true)
if [ -z "$version" ] || [ ! -f "$cache_root/libcrypto-mingw64-$version/lib/libcrypto.a" ]; then
    apt-get "${apt_opts[@]}" update -q >&2
    version=$(apt-cache "${apt_opts[@]}" showsrc openssl | awk '/^Version:/ {print $2}' | sort -V | tail -1)
fi
prefix=$cache_root/libcrypto-mingw64-$version
if [ -f "$prefix/lib/libcrypto.a" ]; then
    echo "$prefix"
    exit 0
fi

(cd "$work" && apt-get "${apt_opts[@]}" source --download-only "openssl=$version" >&2)
upstream=${version%%-*}
tarball=$(ls "$work"/openssl_"$upstream".orig.tar.* | head -1)
src=$work/build-$version
rm -rf "$src" && mkdir -p "$src"
tar -xf "$tarball" -C "$src" --strip-components=1
(
    cd "$src"
    ./Configure mingw64 --cross-compile-prefix=x86_64-w64-mingw32- --prefix="$prefix" \
        no-shared no-tests no-engine no-module no-legacy no-ssl no-dso >&2
    make -j"$(nproc 2>/dev/null || echo 2)" build_libs >&2
    mkdir -p "$prefix/lib" "$prefix/include"
    cp libcrypto.a "$prefix/lib/"
    cp -r include/openssl "$prefix/include/"
)
rm -rf "$src"
echo "$prefix"
