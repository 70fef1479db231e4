#!/usr/bin/env bash
# Fails unless each program given imports only DLLs that Windows loads from its system
# folder whatever lies beside the program, imports none of the newer functions it must
# look up at run time to start on Vista, and its image keeps ASLR (DYNAMIC_BASE, with the
# relocations that make it possible) and DEP (NX_COMPAT).
# Usage: tools/check_images.sh PROGRAM.exe...
set -euo pipefail
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}

# Known DLLs in every Windows from Vista to 11 (the KnownDLLs key of the session manager),
# and ntdll, which the system maps into every process before anything else.
known=" advapi32.dll comdlg32.dll gdi32.dll imagehlp.dll imm32.dll kernel32.dll msctf.dll
 msvcrt.dll normaliz.dll nsi.dll ntdll.dll ole32.dll oleaut32.dll psapi.dll setupapi.dll
 shell32.dll shlwapi.dll user32.dll wldap32.dll ws2_32.dll "

# Functions of the DLL search and of DPI that Vista lacks: taken with GetProcAddress.
newer=" SetDefaultDllDirectories AddDllDirectory RemoveDllDirectory GetDpiForWindow
 GetDpiForSystem GetSystemMetricsForDpi AdjustWindowRectExForDpi EnableNonClientDpiScaling
 SetProcessDpiAwarenessContext SetThreadDpiAwarenessContext SetProcessDpiAwareness
 GetDpiForMonitor "

failed=0
for program in "$@"; do
  name=$(basename "$program")
  headers=$("$objdump" -p "$program")
  while read -r dll; do
    lower=$(printf '%s' "$dll" | tr 'A-Z' 'a-z')
    case "$known" in
      *" $lower"[[:space:]]*) ;;
      *) echo "$name imports $dll, which Windows would look for beside the program first"
         failed=1 ;;
    esac
  done < <(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p')
  for function in $newer; do
    if grep -qE "^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+$function\$" <<<"$headers"; then
      echo "$name imports $function, which Windows before 8 or 10 does not have"
      failed=1
    fi
  done
  for flag in DYNAMIC_BASE NX_COMPAT; do
    if ! grep -qx "[[:space:]]*$flag" <<<"$headers"; then
      echo "$name lacks $flag"
      failed=1
    fi
  done
  if ! grep -q '[[:space:]]\.reloc[[:space:]]' <<<"$("$objdump" -h "$program")"; then
    echo "$name has no relocations: Windows cannot move it, whatever DYNAMIC_BASE says"
    failed=1
  fi
done
[ "$failed" -eq 0 ] && echo "$# programs: known DLLs only, no newer function imported, DYNAMIC_BASE, NX_COMPAT, relocations"
exit "$failed"
