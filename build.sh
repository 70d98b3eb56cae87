#!/usr/bin/env bash
# Ovalmere's one entry point.
#
#   ./build.sh            build in Release, install the plug-ins into ~/.vst3
#                         and ~/.lv2 and render the demo
#   ./build.sh test       build everything with the tests and run them (CI)
#   ./build.sh sanitize   the same tests under AddressSanitizer and UBSan
#
# Missing Debian packages are installed when run as root; otherwise the exact
# apt-get line is printed and nothing else happens.
set -euo pipefail

cd "$(dirname "$0")"
mode="${1:-run}"

# Paths inside the checkout count as relative for ccache, so a fresh clone
# in another folder reuses what an earlier build compiled.
export CCACHE_BASEDIR="$PWD"
jobs="$(nproc 2>/dev/null || echo 2)"

packages=(build-essential cmake pkg-config ccache juce-modules-source
          libgtest-dev libbenchmark-dev lilv-utils xvfb xdotool
          python3-pil python3-numpy fontconfig-config fonts-dejavu-core)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if ((${#missing[@]})); then
    if [[ "$(id -u)" == 0 ]]; then
        echo "Installing from Debian: ${missing[*]}"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
    else
        echo "Some packages are missing. As root, run:"
        echo "  apt-get install -y ${missing[*]}"
        exit 1
    fi
fi

configure() # build-folder, extra cmake arguments...
{
    local folder="$1"
    shift
    mkdir -p "$folder"
    cmake -S . -B "$folder" -DCMAKE_BUILD_TYPE=Release "$@" > "$folder/configure.log" 2>&1 ||
        { cat "$folder/configure.log"; exit 1; }
}

install_bundle() # source, destination folder
{
    local source="$1" destination="$2"
    mkdir -p "$destination"
    rm -rf "$destination/$(basename "$source")"
    cp -R "$source" "$destination/"
    echo "  $(basename "$source") -> $destination/$(basename "$source")"
}

case "$mode" in
    run)
        configure build
        cmake --build build --parallel "$jobs" --target Ovalmere_All ovalmere-render
        artefacts=build/Ovalmere_artefacts/Release
        echo "Installed:"
        install_bundle "$artefacts/VST3/Ovalmere.vst3" "$HOME/.vst3"
        install_bundle "$artefacts/LV2/Ovalmere.lv2" "$HOME/.lv2"
        echo "  Standalone app: $PWD/$artefacts/Standalone/Ovalmere"
        echo "  Renderer: $PWD/build/ovalmere-render"
        echo "Rendering the demo phrase:"
        build/ovalmere-render "$PWD/build/ovalmere-demo.wav" --png "$PWD/build/ovalmere-demo.png"
        ;;
    test)
        configure build -DOVALMERE_BUILD_TESTS=ON
        cmake --build build --parallel "$jobs"
        ctest --test-dir build --output-on-failure --parallel "$jobs"
        ;;
    sanitize)
        configure build-sanitize -DOVALMERE_BUILD_TESTS=ON -DOVALMERE_SANITIZE=ON
        cmake --build build-sanitize --parallel "$jobs" --target plugin_tests
        ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 build-sanitize/plugin_tests
        ;;
    *)
        echo "usage: $0 [run|test|sanitize]" >&2
        exit 2
        ;;
esac
