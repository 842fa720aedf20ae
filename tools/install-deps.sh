#!/usr/bin/env bash
# Installs everything Tessary needs to build, test and run on Debian 12.
set -euo pipefail

packages=(
  # toolchain and test frameworks
  cmake g++ ninja-build pkg-config clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # platform libraries
  qt6-base-dev libavahi-client-dev libboost-dev
  # cameras, files and streams through GStreamer: its libraries, the plugins
  # that reach cameras, demux, decode (libav: the codecs users' files come in)
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  libx11-dev libxext-dev libxcomposite-dev libxdamage-dev libxfixes-dev libxres-dev
  # display tests: a virtual X server, a tray host and window tools
  xvfb xauth xdotool wmdocker x11-utils
  # the setup page in a real headless browser
  chromium chromium-driver python3-selenium
  # the camera tests make their video files and streams with gst-launch-1.0
  # (Wine's DirectShow also splits AVI files with the good plugins' avidemux)
  gstreamer1.0-tools
  # the protocol reference's framing snippets are run by the tests
  python3 nodejs
)

bash "$(dirname "$0")/apt-install.sh" "${packages[@]}"
