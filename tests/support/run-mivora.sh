# Sourced by the checks that run Mivora on Xvfb.

# start_mivora <app folder> <out folder>: starts Mivora from the folder once its window shows;
# sets pid, wid and the window's X Y WIDTH HEIGHT, also kept in <out folder>/geometry.txt.
start_mivora() {
  "$1/Mivora" &
  pid=$!
  wid=$(timeout 30 xdotool search --sync --onlyvisible --pid "$pid" | head -n 1)
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  echo "$X $Y $WIDTH $HEIGHT" >"$2/geometry.txt"
}

# quit_mivora <x> <y>: a real click on "終了" at that place of the screen; Mivora must end.
quit_mivora() {
  xdotool mousemove --sync "$1" "$2" click 1
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then echo "Mivora still runs after 終了"; kill "$pid"; exit 1; fi
  wait "$pid"
}
