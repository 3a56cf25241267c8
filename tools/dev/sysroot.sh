#!/usr/bin/env bash
# tools/dev/sysroot.sh ARCH: a folder holding Debian's own packages for ARCH
# (dpkg's name: arm64, armhf, ...) that the linux preset builds all its
# targets with, and the libraries theirs load at run time, so that Debian's
# cross compiler can build the preset against them (--sysroot) and qemu-user
# run what it built (-L). The packages are unpacked, not installed: nothing
# of the target runs, and neither root nor sudo is needed. apt resolves and
# fetches them with a configuration of its own kept beside the folder, from
# the Debian archive entries this machine's apt has, so that the machine's
# packages and architectures are left alone.
# Prints the folder's path on stdout, the same path whatever the versions,
# so that what a build found there stays where it was; progress goes to
# stderr. The folder is kept in a cache keyed by the packages' versions and
# this script, so that a second run only asks apt what the versions are.
#
#   VASKILOIMU_SYSROOT_CACHE  where it is kept (default:
#                             ${XDG_CACHE_HOME:-~/.cache}/vaskiloimu-sysroot-ARCH)
#   VASKILOIMU_SYSROOT_EXTRA  more packages to put in, separated by spaces
set -euo pipefail

arch=${1:-}
[[ $arch =~ ^[a-z0-9]+$ ]] || { echo "usage: $0 ARCH (dpkg's name: arm64, armhf, i386, s390x...)" >&2; exit 2; }
script=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")

# Progress goes to stderr; stdout carries only the answer.
exec 3>&1 1>&2

# What the linux preset's targets build with: SDL 1.2 and its companions, the
# still writer's libpng, the tests' GoogleTest, the window tests' Xlib, the
# media maker's encoders, and the C and C++ libraries; and sdl12-compat, for
# the tests run again on it, a few hundred kilobytes beside the SDL 2 that
# SDL_mixer's dependencies bring anyway.
packages=(libc6-dev libstdc++-12-dev libsdl1.2-dev libsdl-image1.2-dev libsdl-mixer1.2-dev
    libpng-dev libgtest-dev libx11-dev libjpeg-dev libvorbis-dev libsdl1.2-compat)
read -r -a extra <<< "${VASKILOIMU_SYSROOT_EXTRA:-}"
packages+=("${extra[@]}")

cache=${VASKILOIMU_SYSROOT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vaskiloimu-sysroot-$arch}
apt_dir=$cache/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial" "$apt_dir/etc/sources.list.d" \
    "$apt_dir/etc/preferences.d"
# One run at a time: two builds configured at once share the folder.
exec 9> "$cache/lock"
flock 9

