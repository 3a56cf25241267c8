# Sourced by the run and test scripts: installs the Debian packages named
# that are not installed yet, with sudo when not root.
need() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing ${missing[*]}" >&2
    local sudo=
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

BUILD_DEPS=(g++ cmake make pkg-config libsdl1.2-dev libsdl-image1.2-dev libsdl-mixer1.2-dev zlib1g-dev)
