#!/usr/bin/env bash
# Installs everything Tessary needs to build, test and run on Debian 12: the
# libraries below, and the outside programs of tools/outside-programs.txt that
# the Linux stages run. Fails, naming each, when one is still missing.
set -euo pipefail
tools=$(dirname "$0")

libraries=(
  # test frameworks and sanitizer runtimes; OpenCV is the detection
  # benchmark's peer
  libgtest-dev libgmock-dev libbenchmark-dev libclang-rt-14-dev libopencv-imgproc-dev
  # platform libraries
  qt6-base-dev libavahi-client-dev libboost-dev libmosquitto-dev
  # cameras, files and streams through GStreamer: its libraries, the plugins
  # that reach cameras, demux, decode (libav: the codecs users' files come in)
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  libx11-dev libxext-dev libxcomposite-dev libxdamage-dev libxfixes-dev libxres-dev
  # the setup page's browser test drives Chromium through Selenium
  python3-selenium
  # the Python client's test installs the package into a virtual environment
  python3-venv
)
# The programs of the Linux rows of tools/outside-programs.txt, which the
# check below holds this list to: build tools, the X server and X tools the
# display tests drive, a tray host, screenshots, the browser and its driver,
# the interpreters, an OSC receiver, an MQTT broker and client, GStreamer's
# command-line tools.
programs=(
  cmake ninja-build g++ clang pkg-config ccache
  xvfb xauth xdotool wmdocker x11-utils imagemagick-6.q16
  chromium chromium-driver python3 nodejs
  liblo-tools mosquitto mosquitto-clients gstreamer1.0-tools
)

bash "$tools/apt-install.sh" "${libraries[@]}" "${programs[@]}"
bash "$tools/outside-programs.sh" check linux
