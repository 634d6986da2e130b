# Sourced by the test, run and bench scripts: a headless Japanese Wine session.
#   wine_session_start PREFIX [64|32]  fresh prefix of that edition (default 64),
#                                      Xvfb, persistent wineserver, wineboot
#   wine_session_stop                  stops exactly the processes started above, by pid
#   wine_exec ARGS...                  runs a Windows program with the session's loader
source "$(dirname "${BASH_SOURCE[0]}")/edition.sh"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8

_ws_xvfb_pid=""
_ws_server_pid=""

wine_exec() {
  if [ "$WINEARCH" = win64 ]; then "$MORVANE_WINE64" "$@"; else wine "$@"; fi
}

wine_session_start() {
  local prefix=$1 edition=${2:-64}
  rm -rf "$prefix"
  mkdir -p "$prefix"
  export WINEPREFIX=$prefix
  if [ "$edition" = 64 ]; then
    export WINEARCH=win64 WINELOADER=$MORVANE_WINE64
  else
    export WINEARCH=win32
    unset WINELOADER
  fi

  if [ "${MORVANE_USE_DISPLAY:-}" != 1 ]; then
    local d
    for d in $(seq 91 140); do
      [ -e /tmp/.X11-unix/X$d ] || [ -e /tmp/.X$d-lock ] || break
    done
    Xvfb :$d -screen 0 1280x1024x24 -nolisten tcp >"$prefix.xvfb.log" 2>&1 &
    _ws_xvfb_pid=$!
    export DISPLAY=:$d
    local i
    for i in $(seq 1 100); do [ -e /tmp/.X11-unix/X$d ] && break; sleep 0.1; done
  fi

  # The first Wine programs of a session inherit the output pipes of whoever
  # started them, so both the server and wineboot write only to files.
  wineserver -f -p </dev/null >"$prefix.server.log" 2>&1 &
  _ws_server_pid=$!
  wine_exec wineboot -i </dev/null >"$prefix.boot.log" 2>&1 || true
  # wineboot returns before the prefix is fully written; wait for the registry.
  local i
  for i in $(seq 1 200); do [ -s "$prefix/system.reg" ] && break; sleep 0.1; done
  if [ "$WINEARCH" = win64 ]; then morvane_font_replacements "$MORVANE_WINE64"; else morvane_font_replacements wine; fi
  # The tests change the Susie viewer's registry key only in a prefix so marked.
  wine_exec reg add 'HKCU\Software\Morvane\TestPrefix' /f </dev/null >"$prefix.mark.log" 2>&1 || true
  # Headless there is no window manager: Wine then manages its windows
  # itself (frames, maximising) instead of waiting for one.
  if [ "${MORVANE_USE_DISPLAY:-}" != 1 ]; then
    wine_exec reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >"$prefix.reg.log" 2>&1 || true
  fi
}

wine_session_stop() {
  if [ -n "$_ws_server_pid" ]; then
    # Ends the Wine processes of this prefix's server (services, explorer),
    # which would otherwise outlive it, then the server itself.
    wineserver -k 2>/dev/null || true
    kill "$_ws_server_pid" 2>/dev/null || true
    wait "$_ws_server_pid" 2>/dev/null || true
    _ws_server_pid=""
  fi
  if [ -n "$_ws_xvfb_pid" ]; then
    kill "$_ws_xvfb_pid" 2>/dev/null || true
    wait "$_ws_xvfb_pid" 2>/dev/null || true
    _ws_xvfb_pid=""
  fi
}
