#!/usr/bin/env bash
# Installs everything Tessary needs to build, test and run on Debian 12: the
# libraries below, and the outside programs of tools/outside-programs.txt that
# the Linux stages run. Fails, naming each, when one is still missing.
set -euo pipefail
tools=$(dirname "$0")

libraries=(
  # test frameworks and sanitizer runtimes
  libgtest-dev libgmock-dev libbenchmark-dev libclang-rt-14-dev
  # platform libraries
  qt6-base-dev libv4l-dev libavahi-client-dev libboost-dev
  libx11-dev libxext-dev libxcomposite-dev libxdamage-dev libxfixes-dev libxres-dev
  # the setup page's browser test drives Chromium through Selenium
  python3-selenium
  # the Windows capture tests: Wine splits AVI files with GStreamer's avidemux
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  # the Python client's test installs the package into a virtual environment
  python3-venv
)
mapfile -t programs < <(bash "$tools/outside-programs.sh" packages linux)

bash "$tools/apt-install.sh" "${libraries[@]}" "${programs[@]}"
bash "$tools/outside-programs.sh" check linux
