#!/usr/bin/env bash
# Installs build packages and fetches JUCE 8.0.6 and the MIT KEMAR data into a cache
# outside the clone, so a fresh clone on the same machine reuses them.
set -euo pipefail

CACHE="${VELMORA_CACHE:-$HOME/.cache/velmora-deps}"
JUCE_VERSION="8.0.6+ds-2"
JUCE_DIR="$CACHE/juce-8.0.6"
EARPLUG_FILE="$CACHE/earplug/earplug_data.txt"
EARPLUG_SHA="4f5c2229accd8f4a8cc2a79d83badb95da9db9bc709b3b3de5bf40c48b28d750"

declare -A JUCE_SHA=(
    [juce_8.0.6+ds.orig.tar.xz]=4126ec8066866a1ccbc9cdd2beac712fd51e55ac7f24d8fdc45077b187a358ef
    [juce_8.0.6+ds-2.debian.tar.xz]=98f781365d85d35639b5c47416b769c3d68ad9858c8559fc6c80bb95710976a1
    [juce_8.0.6+ds-2.dsc]=875f60aa9810331de2b41dcc3b2d3af86dbcb8bbb4571b30d26e34cc3f96db58
)

PACKAGES=(cmake g++ pkg-config dpkg-dev ccache libasound2-dev libcurl4-openssl-dev
    libfontconfig-dev libfreetype-dev libjpeg-dev libpng-dev libx11-dev libxcomposite-dev
    libxcursor-dev libxext-dev libxinerama-dev libxrandr-dev zlib1g-dev libflac-dev
    libvorbis-dev libgl-dev libfftw3-dev xvfb xauth xdotool libgtest-dev)

say() { printf '[setup] %s\n' "$*"; }

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

install_packages() {
    local missing=()
    for p in "${PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -eq 0 ]; then
        say "packages present"
        return
    fi
    say "installing: ${missing[*]}"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# The archive address comes from the machine's own apt configuration.
archive_uri() {
    local uri=""
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        uri=$(awk '/^URIs:/ { for (i = 2; i <= NF; i++) if ($i !~ /security/) { print $i; exit } }' \
            /etc/apt/sources.list.d/debian.sources)
    fi
    if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
        uri=$(awk '$1 == "deb" && $0 !~ /security/ { for (i = 2; i <= NF; i++) if ($i ~ /:\/\//) { print $i; exit } }' \
            /etc/apt/sources.list)
    fi
    [ -n "$uri" ] || { echo "setup: no Debian archive URI in the apt sources" >&2; exit 1; }
    echo "$uri"
}

check_sha() { echo "$2  $1" | sha256sum -c --quiet -; }

fetch_juce() {
    if [ -f "$JUCE_DIR/CMakeLists.txt" ] && [ -f "$JUCE_DIR/.velmora-ok" ]; then
        say "JUCE 8.0.6 present in $JUCE_DIR"
        return
    fi
    say "fetching JUCE $JUCE_VERSION source"
    local apt="$CACHE/apt"
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$CACHE/src"
    echo "deb-src $(archive_uri) trixie main" > "$apt/sources.list"
    local opts=(-o Dir::Etc::sourcelist="$apt/sources.list" -o Dir::Etc::sourceparts=- -o APT::Sandbox::User=root
        -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache")
    apt-get "${opts[@]}" -qq update
    (cd "$CACHE/src" && apt-get "${opts[@]}" -qq source --download-only "juce=$JUCE_VERSION")
    for f in "${!JUCE_SHA[@]}"; do
        check_sha "$CACHE/src/$f" "${JUCE_SHA[$f]}"
    done
    rm -rf "$JUCE_DIR"
    # apt checked the archive signature and we checked the sha256 sums above.
    dpkg-source -x "$CACHE/src/juce_$JUCE_VERSION.dsc" "$JUCE_DIR" >/dev/null 2>&1
    touch "$JUCE_DIR/.velmora-ok"
}

fetch_earplug() {
    if [ -f "$EARPLUG_FILE" ] && check_sha "$EARPLUG_FILE" "$EARPLUG_SHA"; then
        say "KEMAR data present"
        return
    fi
    say "fetching the MIT KEMAR data (pd-earplug)"
    local tmp
    tmp=$(mktemp -d)
    # A machine whose package lists were never fetched cannot download yet.
    if ! (cd "$tmp" && apt-get -o APT::Sandbox::User=root download -qq pd-earplug); then
        $SUDO apt-get update -qq
        (cd "$tmp" && apt-get -o APT::Sandbox::User=root download -qq pd-earplug)
    fi
    (cd "$tmp" && dpkg-deb -x pd-earplug_*.deb x)
    mkdir -p "$(dirname "$EARPLUG_FILE")"
    cp "$tmp/x/usr/lib/pd/extra/earplug~/earplug_data.txt" "$EARPLUG_FILE.tmp"
    rm -rf "$tmp"
    check_sha "$EARPLUG_FILE.tmp" "$EARPLUG_SHA"
    mv "$EARPLUG_FILE.tmp" "$EARPLUG_FILE"
}

install_packages "$@"
mkdir -p "$CACHE"
fetch_juce
fetch_earplug
say "dependencies ready in $CACHE"
