# Sourced by the set-up scripts: installs the Debian packages named in
# arguments that are not installed yet (as root, or through sudo).
ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
            || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# What building the programs, the simulator and the command line needs.
BUILD_PACKAGES=(build-essential cmake pkg-config qt6-base-dev)
# What building the Debian package (scripts/package.sh) and checking it needs.
PACKAGE_PACKAGES=(dpkg-dev file lintian desktop-file-utils appstream bash-completion shared-mime-info)
