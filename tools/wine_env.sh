# Sourced by the project's scripts: a throw-away Wine prefix inside the build
# folder, quiet and headless.
#   source tools/wine_env.sh BUILD_DIR [null|xvfb|x11]
# null (default): Wine's null graphics driver, no X server at all.
# xvfb: Wine's X11 driver on an Xvfb display started here (for screenshots);
#       unmanaged windows, so closing a window does not stall.
# x11:  Wine's X11 driver on the user's own $DISPLAY, for a person to watch.
wine_build_dir="$(cd "${1:?build folder}" && pwd)"
wine_display_mode="${2:-null}"
export WINEPREFIX="$wine_build_dir/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
# The loader, named explicitly: with wine32 installed, Debian's "wine" is the
# 32-bit loader (which hands 64-bit programs on to wine64) and the prefix is
# a WoW64 one; without it only wine64 exists. A prefix made by one fails
# under the other, so the prefix records which made it.
# A kernel without 32-bit support can't start the 32-bit loader at all:
# then wine64 alone, and no 32-bit Windows program runs here
# (wine_runs_32bit says so).
if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
  export WINE=/usr/lib/wine/wine
else
  export WINE=/usr/lib/wine/wine64
fi
wine_runs_32bit() { [ "$WINE" = /usr/lib/wine/wine ]; }
wine_prefix_stamp="loader=$WINE $("$WINE" --version 2>/dev/null)"

wine_prefix_init() {
  local stamp_file="$WINEPREFIX/.rizezuvu-prefix"
  if [ -f "$WINEPREFIX/system.reg" ] && [ "$(cat "$stamp_file" 2>/dev/null)" != "$wine_prefix_stamp" ]; then
    echo "wine_env: $WINEPREFIX was made by another loader or Wine; making it anew" >&2
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$WINE" wineboot -i >/dev/null 2>&1
    wineserver -w
    echo "$wine_prefix_stamp" > "$stamp_file"
  fi
  # Debian's Wine does not read its own fonts (fonts-wine) from its data
  # folder; without Tahoma and Marlett dialogs fall back to another face and
  # the caption's close box shows a letter. Wine reads the prefix's Fonts folder.
  if [ -d /usr/share/wine/fonts ]; then
    cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  fi
  if [ "$wine_display_mode" = xvfb ]; then
    "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f >/dev/null 2>&1
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d Y /f >/dev/null 2>&1
  elif [ "$wine_display_mode" = x11 ]; then
    "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f >/dev/null 2>&1
  else
    "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  fi
  # The driver choice takes effect once the server has restarted.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}

# Starts a persistent server and boots the prefix, so nothing started later
# (such as ctest) inherits a server that keeps its output pipes open.
wine_server_start() {
  if [ "$wine_display_mode" = xvfb ]; then
    export DISPLAY=:97
    Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    wine_xvfb_pid=$!
    sleep 1
  fi
  wineserver -p >/dev/null 2>&1
  "$WINE" wineboot >/dev/null 2>&1
}

# Keeps Wine's desktop process up with one hidden window until
# wine_keep_desktop_stop: otherwise every program start waits for the desktop
# to come and go, and a desktop started by a test holds the test's output pipe.
#   wine_keep_desktop_start BUILD_DIR   (the folder holding keep_desktop.exe)
wine_keep_desktop_start() {
  "$WINE" "$1/keep_desktop.exe" >/dev/null 2>&1 &
  wine_keeper_pid=$!
}

wine_keep_desktop_stop() {
  if [ -n "${wine_keeper_pid:-}" ]; then
    kill -9 "$wine_keeper_pid" 2>/dev/null || true
    wait "$wine_keeper_pid" 2>/dev/null || true
    unset wine_keeper_pid
  fi
}

wine_server_stop() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  if [ -n "${wine_xvfb_pid:-}" ]; then
    kill "$wine_xvfb_pid" 2>/dev/null || true
    wait "$wine_xvfb_pid" 2>/dev/null || true
    unset wine_xvfb_pid
  fi
}
