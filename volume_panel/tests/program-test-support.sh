# What the program-level tests of the volume panel share: checks with a tally, polling,
# the panel, tray and menu windows as X shows them, mouse clicks, screenshots, and one
# instance of the program under test. Sourced with $program (the QORDA-8.exe under test)
# and $wine_run (tools/wine-run) set, on the display of with-x-display.

passed=0 failed=0
pass() { echo "[ok] $1"; passed=$((passed + 1)); }
fail() { echo "[FAILED] $1"; failed=$((failed + 1)); }
check() { local name=$1; shift; if "$@"; then pass "$name"; else fail "$name"; fi; }

# Polls a command for up to 30 seconds. Without a window manager, Wine gives each window
# it hides two seconds to be withdrawn, so hiding and quitting take a while here.
eventually() {
    local _
    for _ in $(seq 300); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}
# True if the command never holds within three seconds.
never_within() {
    local _
    for _ in $(seq 30); do
        "$@" && return 1
        sleep 0.1
    done
    return 0
}

panel_window() { xdotool search --onlyvisible --name '^QORDA-8$' 2>/dev/null | head -1; }
panel_shown() { [ -n "$(panel_window)" ]; }
panel_hidden() { [ -z "$(panel_window)" ]; }
tray_window() { xdotool search --onlyvisible --name '^Wine System Tray$' 2>/dev/null | head -1; }
tray_shown() { [ -n "$(tray_window)" ]; }

instance=""
start_instance() {
    "$wine_run" "$program" "$@" >/dev/null 2>&1 &
    instance=$!
    eventually tray_shown
}
instance_ended() { ! kill -0 "$instance" 2>/dev/null; }
end_instance() {
    if [ -n "$instance" ] && ! instance_ended; then
        kill "$instance" 2>/dev/null
        WINEPREFIX=${KASKADE_WINEPREFIX:-$root/build/wine-prefix} wineserver -k 2>/dev/null
    fi
    wait "$instance" 2>/dev/null
    instance=""
}
trap end_instance EXIT

# The window's position and size as shell assignments (X, Y, WIDTH, HEIGHT, ...); fails
# when the window has gone, as the panel's first X window does while the program starts.
geometry_of() { xdotool getwindowgeometry --shell "$1" 2>/dev/null; }
# Clicks at an offset inside a window: click_in WINDOW X Y BUTTON
click_in() {
    local X=0 Y=0 WINDOW="" WIDTH=0 HEIGHT=0 SCREEN="" geometry
    geometry=$(geometry_of "$1") || return 1
    eval "$geometry"
    xdotool mousemove $((X + $2)) $((Y + $3)) sleep 0.2 click "$4"
}
# While Wine shows a window it may pass through a frame of its own drawing; the panel
# has settled once its X window is exactly the 280 x 360 client area.
panel_settled() {
    local X=0 Y=0 WINDOW="" WIDTH=0 HEIGHT=0 SCREEN="" window geometry
    window=$(panel_window)
    [ -n "$window" ] || return 1
    geometry=$(geometry_of "$window") || return 1
    eval "$geometry"
    [ "$WIDTH" -eq 280 ] && [ "$HEIGHT" -eq 360 ]
}
screenshot() { xwd -root -silent | convert xwd:- "$1"; }
menu_window() { xdotool search --onlyvisible --name '^menu$' 2>/dev/null | head -1; }
menu_shown() { [ -n "$(menu_window)" ]; }
quit_from_tray_menu() {
    click_in "$(tray_window)" 10 10 3
    check "a right click on the tray icon opens its menu" eventually menu_shown
    click_in "$(menu_window)" 20 12 1
    check "the tray menu's Quit ends the program" eventually instance_ended
    wait "$instance"
    check "the program ends with code 0" [ $? -eq 0 ]
    instance=""
}
summary() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
