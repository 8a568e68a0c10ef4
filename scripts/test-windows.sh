#!/usr/bin/env bash
# The Windows build and its checks: cross-builds KVB_64.dll, kvb.exe and
# kvb_wincheck.exe with MinGW-w64 into build-win/, then runs them under Wine
# on an Xvfb display of their own, next to the Linux build (build/), which
# the results are compared with:
#   - the DLL exports VSTPluginMain and main and nothing else, and imports
#     only Windows system DLLs (the MinGW runtime is linked in);
#   - loaded through its entry point, it answers kvb info as the Linux
#     build does;
#   - renders of the same input with the same settings are the Linux build's
#     files byte for byte, in float, 16-bit and 24-bit WAV (the chain's maths
#     is its own, not the runtime's, and both write WAV with kvb's own code);
#   - damaged WAV files give the same exit code and message as on Linux, and
#     an output that is the input or not a .wav is refused;
#   - kvb screenshot on Windows shows what it shows on Linux (text aside), at
#     100 %, 150 % and 200 % (--scale), and without --scale takes the
#     monitor's DPI (150 % at 144 dpi);
#   - each plug-in binary (the VST 2.4 and VST3 DLLs, KVB.clap) is at most
#     6 MB, all five scales of the skin included;
#   - the editor opens in a Win32 host window, draws the skin, and answers
#     clicks, drags, the wheel and keys sent through the X server.
#   - the VST3 bundle (KVB.vst3) exports GetPluginFactory, InitDll and
#     ExitDll only, KVB.clap clap_entry only; both import only system DLLs;
#     our own hosts' Windows builds (kvb_vst3_render.exe,
#     kvb_clap_render.exe) render through them the Linux VST 2.4 build's
#     files, byte for byte, and show their editors in a Win32 host window.
# Prints one line per check and closes with "windows: N passed, M failed".
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
WIN_BUILD=${WIN_BUILD_DIR:-build-win}
LINUX_BUILD=${BUILD_DIR:-build}
case "$WIN_BUILD" in /*) ;; *) WIN_BUILD=$ROOT/$WIN_BUILD ;; esac
case "$LINUX_BUILD" in /*) ;; *) LINUX_BUILD=$ROOT/$LINUX_BUILD ;; esac

scripts/install-deps.sh

echo "== building for Windows in $WIN_BUILD"
cmake --preset mingw -B "$WIN_BUILD" ${KVB_WERROR:+-DKVB_WERROR=$KVB_WERROR} >/dev/null
cmake --build "$WIN_BUILD" -j2
echo "== the Linux build to compare with, in $LINUX_BUILD"
if [ ! -f "$LINUX_BUILD/CMakeCache.txt" ]; then
  cmake --preset release -B "$LINUX_BUILD" >/dev/null
fi
cmake --build "$LINUX_BUILD" -j2 --target KVB_64 kvb

DLL=$WIN_BUILD/KVB_64.dll
KVB_EXE=$WIN_BUILD/kvb.exe
WINCHECK=$WIN_BUILD/kvb_wincheck.exe
KVB_LINUX=$LINUX_BUILD/kvb
OBJDUMP=x86_64-w64-mingw32-objdump
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
[ -x "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver

export WINEPREFIX=$WIN_BUILD/wineprefix
export WINEDEBUG=-all
# No Mono or Gecko installer prompts when the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
WORK=$WIN_BUILD/wine-checks
rm -rf "$WORK"
mkdir -p "$WORK"

passed=0
failed=0
ok() {
  passed=$((passed + 1))
  echo "ok   $*"
}
fail() {
  failed=$((failed + 1))
  echo "FAIL $*"
}
expect() {  # expect DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then ok "$what"; else fail "$what"; fi
}

# --- the X display and Wine -------------------------------------------------
XVFB_PID=""
cleanup() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null || true; fi
}
trap cleanup EXIT

start_xvfb() {
  local n
  for n in $(seq 91 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 2560x1440x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 1 50); do
      if xdpyinfo -display ":$n" >/dev/null 2>&1; then
        export DISPLAY=":$n"
        return 0
      fi
      kill -0 "$XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
    kill "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=""
  done
  return 1
}
if ! start_xvfb; then
  echo "cannot start Xvfb" >&2
  exit 1
fi
echo "== Xvfb on $DISPLAY; Wine prefix $WINEPREFIX"
# The first start makes the prefix (several seconds).
"$WINE" "$KVB_EXE" help >/dev/null 2>&1 || true

# --- the module -----------------------------------------------------------------
echo "== the DLL's exports and imports"
"$OBJDUMP" -p "$DLL" >"$WORK/objdump.txt"
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ {f = 1; next} f && /^[[:space:]]*\[/ {print $NF; next} f {f = 0}' \
  "$WORK/objdump.txt" | sort | tr '\n' ' ')
expect "exports are exactly 'VSTPluginMain main' (got '$exports')" [ "$exports" = "VSTPluginMain main " ]
rvas=$(awk '/Export Address Table -- Ordinal Base/ {f = 1; next} f && /Export RVA/ {print $(NF - 2); next} f && NF == 0 {f = 0}' \
  "$WORK/objdump.txt" | sort -u | wc -l)
expect "both export names lead to one function" [ "$rvas" = 1 ]
system_dlls='^(kernel32|user32|gdi32|msvcrt|ucrtbase|advapi32|shell32|ole32|oleaut32|ws2_32|ntdll|bcrypt|api-ms-win-.*)\.dll$'
for binary in "$DLL" "$KVB_EXE"; do
  imports=$("$OBJDUMP" -p "$binary" | awk '/DLL Name:/ {print $3}')
  others=$(echo "$imports" | grep -viE "$system_dlls" || true)
  expect "$(basename "$binary") imports only system DLLs ($(echo $imports)${others:+; not: $others})" [ -z "$others" ]
done
resources=$("$OBJDUMP" -h "$DLL" | awk '$2 == ".rsrc" {print $3}')
expect "the DLL has a resource section (the skin)" [ -n "$resources" ]
# Every scale of the skin is in each binary, compressed: at most 6 MB each.
for binary in "$DLL" "$WIN_BUILD/KVB.clap" "$WIN_BUILD/KVB.vst3/Contents/x86_64-win/KVB.vst3"; do
  bytes=$(stat -c %s "$binary" 2>/dev/null || echo 99999999)
  expect "$(basename "$binary") is at most 6 MB ($bytes bytes)" [ "$bytes" -le 6000000 ]
done

# --- kvb info -------------------------------------------------------------------
echo "== kvb info, Windows against Linux"
(cd "$WORK" && "$WINE" "$KVB_EXE" info >win-info.raw 2>win-info.err) || true
tr -d '\r' <"$WORK/win-info.raw" | grep -v '^Plug-in:' >"$WORK/win-info.txt" || true
"$KVB_LINUX" info | grep -v '^Plug-in:' >"$WORK/linux-info.txt"
expect "kvb.exe info loads the DLL through its entry point ($(wc -l <"$WORK/win-info.txt") lines)" \
  grep -q '^Unique ID: .*0x004B5642' "$WORK/win-info.txt"
if diff -u "$WORK/linux-info.txt" "$WORK/win-info.txt" >"$WORK/info.diff"; then
  ok "kvb info answers the same on Windows as on Linux (the path aside)"
else
  fail "kvb info differs:"
  head -20 "$WORK/info.diff"
fi

# --- renders --------------------------------------------------------------------
# The same input and settings give the same file on both platforms, byte for
# byte: the samples (the chain's maths is its own) and the file around them
# (both builds write WAV with kvb's own writer, integers with its own
# rounding). The output's encoding follows the input's: float, 16 and 24-bit.
echo "== renders, Windows against Linux: the same files, byte for byte"
python3 tests/win/wavtool.py make "$WORK/in44.wav" 44100 6
python3 tests/win/wavtool.py make "$WORK/in48.wav" 48000 4
python3 tests/win/wavtool.py make "$WORK/in44-16.wav" 44100 6 16
python3 tests/win/wavtool.py make "$WORK/in44-24.wav" 44100 6 24
. scripts/render-settings.sh
render_cases=(
  "both-bypassed|in44|OptByp1=1 DisByp1=1 MSMode=0 OptByp2=1 DisByp2=1 Trafo1=0 Trafo2=0.5"
  "default|in44|"
  "both-stages-linked-trafo0|in44|$SETTINGS_BOTH_STAGES"
  "mid-side-trafo1-and-0|in44|$SETTINGS_MID_SIDE"
  "unlinked-fast-trafo2|in44|$SETTINGS_UNLINKED"
  "both-stages-48k|in48|$SETTINGS_BOTH_STAGES"
  "default-16bit|in44-16|"
  "both-stages-16bit|in44-16|$SETTINGS_BOTH_STAGES OptGain1=1"
  "default-24bit|in44-24|"
  "mid-side-24bit|in44-24|$SETTINGS_MID_SIDE"
)
for c in "${render_cases[@]}"; do
  IFS='|' read -r name input settings <<<"$c"
  sets=()
  for s in $settings; do sets+=(--set "$s"); done
  (cd "$WORK" && "$KVB_LINUX" render "$input.wav" "lin-$name.wav" "${sets[@]}" >/dev/null)
  (cd "$WORK" && "$WINE" "$KVB_EXE" render "$input.wav" "win-$name.wav" "${sets[@]}" >/dev/null 2>&1) ||
    { fail "render $name: kvb.exe failed"; continue; }
  bytes=$(wc -c <"$WORK/lin-$name.wav")
  if cmp -s "$WORK/lin-$name.wav" "$WORK/win-$name.wav"; then
    ok "render $name: the same file on both ($bytes bytes)"
  else
    fail "render $name: the files differ: $(cmp "$WORK/lin-$name.wav" "$WORK/win-$name.wav" 2>&1 | head -1)"
  fi
  # Not silence: the float renders' peak.
  if [ "$input" = in44 ] || [ "$input" = in48 ]; then
    result=$(python3 tests/win/wavtool.py maxdiff "$WORK/lin-$name.wav" "$WORK/win-$name.wav" 2>&1) || result="peak=0"
    expect "render $name: a signal ($result)" awk -v p="${result##*peak=}" 'BEGIN {exit !(p + 0 > 0.05)}'
  fi
done
(cd "$WORK" && "$WINE" "$KVB_EXE" render in44-24.wav win-default-24bit-again.wav >/dev/null 2>&1) || true
expect "two renders of one input by kvb.exe are the same file" cmp -s "$WORK/win-default-24bit.wav" \
  "$WORK/win-default-24bit-again.wav"

# --- damaged files and refusals ---------------------------------------------------
# Both builds read WAV with the same code: a damaged file gives the same exit
# code and the same message on both, and never hangs (timeout's 124).
echo "== damaged WAV files, Windows against Linux"
same_outcome() {  # same_outcome LINUX_RC WINDOWS_RC LINUX_ERR WINDOWS_ERR
  [ "$1" = "$2" ] && [ "$1" != 124 ] && cmp -s "$3" "$4"
}
for kind in junk-back junk-wrap cut; do
  python3 tests/win/wavtool.py damaged "$WORK/$kind.wav" "$kind"
  (cd "$WORK" && timeout 60 "$KVB_LINUX" render "$kind.wav" "lin-$kind-out.wav" >/dev/null 2>"lin-$kind.err") &&
    lrc=0 || lrc=$?
  (cd "$WORK" && timeout 60 "$WINE" "$KVB_EXE" render "$kind.wav" "win-$kind-out.wav" >/dev/null 2>"win-$kind.raw") &&
    wrc=0 || wrc=$?
  tr -d '\r' <"$WORK/win-$kind.raw" >"$WORK/win-$kind.err"
  expect "damaged $kind: exit code $wrc on Windows, $lrc on Linux, the same message: $(head -c 100 "$WORK/lin-$kind.err")" \
    same_outcome "$lrc" "$wrc" "$WORK/lin-$kind.err" "$WORK/win-$kind.err"
done
expect "damaged cut: the part that is there, the same file on both" cmp -s "$WORK/lin-cut-out.wav" "$WORK/win-cut-out.wav"

echo "== refusals"
cp "$WORK/in44.wav" "$WORK/in44-copy.wav"
ln -sf in44.wav "$WORK/in44-link.wav"
(cd "$WORK" && "$WINE" "$KVB_EXE" render in44.wav in44.wav >/dev/null 2>&1) && rc=0 || rc=$?
expect "kvb.exe render IN IN is refused with exit code 2 (got $rc)" [ "$rc" = 2 ]
(cd "$WORK" && "$WINE" "$KVB_EXE" render in44.wav in44-link.wav >/dev/null 2>&1) && rc=0 || rc=$?
expect "kvb.exe render IN LINK-TO-IN is refused with exit code 2 (got $rc)" [ "$rc" = 2 ]
expect "and IN is as it was" cmp -s "$WORK/in44.wav" "$WORK/in44-copy.wav"
rm -f "$WORK/out.ogg"
msg=$(cd "$WORK" && "$WINE" "$KVB_EXE" render in44.wav out.ogg 2>&1 | tr -d '\r') && rc=0 || rc=$?
expect "kvb.exe render IN out.ogg is refused with exit code 2 (got $rc)" [ "$rc" = 2 ]
expect "naming what it writes ($msg)" grep -q '\.wav' <<<"$msg"
expect "and writes nothing" [ ! -e "$WORK/out.ogg" ]

# --- kvb screenshot -------------------------------------------------------------
echo "== kvb screenshot, Windows against Linux"
SHOT_SETTINGS=(--set OptThr1=0.5 --set OptByp1=1 --set 14=1 --set DisAtk2=0.2 --audio 0)
(cd "$WORK" && "$WINE" "$KVB_EXE" screenshot win-shot.png "${SHOT_SETTINGS[@]}" >/dev/null 2>&1) ||
  fail "kvb.exe screenshot failed"
(cd "$WORK" && "$KVB_LINUX" screenshot linux-shot.png "${SHOT_SETTINGS[@]}" >/dev/null)
size=$(identify -format '%wx%h' "$WORK/win-shot.png" 2>/dev/null || echo none)
expect "kvb.exe screenshot writes a 1100x616 PNG (got $size)" [ "$size" = 1100x616 ]
if [ "$size" = 1100x616 ]; then
  # The two labels are text in different fonts and rasterisers: left out.
  for f in win-shot linux-shot; do
    convert "$WORK/$f.png" -fill black -draw "rectangle 10,595 111,609" \
      -draw "rectangle 890,601 1095,610" "$WORK/$f-masked.png"
  done
  differ=$(compare -metric AE "$WORK/win-shot-masked.png" "$WORK/linux-shot-masked.png" null: 2>&1 || true)
  expect "the Windows screenshot matches the Linux one outside the labels ($differ pixels differ)" [ "$differ" = 0 ]
fi
# At 150 and 200 %: the same pictures again, the skin drawn for the scale.
for scale in 1.5 2; do
  (cd "$WORK" && "$WINE" "$KVB_EXE" screenshot "win-shot-$scale.png" --scale "$scale" "${SHOT_SETTINGS[@]}" \
    >/dev/null 2>&1) || fail "kvb.exe screenshot --scale $scale failed"
  (cd "$WORK" && "$KVB_LINUX" screenshot "linux-shot-$scale.png" --scale "$scale" "${SHOT_SETTINGS[@]}" >/dev/null)
  want=$(awk -v s="$scale" 'BEGIN {printf "%dx%d", int(1100 * s + 0.5), int(616 * s + 0.5)}')
  size=$(identify -format '%wx%h' "$WORK/win-shot-$scale.png" 2>/dev/null || echo none)
  expect "kvb.exe screenshot --scale $scale writes a $want PNG (got $size)" [ "$size" = "$want" ]
  if [ "$size" = "$want" ]; then
    labels=$(awk -v s="$scale" 'function r(v) {return int(v * s + 0.5)}
      BEGIN {printf "rectangle %d,%d %d,%d|rectangle %d,%d %d,%d", r(10), r(595), r(112) - 1, r(610) - 1,
             r(890), r(601), r(1096) - 1, r(611) - 1}')
    for f in "win-shot-$scale" "linux-shot-$scale"; do
      convert "$WORK/$f.png" -fill black -draw "${labels%%|*}" -draw "${labels##*|}" "$WORK/$f-masked.png"
    done
    differ=$(compare -metric AE "$WORK/win-shot-$scale-masked.png" "$WORK/linux-shot-$scale-masked.png" null: 2>&1 || true)
    expect "at $scale the Windows screenshot matches the Linux one outside the labels ($differ pixels differ)" \
      [ "$differ" = 0 ]
  fi
done
# Without --scale the VST 2.4 editor takes the DPI of its window's monitor
# (kvb.exe is a per-monitor aware host): Wine's at 144 dpi gives 150 %.
"$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
"$WINESERVER" -k >/dev/null 2>&1 || true
(cd "$WORK" && "$WINE" "$KVB_EXE" screenshot win-shot-dpi.png --audio 0 >/dev/null 2>&1) || fail "kvb.exe screenshot at 144 dpi failed"
size=$(identify -format '%wx%h' "$WORK/win-shot-dpi.png" 2>/dev/null || echo none)
expect "at 144 dpi the editor opens at 150 %: 1650x924 (got $size)" [ "$size" = 1650x924 ]
"$WINE" reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1 || true
"$WINESERVER" -k >/dev/null 2>&1 || true
msg=$(cd "$WORK" && "$WINE" "$KVB_EXE" screenshot never.png --set Nope=1 2>&1 | tr -d '\r') && rc=0 || rc=$?
expect "kvb.exe screenshot refuses an unknown parameter" [ "$rc" != 0 ]
expect "and names it" grep -q Nope <<<"$msg"

# --- the editor -----------------------------------------------------------------
# kvb_wincheck prints "FAIL ..." lines and closes with "wincheck: N passed,
# M failed"; its counts join ours.
take_counts() {  # take_counts LOG NAME
  local line p f
  line=$(tr -d '\r' <"$1" | grep -E '^wincheck: [0-9]+ passed, [0-9]+ failed' | tail -1 || true)
  if [ -z "$line" ]; then
    fail "$2: no result (crashed?)"
    tail -20 "$1"
    return
  fi
  p=$(echo "$line" | sed -E 's/^wincheck: ([0-9]+) passed.*/\1/')
  f=$(echo "$line" | sed -E 's/.* ([0-9]+) failed.*/\1/')
  passed=$((passed + p))
  failed=$((failed + f))
  echo "     $2: $p passed, $f failed"
}

