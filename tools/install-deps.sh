#!/usr/bin/env bash
# Installs everything Tessary needs to build, test and run on Debian 12.
set -euo pipefail

packages=(
  # toolchain and test frameworks
  cmake g++ ninja-build pkg-config clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # platform libraries
  qt6-base-dev libv4l-dev libavahi-client-dev libboost-dev
  libx11-dev libxext-dev libxcomposite-dev libxdamage-dev libxfixes-dev libxres-dev
  # display tests: a virtual X server, a tray host and window tools
  xvfb xauth xdotool wmdocker x11-utils
  # the setup page in a real headless browser
  chromium chromium-driver python3-selenium
  # the Windows capture tests: Wine splits AVI files with GStreamer's avidemux
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  # the protocol reference's framing snippets and the client libraries' tests
  # (python3-venv: the Python package is installed into a virtual environment)
  python3 python3-venv nodejs
)

bash "$(dirname "$0")/apt-install.sh" "${packages[@]}"
