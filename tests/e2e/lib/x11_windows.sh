# Windows on an X11 desktop as the X tools see them: found by title, their
# rectangles with and without the frame the window manager adds, screenshots,
# and a window maximised the way a user does it. Source it after
# scripts/lib/processes.sh (check, wait_for, stop).

# The first visible window with exactly this title; sets window_id.
find_window() { # title
  window_id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
  [ -n "$window_id" ]
}

window_geometry() { # id: x y width height on the root window
  [ -n "$1" ] || return 1 # without an id, xwininfo would wait for a click
  xwininfo -id "$1" 2>/dev/null | awk '
    /Absolute upper-left X:/ { x = $NF } /Absolute upper-left Y:/ { y = $NF }
    /^ *Width:/ { w = $2 } /^ *Height:/ { h = $2 }
    END { print x, y, w, h }'
}

frame_geometry() { # id: the same with the frame the window manager draws around it
  local x y w h left right top bottom
  read -r x y w h < <(window_geometry "$1")
  read -r left right top bottom < <(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null |
    sed -n 's/.*= //; s/,//gp')
  left=${left:-0} right=${right:-0} top=${top:-0} bottom=${bottom:-0}
  echo "$((x - left)) $((y - top)) $((w + left + right)) $((h + top + bottom))"
}

grab() { # id file
  import -window "$1" "$2" 2>/dev/null
}
# Painted: text and background make more than two colours (an unpainted window is one).
painted() { # id file
  grab "$1" "$2" && [ "$(identify -format '%k' "$2" 2>/dev/null)" -gt 2 ]
}
# Brightness of the pixel at 1,1 (the strip's margin), 0 to 255.
brightness() { # file
  convert "$1" -crop 1x1+1+1 -format '%[fx:int(255*luminance)]' info: 2>/dev/null
}
# The window's picture changes between two grabs in DIR: it moves.
scrolls() { # id dir
  grab "$1" "$2/scroll-1.png" && wait_for 3 bash -c '
    import -window "$1" "$2/scroll-2.png" 2>/dev/null &&
      [ "$(identify -format "%#" "$2/scroll-1.png")" != "$(identify -format "%#" "$2/scroll-2.png")" ]
  ' _ "$1" "$2"
}

# The window's picture stays the same for a second: nothing moves.
holds_still() { # id dir
  grab "$1" "$2/still-1.png" && sleep 1 && grab "$1" "$2/still-2.png" &&
    [ "$(identify -format "%#" "$2/still-1.png")" = "$(identify -format "%#" "$2/still-2.png")" ]
}

# Opens a window, maximises it with wmctrl as a pager or a keyboard shortcut
# would, and checks that it fills the free area's width while its frame stays
# out of the rectangle given (the strip's). The window is closed again.
check_maximised_clear_of() { # x y width height
  local sx=$1 sy=$2 sw=$3 sh=$4 pid fx fy fw fh wa_w
  if [ -z "$sh" ]; then
    check "the strip's rectangle is known, to keep a maximised window out of it" false
    return
  fi
  xmessage -title maximised 'A maximised window' 2>/dev/null &
  pid=$!
  if ! wait_for 10 find_window maximised; then
    check "a window opens to be maximised" false
    stop "$pid"
    return
  fi
  local id=$window_id
  wmctrl -i -r "$id" -b add,maximized_vert,maximized_horz
  read -r _ _ wa_w _ < <(workarea)
  maximised() {
    local state
    state=$(xprop -id "$id" _NET_WM_STATE 2>/dev/null)
    [[ $state == *MAXIMIZED_VERT* && $state == *MAXIMIZED_HORZ* ]] &&
      read -r fx fy fw fh < <(frame_geometry "$id") && [ "$fw" = "$wa_w" ]
  }
  wait_for 5 maximised
  read -r fx fy fw fh < <(frame_geometry "$id")
  check "wmctrl maximises a window to the free area's width (frame ${fw}x$fh at $fx,$fy)" \
    test "$fw" = "$wa_w"
  clear_of() {
    [ $((fx + fw)) -le "$sx" ] || [ $((sx + sw)) -le "$fx" ] ||
      [ $((fy + fh)) -le "$sy" ] || [ $((sy + sh)) -le "$fy" ]
  }
  check "the maximised window's frame stays out of the strip (frame from y=$fy to $((fy + fh)), strip ${sw}x$sh at $sx,$sy)" \
    clear_of
  stop "$pid"
}

# Switches to the second desktop and back, as a pager would; checks that the
# window WINDOW shows on both.
check_on_every_desktop() { # window
  viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
  on_desktop() { xprop -root _NET_CURRENT_DESKTOP 2>/dev/null | grep -q "= $1\$"; }
  shown_on_second() { on_desktop 1 && viewable "$1"; }
  wmctrl -s 1
  check "the strip shows on the second desktop too" wait_for 5 shown_on_second "$1"
  wmctrl -s 0 && wait_for 5 on_desktop 0
}

# Opens a window at X,Y (over the strip) and activates it, as a click would;
# checks that the window WINDOW stays above it, then closes it again.
check_stays_above() { # window x y
  local pid other
  xmessage -geometry "300x80+$2+$3" -title covering 'A window over the strip' 2>/dev/null &
  pid=$!
  wait_for 10 find_window covering
  other=$window_id
  xdotool windowactivate --sync "$other" 2>/dev/null
  stacked_above() { # WINDOW after the other one in bottom-to-top order
    xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,//g' |
      awk -v s="$(printf '0x%x' "$1")" -v o="$(printf '0x%x' "${other:-0}")" '
        { for (i = 1; i <= NF; i++) { if ($i == s) si = i; if ($i == o) oi = i } }
        END { exit !(si && oi && si > oi) }'
  }
  check "an activated window over the strip stays below it" wait_for 5 stacked_above "$1"
  stop "$pid"
}
