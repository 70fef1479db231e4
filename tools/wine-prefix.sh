# Sourced by the Wine scripts, inside the virtual display: prepares WINEPREFIX once.
# - A Wine virtual desktop: with no window manager on the display, Wine would otherwise
#   wait for one each time a window is hidden.
# - Wine's own fonts (fonts-wine) in C:\windows\Fonts: this Wine does not load them from
#   its data directory, and without them caption buttons draw as letters and
#   "MS Sans Serif" falls back to a wider face.
# - With TESSAREL_WINE_DPI set (e.g. 192), a display of that many dots per inch: Wine has
#   one DPI for all its displays, read when the server starts.
prepare_wine_prefix() {
  wineserver -k 2>/dev/null  # a server left from another display would keep its desktop
  if [ ! -f "$WINEPREFIX/.virtual-desktop" ]; then
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 &&
      wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f \
        >/dev/null 2>&1 &&
      touch "$WINEPREFIX/.virtual-desktop"
  fi
  if [ ! -f "$WINEPREFIX/.wine-fonts" ] && [ -d /usr/share/wine/fonts ]; then
    [ -d "$WINEPREFIX/drive_c/windows/Fonts" ] || wine reg query 'HKCU' >/dev/null 2>&1
    if cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"; then
      wineserver -k 2>/dev/null  # fonts are listed when the server starts
      touch "$WINEPREFIX/.wine-fonts"
    fi
  fi
  local dpi=${TESSAREL_WINE_DPI:-}
  if [ -n "$dpi" ] && [ ! -f "$WINEPREFIX/.dpi-$dpi" ]; then
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
      >/dev/null 2>&1 &&
      wine reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
        /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 &&
      wineserver -w &&
      touch "$WINEPREFIX/.dpi-$dpi"
  fi
}
