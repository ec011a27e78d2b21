# Sourced by the project's scripts: a throw-away Wine prefix inside the build
# folder, quiet and headless.
#   source tools/wine_env.sh BUILD_DIR [null|xvfb]
# null (default): Wine's null graphics driver, no X server at all.
# xvfb: Wine's X11 driver on an Xvfb display started here (for screenshots);
#       unmanaged windows, so closing a window does not stall.
wine_build_dir="$(cd "${1:?build folder}" && pwd)"
wine_display_mode="${2:-null}"
export WINEPREFIX="$wine_build_dir/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64

wine_prefix_init() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
  if [ "$wine_display_mode" = xvfb ]; then
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d Y /f >/dev/null 2>&1
  else
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  fi
  # The driver choice takes effect once the server has restarted.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}

# Starts a persistent server and boots the prefix, so nothing started later
# (such as ctest) inherits a server that keeps its output pipes open.
wine_server_start() {
  if [ "$wine_display_mode" = xvfb ] && [ -z "${DISPLAY:-}" ]; then
    export DISPLAY=:97
    Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    wine_xvfb_pid=$!
    sleep 1
  fi
  wineserver -p >/dev/null 2>&1
  wine wineboot >/dev/null 2>&1
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
