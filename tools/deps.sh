# Sourced by the run and test scripts: installs the Debian packages named
# that are not installed yet, with sudo when not root. Only what they depend
# on comes with them, not what they merely recommend.
need() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    echo "Installing ${missing[*]}${sudo:+ (through sudo)}" >&2
    # sudo drops the caller's environment, so the setting goes through env:
    # a question nobody sees would wait forever.
    $sudo apt-get update -qq &&
        $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            -o DPkg::Lock::Timeout=600 "${missing[@]}" >/dev/null
}

BUILD_DEPS=(g++ cmake make pkg-config libsdl1.2-dev libsdl-image1.2-dev libsdl-mixer1.2-dev zlib1g-dev)


# The demo's two media files, one a line, by the names its header gives them.
media_files() {
    sed -n 's/^#define \(IMAGE\|MUSIC\)_FILE "\(.*\)"$/\2/p' "$(dirname "${BASH_SOURCE[0]}")/../src/vaskiloimu.h"
}