echo "== the editor in a Win32 window"
(cd "$WORK" && "$WINE" "$WINCHECK" editor 2>&1 | tr -d '\r' | tee wincheck-editor.log | grep -E '^(FAIL|==)') || true
take_counts "$WORK/wincheck-editor.log" "editor"

echo "== mouse, wheel and keys through the X server"
# The checks say what the X server is to do ("DO <xdotool arguments>") and
# wait for its effect; xdotool does it as a user would.
(
  cd "$WORK"
  "$WINE" "$WINCHECK" input 2>&1 | while IFS= read -r line; do
    line=${line%$'\r'}
    echo "$line" >>wincheck-input.log
    case "$line" in
      "DO "*) read -r -a xargs_ <<<"${line#DO }"; xdotool "${xargs_[@]}" || echo "xdotool failed: $line" ;;
      "FAIL "* | "== "*) echo "$line" ;;
    esac
  done
) || true
take_counts "$WORK/wincheck-input.log" "input"

# --- CLAP: KVB.clap ------------------------------------------------------------
# The CLAP build for Windows: exports exactly clap_entry (data), imports only
# system DLLs, and renders through it by the Windows build of kvb_clap_render
# (tests/clap/) under Wine equal the Linux build's kvb_clap_render through the
# Linux KVB.clap (tolerance 0: the same bits); kvb_clap_wincheck shows its
# editor in a Win32 host window (its own timer idles it, host changes move
# its controls).
echo "== CLAP: KVB.clap, Windows against Linux"
CLAP=$WIN_BUILD/KVB.clap
CLAP_RENDER_EXE=$WIN_BUILD/kvb_clap_render.exe
"$OBJDUMP" -p "$CLAP" >"$WORK/clap-objdump.txt"
clap_exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ {f = 1; next} f && /^[[:space:]]*\[/ {print $NF; next} f {f = 0}' \
  "$WORK/clap-objdump.txt" | sort | tr '\n' ' ')
expect "KVB.clap exports exactly 'clap_entry' (got '$clap_exports')" [ "$clap_exports" = "clap_entry " ]
for binary in "$CLAP" "$CLAP_RENDER_EXE"; do
  imports=$("$OBJDUMP" -p "$binary" | awk '/DLL Name:/ {print $3}')
  others=$(echo "$imports" | grep -viE "$system_dlls" || true)
  expect "$(basename "$binary") imports only system DLLs ($(echo $imports)${others:+; not: $others})" [ -z "$others" ]
done
# The same file as the Linux build's kvb render through the VST 2.4 build
# (made above): both write the float WAV with kvb's own writer.
format_renders() {  # format_renders LABEL PROGRAM [ARGS...]
  local label=$1 c name input settings sets
  shift
  for c in "default|in44|" "both-stages-linked-trafo0|in44|$SETTINGS_BOTH_STAGES" \
    "mid-side-trafo1-and-0|in44|$SETTINGS_MID_SIDE" "unlinked-fast-trafo2|in44|$SETTINGS_UNLINKED" \
    "both-stages-48k|in48|$SETTINGS_BOTH_STAGES"; do
    IFS='|' read -r name input settings <<<"$c"
    sets=()
    for s in $settings; do sets+=(--set "$s"); done
    [ -f "$WORK/lin-$name.wav" ] || { fail "$label render $name: no Linux render to compare with"; continue; }
    (cd "$WORK" && "$WINE" "$@" "$input.wav" "$label-$name.wav" "${sets[@]}" >/dev/null 2>&1) ||
      { fail "$label render $name: $(basename "$1") failed"; continue; }
    if cmp -s "$WORK/lin-$name.wav" "$WORK/$label-$name.wav"; then
      ok "$label render $name under Wine: the Linux VST 2.4 render's file, byte for byte"
    else
      fail "$label render $name differs: $(python3 tests/win/wavtool.py maxdiff "$WORK/lin-$name.wav" \
        "$WORK/$label-$name.wav" 2>&1)"
    fi
  done
}
format_renders clap "$CLAP_RENDER_EXE"
echo "== CLAP: the editor in a Win32 window"
(cd "$WORK" && "$WINE" "$WIN_BUILD/kvb_clap_wincheck.exe" "$CLAP" 2>&1 | tr -d '\r' | tee clap-wincheck.log |
  grep -E '^(FAIL|==)') || true
take_counts "$WORK/clap-wincheck.log" "CLAP editor"
# --- end of the CLAP section ----------------------------------------------------

# --- VST3 -------------------------------------------------------------------------
# KVB.vst3 in its bundle, loaded by kvb_vst3_render.exe (tests/vst3, our own
# VST3 host) through the factory; its renders against the Linux build's
# kvb render through the VST 2.4 build, made above.
echo "== the VST3 bundle: exports, imports, renders"
VST3_BUNDLE=$WIN_BUILD/KVB.vst3
VST3_DLL=$VST3_BUNDLE/Contents/x86_64-win/KVB.vst3
VST3_RENDER=$WIN_BUILD/kvb_vst3_render.exe
"$OBJDUMP" -p "$VST3_DLL" >"$WORK/vst3-objdump.txt"
v3exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ {f = 1; next} f && /^[[:space:]]*\[/ {print $NF; next} f {f = 0}' \
  "$WORK/vst3-objdump.txt" | LC_ALL=C sort | tr '\n' ' ')
expect "KVB.vst3 exports exactly 'ExitDll GetPluginFactory InitDll' (got '$v3exports')" \
  [ "$v3exports" = "ExitDll GetPluginFactory InitDll " ]
for binary in "$VST3_DLL" "$VST3_RENDER"; do
  imports=$("$OBJDUMP" -p "$binary" | awk '/DLL Name:/ {print $3}')
  others=$(echo "$imports" | grep -viE "$system_dlls" || true)
  expect "$(basename "$binary") imports only system DLLs ($(echo $imports)${others:+; not: $others})" [ -z "$others" ]
done
format_renders vst3 "$VST3_RENDER" --plugin "$VST3_BUNDLE" --block 300
echo "== VST3: the editor in a Win32 window"
(cd "$WORK" && "$WINE" "$WIN_BUILD/kvb_vst3_wincheck.exe" "$VST3_BUNDLE" 2>&1 | tr -d '\r' | tee vst3-wincheck.log |
  grep -E '^(FAIL|==)') || true
take_counts "$WORK/vst3-wincheck.log" "VST3 editor"
# --- end of VST3 -------------------------------------------------------------------

echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
