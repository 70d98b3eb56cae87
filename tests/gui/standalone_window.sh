#!/usr/bin/env bash
# The Standalone app on a private X display: it must open its editor at the
# size stored in the settings file, draw the panel there, and store the new
# size after the window is dragged to another one.
#
#   standalone_window.sh STANDALONE_BINARY [BACKGROUND_PNG]
#
# BACKGROUND_PNG defaults to the panel picture next to this script, then to
# the one in the source tree. Screenshots are kept in $OVALMERE_SCREENSHOT_DIR
# when it is set. Needs Xvfb, xdotool, and Python 3 with PIL and numpy.
set -euo pipefail

app="${1:?usage: $0 STANDALONE_BINARY [BACKGROUND_PNG]}"
here="$(cd "$(dirname "$0")" && pwd)"
background="${2:-}"
if [[ -z "$background" ]]; then
    background="$here/backgroundImage.png"
    [[ -f "$background" ]] || background="$here/../../resources/backgroundImage.png"
fi
python="${OVALMERE_PYTHON:-/usr/bin/python3}"
checker="$here/panel_check.py"

stored_side=768     # the ratio 1.5 written below
new_side=600        # 600 / 512 = 1.171875, exact in binary
new_ratio=1.171875

fail()
{
    echo "FAIL: $*" >&2
    [[ -n "${shots:-}" && "$shots" == "$work" ]] && echo "(set OVALMERE_SCREENSHOT_DIR to keep the screenshots)" >&2
    exit 1
}

[[ -x "$app" ]] || fail "no Standalone binary at $app"
[[ -f "$background" ]] || fail "no background picture at $background"
for tool in Xvfb xdotool; do
    command -v "$tool" > /dev/null || fail "$tool is not installed"
done
"$python" -c 'import numpy, PIL.ImageGrab' 2> /dev/null || fail "$python lacks numpy or PIL"

# Every wait below is bounded by what is left of one minute.
deadline=$((SECONDS + 60))
remaining() { echo $((deadline > SECONDS ? deadline - SECONDS : 0)); }
within() { local left; left="$(remaining)"; echo $((left < $1 ? left : $1)); } # seconds: capped wait

work="$(mktemp -d "${TMPDIR:-/tmp}/ovalmere-gui.XXXXXX")"
xvfb_pid=""
app_pid=""

stop() # pid: TERM, then KILL if it lingers
{
    local pid="$1"
    kill -0 "$pid" 2> /dev/null || return 0
    kill -TERM "$pid" 2> /dev/null || true
    for _ in $(seq 20); do
        kill -0 "$pid" 2> /dev/null || break
        sleep 0.1
    done
    kill -KILL "$pid" 2> /dev/null || true
    wait "$pid" 2> /dev/null || true
}

cleanup()
{
    local status=$?
    trap - EXIT INT TERM
    [[ -n "$app_pid" ]] && stop "$app_pid"
    [[ -n "$xvfb_pid" ]] && stop "$xvfb_pid"
    if ((status != 0)) && [[ -s "$work/app.log" ]]; then
        echo "--- Standalone output:" >&2
        cat "$work/app.log" >&2
    fi
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [[ -n "${OVALMERE_SCREENSHOT_DIR:-}" ]]; then
    shots="$OVALMERE_SCREENSHOT_DIR"
    mkdir -p "$shots"
else
    shots="$work"
fi

# A display of its own, big enough that the window is never squeezed to fit.
Xvfb -displayfd 3 -screen 0 1600x1400x24 -nolisten tcp 3> "$work/display" 2> "$work/xvfb.log" &
xvfb_pid=$!
until [[ -s "$work/display" ]]; do
    kill -0 "$xvfb_pid" 2> /dev/null || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
    (($(remaining) > 0)) || fail "Xvfb did not report a display"
    sleep 0.1
done
display=":$(head -n 1 "$work/display")"

mkdir -p "$work/home" "$work/settings"
printf '<?xml version="1.0" encoding="UTF-8"?>\n\n<PROPERTIES>\n  <VALUE name="sizeRatio" val="1.5"/>\n</PROPERTIES>\n' \
    > "$work/settings/Ovalmere.settings"

# The app and the framework write only inside the temporary home.
env DISPLAY="$display" HOME="$work/home" \
    XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache" XDG_DATA_HOME="$work/home/.local/share" \
    OVALMERE_SETTINGS_DIR="$work/settings" \
    "$app" > "$work/app.log" 2>&1 &
app_pid=$!

window=""
until [[ -n "$window" ]]; do
    kill -0 "$app_pid" 2> /dev/null || fail "the Standalone app exited before showing its window"
    (($(remaining) > 0)) || fail "no Standalone window within a minute"
    window="$(DISPLAY="$display" xdotool search --onlyvisible --name '^Ovalmere$' 2> /dev/null | head -n 1 || true)"
    [[ -n "$window" ]] || sleep 0.2
done

# The window holds JUCE's title bar and, for an effect with inputs, its
# "Audio input is muted" bar above the editor; the checker finds the panel
# wherever it is.
found="$("$python" "$checker" panel --display "$display" --window "$window" --side "$stored_side" \
    --background "$background" --out "$shots/standalone-$stored_side.png" --timeout "$(within 20)")" ||
    fail "panel not shown at the stored size $stored_side (ratio 1.5)"
read -r _ _ width height <<< "$found"

# Keep the frame around the editor, change the editor's side. The window
# grows from its top-left corner: start from the screen's, so that a larger
# size would still be on screen for the screenshot.
extra_width=$((width - stored_side))
extra_height=$((height - stored_side))
DISPLAY="$display" xdotool windowmove "$window" 0 0 windowsize "$window" \
    $((new_side + extra_width)) $((new_side + extra_height))

"$python" "$checker" panel --display "$display" --window "$window" --side "$new_side" \
    --background "$background" --out "$shots/standalone-$new_side.png" --timeout "$(within 20)" > /dev/null ||
    fail "panel not redrawn at $new_side after the window was resized"

# The editor saves 3 s after the last change.
"$python" "$checker" ratio --file "$work/settings/Ovalmere.settings" --expected "$new_ratio" \
    --timeout "$(within 10)" || fail "the new size was not saved"

# SIGINT is JUCE's polite quit: the editor closes and settings are flushed.
kill -INT "$app_pid"
exited=""
quit_deadline=$((SECONDS + $(within 10)))
while ((SECONDS < quit_deadline)); do
    if ! kill -0 "$app_pid" 2> /dev/null; then
        exited=yes
        break
    fi
    sleep 0.1
done
[[ -n "$exited" ]] || fail "the Standalone app did not quit on SIGINT"
status=0
wait "$app_pid" || status=$?
app_pid=""
((status == 0)) || fail "the Standalone app exited with status $status on quit"

"$python" "$checker" ratio --file "$work/settings/Ovalmere.settings" --expected "$new_ratio" --timeout 0 ||
    fail "quitting changed the stored size"
[[ ! -e "$work/home/.Ovalmere" ]] || fail "settings written to ~/.Ovalmere despite OVALMERE_SETTINGS_DIR"

echo "PASS: panel at $stored_side, resized to $new_side, ratio $new_ratio stored (${SECONDS}s)"
[[ "$shots" == "$work" ]] || echo "Screenshots: $shots/standalone-$stored_side.png, $shots/standalone-$new_side.png"
