# Sourced by win/deps.sh and web/deps.sh: the Debian source packages both
# ports build their libraries from, fetched once into a shared folder, and
# the helpers to build them step by step.
#
#   VASKILOIMU_SOURCES  where the fetched source packages are kept
#                       (default: ${XDG_CACHE_HOME:-~/.cache}/vaskiloimu-sources)

srcpkgs=(libogg libvorbis libsdl1.2 sdl-mixer1.2 libjpeg-turbo)
sources_dl=${VASKILOIMU_SOURCES:-${XDG_CACHE_HOME:-$HOME/.cache}/vaskiloimu-sources}

# die is the caller's.
need dpkg-dev

sources_sudo=
[ "$(id -u)" -eq 0 ] || sources_sudo=sudo

# apt-get source needs source entries; Debian's images ship only binary ones.
# They are copied from the binary entries, so they name the same mirror and suite.
have_sources() { apt-cache showsrc libogg 2>/dev/null | grep -q '^Package:'; }
if ! have_sources; then
    list=/etc/apt/sources.list.d/deb-src.sources
    if [ ! -e "$list" ]; then
        for f in /etc/apt/sources.list.d/*.sources; do
            [ -e "$f" ] || continue
            grep -q '^Types:.*\bdeb\b' "$f" || continue
            sed -e 's/^Types:.*/Types: deb-src/' "$f"
            echo
        done | $sources_sudo tee "$list.new" >/dev/null
        if [ -s "$list.new" ]; then
            $sources_sudo mv "$list.new" "$list"
        else
            $sources_sudo rm -f "$list.new"
            # The older one-line format.
            grep -qs '^deb ' /etc/apt/sources.list ||
                die "no Debian package sources are configured to copy source entries from"
            sed -n 's/^deb /deb-src /p' /etc/apt/sources.list |
                $sources_sudo tee /etc/apt/sources.list.d/deb-src.list >/dev/null
        fi
    fi
    $sources_sudo apt-get update -qq
    have_sources || die "apt-get cannot find Debian source packages even with source entries"
fi

# The version apt-get source would fetch (without its epoch, as in the file
# names), read from the local lists alone.
srcver() {
    apt-get source --print-uris -qq "$1" 2>/dev/null |
        sed -n "s/^'[^']*' $1_\([^ ]*\)\.dsc .*/\1/p" | head -n 1
}

# ver[PACKAGE], and sources_key: the packages and versions, one a line, for
# the callers' cache keys.
declare -A ver
sources_key=
for p in "${srcpkgs[@]}"; do
    ver[$p]=$(srcver "$p")
    [ -n "${ver[$p]}" ] || die "no source version known for $p"
    sources_key+="$p ${ver[$p]}"$'\n'
done
sources_key+="$(sha256sum < "${BASH_SOURCE[0]}")"$'\n'

# unpack_sources WORK: fetches what is not fetched yet and unpacks every
# package into WORK/<package>.
unpack_sources() {
    local work=$1 p dsc
    mkdir -p "$work" "$sources_dl"
    for p in "${srcpkgs[@]}"; do
        dsc="$sources_dl/${p}_${ver[$p]}.dsc"
        if [ ! -e "$dsc" ]; then
            (cd "$sources_dl" && apt-get source -q --download-only "$p") >"$sources_dl/$p.log" 2>&1 ||
                { cat "$sources_dl/$p.log" >&2; die "apt-get source $p failed"; }
            [ -e "$dsc" ] || die "apt-get source $p did not fetch $(basename "$dsc")"
        fi
        (cd "$work" && dpkg-source -x "$dsc" "$p") >"$work/$p.log" 2>&1 ||
            { cat "$work/$p.log" >&2; die "unpacking $(basename "$dsc") failed"; }
        # One timestamp for every file: the patches touched some inputs of
        # the generated build files, and make must not try to regenerate them.
        find "$work/$p" -exec touch -h -d @315532800 {} +
    done
}

# copy_licenses WORK DEST: the licence texts, shipped beside what is built
# from these sources.
copy_licenses() {
    local work=$1 dest=$2
    mkdir -p "$dest"
    cp "$work/libsdl1.2/COPYING" "$dest/SDL.txt"
    cp "$work/sdl-mixer1.2/COPYING" "$dest/SDL_mixer.txt"
    cp "$work/libogg/COPYING" "$dest/libogg.txt"
    cp "$work/libvorbis/COPYING" "$dest/libvorbis.txt"
    cp "$work/libjpeg-turbo/LICENSE.md" "$dest/libjpeg-turbo.txt"
    cp "$work/libjpeg-turbo/README.ijg" "$dest/libjpeg-turbo-README.ijg.txt"
}

# step NAME DIR FUNCTION: runs FUNCTION in DIR, stopping at its first failing
# command, with its output in DIR/build.log.
step() {
    local name=$1 dir=$2 fn=$3
    echo "== $name"
    local rc t0=$SECONDS
    # Outside any tested context, or errexit would be ignored in the subshell.
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
        die "building $name failed; the whole log is $dir/build.log"
    fi
}
