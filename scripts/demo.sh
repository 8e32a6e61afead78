#!/usr/bin/env bash
# The demo: packages the stand-in projector as a titled, centred presentation
# (with the demo song once the MIDI tools are built), runs it under Wine and
# says where the packaged program and the screenshot are. `make demo` builds
# everything first. Without a display the show runs in a virtual X server and
# a screenshot of it is kept in build/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."

out=build/demo
native=build/native/bin
windows=build/windows/bin
exe=$out/presentation.exe
title="Packaged presentation demo"

require() {
  [ -f "$1" ] || { echo "demo: $1 is missing; run 'make build' first" >&2; exit 1; }
}
require "$native/packtool"
require "$windows/projector.exe"
mkdir -p "$out"

music=()
if [ -x "$native/midiwrite" ] && [ -f "$windows/midi.exe" ]; then
  "$native/midiwrite" demo "$out/demo.mid"
  music=(--song "$out/demo.mid" --play once)
  echo "demo: with music: $out/demo.mid, played once"
else
  echo "demo: midiwrite or midi.exe is not built; packaging without music"
fi

rm -f "$exe" "$out/screenshot.png"
"$native/packtool" build --projector "$windows/projector.exe" "${music[@]}" \
  --title "$title" --center -o "$exe"
echo "demo: packaged $exe"

# Wine's part has its own script, so that it can run here or in the emulated
# machine, which sees this tree at the same path.
run=(bash "$PWD/scripts/demo-run.sh" "$PWD/$exe" "$PWD/$out" "$title")
if bash scripts/can-run-i386.sh 2>/dev/null; then
  "${run[@]}"
elif [ -f scripts/winvm/run.sh ]; then
  echo "demo: this host cannot run 32-bit code; running Wine in the emulated machine" >&2
  bash scripts/winvm/setup.sh
  # The guest keeps the prefix on its own disk, copied from its ready one.
  WINE_PREFIX_ROOT=/tmp/wineprefixes WINE_PREFIX_TEMPLATE=/root/.wine \
    bash scripts/winvm/run.sh --cwd "$PWD" -- "${run[@]}"
else
  echo "demo: this host cannot run 32-bit code and scripts/winvm is not there to run it" >&2
  exit 1
fi

echo "demo: the packaged presentation is $exe"
if [ -f "$out/screenshot.png" ]; then
  echo "demo: the screenshot is $out/screenshot.png"
else
  echo "demo: no screenshot was taken (the show ran on \$DISPLAY)"
fi
