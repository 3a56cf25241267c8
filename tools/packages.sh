# shellcheck shell=bash
# Sourced by the project's scripts: need installs Debian packages, and
# packages names those each preset of CMakePresets.json takes to build and
# test. As a command it installs them for the presets named:
#
#   bash tools/packages.sh PRESET...

# need PACKAGE...: installs those not installed yet, with sudo when not root,
# naming each once, first; only what they depend on comes with them, not what they
# merely recommend. A PACKAGE may also be the path of a .deb. A package of
# the i386 architecture (wine32:i386) adds that architecture to dpkg first.
need() {
    local missing=() p sudo=
    for p in $(printf '%s\n' "$@" | sort -u); do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        echo "Adding the i386 architecture to dpkg (dpkg --add-architecture i386), for ${missing[*]}" >&2
        $sudo dpkg --add-architecture i386 || return 1
    fi
    echo "Installing ${missing[*]}${sudo:+ (through sudo)}" >&2
    # A list that cannot be fetched (a mirror being synced) leaves apt the
    # lists it had, which may well hold these packages: the install says.
    $sudo apt-get update -qq || echo "apt-get update failed; installing from the lists apt has" >&2
    # sudo drops the caller's environment, so the setting goes through env:
    # a question nobody sees would wait forever.
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        -o DPkg::Lock::Timeout=600 "${missing[@]}" >/dev/null
}

# packages PRESET...: prints the packages those presets take, for bench the
# benchmarks, and for build and media those that building the demo alone and
# making the media take.
packages() {
    local p
    for p in "$@"; do
        case $p in
        build) echo g++ cmake ninja-build pkg-config libsdl1.2-dev libsdl-image1.2-dev libsdl-mixer1.2-dev libpng-dev ;;
        linux) echo "$(packages media) libgtest-dev libx11-dev libsdl1.2-compat xvfb x11-utils xdotool" ;;
        linux-all) echo "$(packages linux) ffmpeg lintian appstream mandoc groff-base desktop-file-utils" ;;
        san) echo "$(packages linux) clang libclang-rt-14-dev libjpeg-dev libgif-dev" ;;
        i386 | arm64 | armhf | s390x) echo "$(packages build) libgtest-dev dpkg-dev crossbuild-essential-$p qemu-user-static imagemagick" ;;
        linux-arm64) echo "$(packages build) crossbuild-essential-arm64 qemu-user-static imagemagick" ;;
        win32) echo "$(packages build) dpkg-dev g++-mingw-w64-i686-win32 gcc-mingw-w64-i686-win32" \
            "binutils-mingw-w64-i686 wine wine32:i386 xvfb x11-utils xdotool imagemagick sox libsox-fmt-base" ;;
        web) echo "$(packages build) dpkg-dev emscripten nodejs chromium firefox-esr webkit2gtk-driver xvfb imagemagick" \
            "sox libsox-fmt-base python3" ;;
        release) echo "$(packages linux-all win32 web)" ;;
        bench) echo "$(packages linux web)" ;;
        media) echo "$(packages build) libjpeg-dev libvorbis-dev imagemagick" ;;
        *) echo "no preset $p" >&2; return 1 ;;
        esac
    done
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -euo pipefail
    # shellcheck disable=SC2046 # the names are words
    need $(packages "$@")
fi