# The machine's Debian entries, for ARCH. Its other entries (a vendor's
# repository) may serve no ARCH; its pins are for its own packages. apt
# takes a second to list them, so they are worked out again only when the
# machine's entries change.
host_sources=$( (cat /etc/apt/sources.list /etc/apt/sources.list.d/* 2>/dev/null || true) | sha256sum)
if [ "$(cat "$apt_dir/etc/host-sources" 2>/dev/null)" != "$host_sources" ] || [ ! -s "$apt_dir/etc/sources.list" ]; then
    # shellcheck disable=SC2016 # apt's fields, not the shell's
    entries=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' \
        'Created-By: Packages' 'Origin: Debian' | sort -u |
        awk '{ c[$1 " " $2] = c[$1 " " $2] " " $3 } END { for (k in c) print k c[k] }' | sort)
    [ -n "$entries" ] ||
        { echo "apt knows no Debian archive to take the $arch packages from (run apt-get update)" >&2; exit 1; }
    keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    while read -r line; do
        echo "deb [arch=$arch signed-by=$keyring] $line"
    done <<< "$entries" > "$apt_dir/etc/sources.list.new"
    if ! cmp -s "$apt_dir/etc/sources.list.new" "$apt_dir/etc/sources.list"; then
        mv "$apt_dir/etc/sources.list.new" "$apt_dir/etc/sources.list"
        rm -f "$apt_dir/updated"
    fi
    rm -f "$apt_dir/etc/sources.list.new"
    echo "$host_sources" > "$apt_dir/etc/host-sources"
fi
[ -e "$apt_dir/status" ] || : > "$apt_dir/status"

# An empty package database: apt then names every package these need, down
# to libc6, and takes its locks inside the cache, not the machine's.
apt=(apt-get -q
    -o APT::Architecture="$arch" -o APT::Architectures::="$arch"
    -o Dir::State="$apt_dir" -o Dir::State::Lists="$apt_dir/lists"
    -o Dir::State::status="$apt_dir/status" -o Dir::Cache="$apt_dir"
    -o Dir::Cache::archives="$apt_dir/archives" -o Dir::Cache::pkgcache="$apt_dir/pkgcache.bin"
    -o Dir::Cache::srcpkgcache=
    -o Dir::Etc::SourceList="$apt_dir/etc/sources.list"
    -o Dir::Etc::SourceParts="$apt_dir/etc/sources.list.d"
    -o Dir::Etc::Preferences="$apt_dir/etc/preferences"
    -o Dir::Etc::PreferencesParts="$apt_dir/etc/preferences.d"
    -o APT::Install-Recommends=false -o APT::Install-Suggests=false
    -o Acquire::Languages=none -o Acquire::GzipIndexes=false -o Dir::Log="$apt_dir/log")
# As root apt fetches as its own user, who may not reach a home folder.
[ "$(id -u)" -ne 0 ] || apt+=(-o APT::Sandbox::User=root)

# Its package lists are fetched again when the machine's are newer, or a
# day old: the same archive as the machine sees it, a security fix soon.
newest_host=$(stat -c %Y /var/lib/apt/lists/*InRelease 2>/dev/null | sort -n | tail -n 1)
stamp=$apt_dir/updated
if [ ! -e "$stamp" ] || [ "$(stat -c %Y "$stamp")" -lt "${newest_host:-0}" ] ||
    [ -n "$(find "$stamp" -mmin +1440)" ]; then
    echo "Fetching Debian's package lists for $arch (kept in $apt_dir)"
    if "${apt[@]}" -qq update; then
        touch "$stamp"
    elif [ -e "$cache/sysroot/.complete" ]; then
        echo "The lists could not be fetched: the sysroot made before stays"
        echo "$cache/sysroot" >&3
        exit 0
    else
        exit 1
    fi
fi

# What goes in, one "package version" a line: the key, with this script.
# Working it out weighs the whole archive (seconds), so the answer is kept
# for as long as the lists and the request stay the same.
asked=$(stat -c '%n %s %Y' "$apt_dir/lists/"*_Packages* | sha256sum; printf '%s\n' "$arch" "${packages[@]}")
if [ "$(head -n "$(wc -l <<< "$asked")" "$apt_dir/resolved" 2>/dev/null)" = "$asked" ]; then
    resolved=$(tail -n +"$(($(wc -l <<< "$asked") + 1))" "$apt_dir/resolved")
else
    resolved=$("${apt[@]}" -s install "${packages[@]}" | sed -n 's/^Inst \([^ ]*\) (\([^ ]*\) .*/\1 \2/p' | sort)
    [ -n "$resolved" ] || { echo "apt could not resolve the $arch packages" >&2; exit 1; }
    printf '%s\n' "$asked" "$resolved" > "$apt_dir/resolved"
fi
key=$({ echo "$arch"; echo "$resolved"; sha256sum < "$script"; } | sha256sum | cut -c1-16)
root=$cache/sysroot-$key

if [ ! -e "$root/.complete" ]; then
    t0=$SECONDS
    echo "Making the $arch sysroot: $(wc -l <<< "$resolved") packages (once; kept in $root)"
    "${apt[@]}" -qq -y --download-only install "${packages[@]}" >/dev/null
    rm -rf "$root" "$root.tmp"
    mkdir -p "$root.tmp"
    while read -r p v; do
        deb=$(compgen -G "$apt_dir/archives/${p}_${v//:/%3a}_*.deb" | head -n 1) ||
            { echo "$p $v was not downloaded" >&2; exit 1; }
        # Without the documentation, manual pages and translations: half
        # a hundred megabytes that neither a compiler nor a program reads.
        dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$root.tmp" --exclude=./usr/share/doc \
            --exclude=./usr/share/man --exclude=./usr/share/info --exclude=./usr/share/locale
    done <<< "$resolved"

    # Debian's packages make some links absolute (/lib/ld-linux-aarch64.so.1,
    # /usr/lib/TRIPLET/libz.so): inside the folder they would point at this
    # machine's own files, or at nothing, for the linker and for qemu alike.
    # They are made relative to where they lie.
    while IFS= read -r -d '' link; do
        target=$(readlink "$link")
        [[ $target == /* ]] || continue
        ln -sfn "$(realpath -m --relative-to="$(dirname "$link")" "$root.tmp$target")" "$link"
    done < <(find "$root.tmp" -type l -print0)
    printf '%s\n' "$resolved" > "$root.tmp/.packages"
    touch "$root.tmp/.complete"
    mv "$root.tmp" "$root"
    ln -sfn "sysroot-$key" "$cache/sysroot.new"
    mv -T "$cache/sysroot.new" "$cache/sysroot"
    # The folders made for other versions, and what a failed run left; the
    # package files stay until their versions leave the lists.
    find "$cache" -mindepth 1 -maxdepth 1 -name 'sysroot-*' ! -name "sysroot-$key" -exec rm -rf {} +
    "${apt[@]}" -qq autoclean >/dev/null
    echo "   $((SECONDS - t0)) s, $(du -sh "$root" | cut -f1)"
elif [ "$(readlink "$cache/sysroot")" != "sysroot-$key" ]; then
    ln -sfn "sysroot-$key" "$cache/sysroot.new"
    mv -T "$cache/sysroot.new" "$cache/sysroot"
fi
echo "$cache/sysroot" >&3
