#!/usr/bin/env bash
# Installs every Debian package that the build, the client and the tests need.
# Idempotent: packages already present are left alone; safe to run again.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config git
  # libraries the client links
  libgtk-3-dev libwebkit2gtk-4.1-dev libcurl4-openssl-dev libtinyxml-dev
  libsqlite3-dev libpng-dev libssl-dev nlohmann-json3-dev libcairo2-dev
  libpango1.0-dev
  # a CJK font so the Chinese texts of the skin and the menus render
  fonts-wqy-microhei fonts-dejavu-core
  # tests, benchmarks and the stand-in operator
  libcpp-httplib-dev libgtest-dev libgmock-dev libbenchmark-dev curl
  # the client benchmark reads the screen and clicks through Xlib and XTest
  libx11-dev libxtst-dev
  # end-to-end tests: a virtual display, input, screenshots, a compositor, a tray host
  xvfb xauth x11-utils xdotool imagemagick xcompmgr trayer dbus-x11
  xdg-utils xdg-user-dirs
  # the Wayland test: a headless compositor with XWayland
  weston xwayland
  # the whole client's end-to-end tests also run under a window manager
  openbox
  # the tray icon's end-to-end tests: a private session bus of their own
  dbus-daemon
  # the desktop shortcuts' tests check every file with desktop-file-validate
  desktop-file-utils
  # the fuzzers (tools/fuzz.sh): clang with libFuzzer and the sanitizers' runtimes
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
