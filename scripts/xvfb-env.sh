# Sourced: starts an Xvfb on a free display when none is given (or always with VT_FORCE_XVFB=1),
# keeps Wine's services running in the prefix, and stops both on exit.
# Needs WINEPREFIX set and scripts/arch.sh sourced.
vt_cleanup() {
  WINEPREFIX=$WINEPREFIX wineserver -k >/dev/null 2>&1 || true
  [ -n "${vt_xvfb_pid:-}" ] && kill "$vt_xvfb_pid" >/dev/null 2>&1 || true
}
trap vt_cleanup EXIT
trap 'exit 130' INT TERM
if [ -z "${DISPLAY:-}" ] || [ "${VT_FORCE_XVFB:-0}" = 1 ]; then
  vt_display_file=$(mktemp)
  Xvfb -displayfd 7 -screen 0 1280x1024x24 -nolisten tcp 7>"$vt_display_file" >/dev/null 2>&1 &
  vt_xvfb_pid=$!
  for _ in $(seq 1 100); do [ -s "$vt_display_file" ] && break; sleep 0.1; done
  export DISPLAY=:$(head -n1 "$vt_display_file")
  rm -f "$vt_display_file"
fi
export WINEARCH=$VT_WINEARCH WINEDEBUG=${WINEDEBUG:--all}
wineserver -p >/dev/null 2>&1 </dev/null
"$VT_WINE" wineboot -i >/dev/null 2>&1 </dev/null
