# shellcheck shell=bash
# Sourced by deps.sh: the Debian source packages the ports' libraries are
# built from, and the steps to fetch, unpack and build them. It only defines
# them; each function says on stderr what went wrong and returns non-zero.

srcpkgs=(libogg libvorbis libsdl1.2 sdl-mixer1.2 libjpeg-turbo zlib libpng1.6 giflib)

# sources_entries: makes sure apt-get source can fetch them. Debian's images
# ship only binary package entries; the source entries are copied from
# those, so they name the same mirror and suite.
sources_entries() {
    local sudo= list=/etc/apt/sources.list.d/deb-src.sources entries f
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    have_sources() { apt-cache showsrc libogg 2>/dev/null | grep -q '^Package:'; }
    have_sources && return 0
    if [ ! -e "$list" ]; then
        entries=$(for f in /etc/apt/sources.list.d/*.sources; do
            [ -e "$f" ] && grep -q '^Types:.*\bdeb\b' "$f" || continue
            sed -e 's/^Types:.*/Types: deb-src/' "$f"
            echo
        done)
        if [ -z "$entries" ]; then
            # The older one-line format.
            list=/etc/apt/sources.list.d/deb-src.list
            entries=$(sed -n 's/^deb /deb-src /p' /etc/apt/sources.list 2>/dev/null)
        fi
        [ -n "$entries" ] || { echo "no Debian package sources are configured to copy source entries from" >&2; return 1; }
        echo "Adding Debian's source package entries to apt, in $list (copies of its binary entries)" >&2
        printf '%s\n' "$entries" | $sudo tee "$list" >/dev/null
    fi
    $sudo apt-get update -qq
    have_sources || { echo "apt-get cannot find Debian source packages even with source entries" >&2; return 1; }
}

# sources_fetch DOWNLOADS: ver[PACKAGE], the newest version of each package
# whose source can be had (without its epoch, as in the file names), fetched
# into DOWNLOADS unless it is there already, and sources_key: the packages
# and versions, one a line, for cache keys. The security archive lists some
# versions whose files it does not serve; the one before stands in.
declare -A ver
sources_fetch() {
    local dl=$1 p v
    mkdir -p "$dl"
    sources_key=
    for p in "${srcpkgs[@]}"; do
        ver[$p]=
        for v in $(apt-cache showsrc "$p" 2>/dev/null | sed -n 's/^Version: //p' | sort -u -V -r); do
            if [ -e "$dl/${p}_${v#*:}.dsc" ] ||
                (cd "$dl" && apt-get source -q --download-only "$p=$v") >"$dl/$p.log" 2>&1; then
                ver[$p]=${v#*:}
                break
            fi
        done
        [ -n "${ver[$p]}" ] || { cat "$dl/$p.log" >&2; echo "no source of $p could be fetched" >&2; return 1; }
        sources_key+="$p ${ver[$p]}"$'\n'
    done
}

# unpack_sources DOWNLOADS WORK: unpacks every package into WORK/<package>.
unpack_sources() {
    local dl=$1 work=$2 p dsc
    mkdir -p "$work"
    for p in "${srcpkgs[@]}"; do
        dsc="$dl/${p}_${ver[$p]}.dsc"
        (cd "$work" && dpkg-source -x "$dsc" "$p") >"$work/$p.log" 2>&1 ||
            { cat "$work/$p.log" >&2; echo "unpacking $(basename "$dsc") failed" >&2; return 1; }
        # One timestamp for every file: the patches touched some inputs of
        # the generated build files, and make must not try to regenerate them.
        find "$work/$p" -exec touch -h -d @315532800 {} +
    done
}

# copy_licenses WORK DEST: the licence texts, shipped beside what is built
# from these sources.
copy_licenses() {
    local work=$1 dest=$2
    mkdir -p "$dest" &&
    cp "$work/libsdl1.2/COPYING" "$dest/SDL.txt" &&
    cp "$work/sdl-mixer1.2/COPYING" "$dest/SDL_mixer.txt" &&
    cp "$work/libogg/COPYING" "$dest/libogg.txt" &&
    cp "$work/libvorbis/COPYING" "$dest/libvorbis.txt" &&
    cp "$work/libjpeg-turbo/LICENSE.md" "$dest/libjpeg-turbo.txt" &&
    cp "$work/libjpeg-turbo/README.ijg" "$dest/libjpeg-turbo-README.ijg.txt" &&
    cp "$work/zlib/debian/copyright" "$dest/zlib.txt" &&
    cp "$work/libpng1.6/LICENSE" "$dest/libpng.txt" &&
    cp "$work/giflib/COPYING" "$dest/giflib.txt"
}

# step NAME DIR FUNCTION: runs FUNCTION in DIR, stopping at its first failing
# command, with its output in DIR/build.log. Call it outside any tested
# context (not after if, && or ||), or errexit would be ignored inside it.
step() {
    local name=$1 dir=$2 fn=$3 rc t0=$SECONDS
    echo "== $name"
    set +e
    # SOURCE_DATE_EPOCH: the date of the package's last change, as Debian
    # builds it; libjpeg-turbo writes it into its version string.
    (set -e; cd "$dir"
     SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l debian/changelog -STimestamp)
     export SOURCE_DATE_EPOCH
     "$fn") >"$dir/build.log" 2>&1
    rc=$?
    set -e
    echo "   $((SECONDS - t0)) s"
    if [ "$rc" -ne 0 ]; then
        tail -n 30 "$dir/build.log" >&2
        echo "building $name failed; the whole log is $dir/build.log" >&2
        return 1
    fi
}
