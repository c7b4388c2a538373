#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need.
# apt-get update runs only when something is missing.
set -euo pipefail
packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgl-dev libxkbcommon-dev
  libgsm1-dev libmp3lame-dev libasound2-dev libasound2-plugins zlib1g-dev
  fonts-liberation
  # PCM rate conversion; the call log's streaming XML parser
  libsoxr-dev libexpat1-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # reports: fontconfig finds faces, HarfBuzz cuts font subsets; qpdf checks PDFs; CUPS, the generic PDF
  # printer driver and Ghostscript make the test printer and read what it printed
  libfontconfig-dev libharfbuzz-dev qpdf cups cups-client printer-driver-cups-pdf ghostscript
  sox libsox-fmt-mp3 poppler-utils pulseaudio pulseaudio-utils alsa-utils xvfb xauth xdg-utils
  # SIP lines: the user agent (its sound goes through the sound server above and ALSA's pulse plugin)
  baresip-core
  # readers that check exported spreadsheets and XHTML pages in the tests
  python3-xlrd libxml2-utils
  # the installation and the package: menu-entry and metainfo validators, package dependencies, icon renderer
  desktop-file-utils appstream dpkg-dev librsvg2-bin
  # the toolkit's own Czech texts (file and folder dialogs, standard buttons)
  qt6-translations-l10n
  # scripts/measure-window.sh: sees the main window mapped (xev) and names it (xprop)
  x11-utils
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
