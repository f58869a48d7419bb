#!/usr/bin/env bash
# Installs what the project needs on Debian 12 (run as root).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends \
  build-essential cmake ninja-build clang libclang-rt-14-dev \
  libgtest-dev libgmock-dev libbenchmark-dev \
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libqscintilla2-qt6-dev libgl-dev libsqlite3-dev \
  libsodium-dev \
  xvfb xauth imagemagick fonts-dejavu-core fonts-liberation2 \
  dbus at-spi2-core python3-pyatspi \
  netcat-openbsd curl python3 ca-certificates \
  chromium \
  lintian adduser abigail-tools devscripts \
  openssh-client openssh-server
