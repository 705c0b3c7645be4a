#!/usr/bin/env bash
# The real PE32 product end to end: a silent uninstall of a tiny installation, both stages and the script.
# Where 32-bit programs run only through the emulator each of the three processes takes about a minute,
# and the first 32-bit process in a 64-bit prefix also sets up its 32-bit side (about ten minutes).
set -uo pipefail
product=$1
: "${WINEPREFIX:?run under script/wine-env}"
wine=${WINE:-wine}   # the prefix's own loader; the interpreter it runs starts the PE32 program with the 32-bit one
root="$WINEPREFIX/drive_c/systest/pe32_smoke"
root_win='C:\systest\pe32_smoke'
key='HKCU\Software\UninstSystemTests\pe32_smoke'
w() { "$wine" "$@" </dev/null 2>/dev/null | tr -d '\r'; }

# A fresh installation every time.
rm -rf "$root"
mkdir -p "$root/app/sub" "$root/temp"
cp "$product" "$root/app/uninst.exe" || { echo "FAIL: no product at $product"; exit 1; }
printf 'uninstal.ini\0' >> "$root/app/uninst.exe"
printf 'a' > "$root/app/a.txt"
printf 'b' > "$root/app/sub/b.txt"
# Library calls whose argument counts do not match the functions (both take their arguments off
# the stack themselves): GetTickCount takes none, SetLastError one. The first stage must go on.
printf 'A10,Smoke\r\nA48,Uninstall\r\nD0,kernel32.dll,GetTickCount,3,a,b,c\r\nD0,kernel32.dll,SetLastError,0\r\nC0,kernel32.dll,GetTickCount,5,a,b,c,d,e\r\nJ0,1,Software\\UninstSystemTests\\pe32_smoke,\r\nP0,%s\\app\\a.txt,0\r\nU0,%s\\app,1\r\n' \
  "$root_win" "$root_win" > "$root/app/uninstal.ini"
w reg delete "$key" /f >/dev/null
w reg add "$key" /v Value /t REG_SZ /d x /f >/dev/null
w reg query "$key" >/dev/null || { echo "FAIL: cannot create $key"; exit 1; }

# Its own temp folder and the application folder as the start folder, through the interpreter.
start=$(date +%s)
w cmd /c "set TEMP=$root_win\\temp&& set TMP=$root_win\\temp&& cd /d $root_win\\app&& start \"\" uninst.exe -s" >/dev/null

# Done when the application folder, the copy and the script are all gone (bounded).
done=0
for _ in $(seq 1 2800); do
  if [ ! -e "$root/app" ] && [ -z "$(ls -A "$root/temp")" ]; then done=1; break; fi
  sleep 0.5
done
echo "waited $(( $(date +%s) - start )) s"
fail=0
[ $done = 1 ] || { echo "FAIL: not finished: app: $(ls -R "$root/app" 2>/dev/null | tr '\n' ' '); temp: $(ls -A "$root/temp" | tr '\n' ' ')"; fail=1; }
if w reg query "$key" >/dev/null; then echo "FAIL: $key is still there"; fail=1; fi
[ $fail = 0 ] && { echo "pe32 smoke ok"; rm -rf "$root"; }
exit $fail
