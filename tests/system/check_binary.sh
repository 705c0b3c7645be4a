#!/usr/bin/env bash
# The shape of the product: PE32 GUI program, entry ProgramEntry, five system DLLs, shared counter at -1,
# no frame of a page or more, and its manifest and version resource. Usage: check_binary.sh EXE VERSION PRODUCT DESCRIPTION INTERNAL FILENAME
set -uo pipefail
exe=$1
dump=$(i686-w64-mingw32-objdump -p -h "$exe") || { echo "objdump failed"; exit 1; }
fail=0
check() { if ! grep -qE "$2" <<<"$dump"; then echo "FAIL: $1"; fail=1; fi; }
check "PE32 i386" "file format pei-i386"
check "GUI subsystem" "^Subsystem[[:space:]]+0+2[[:space:]]"
imports=$(grep -E "DLL Name:" <<<"$dump" | awk '{print toupper($3)}' | sort -u | tr '\n' ' ')
expected_any="ADVAPI32.DLL GDI32.DLL KERNEL32.DLL SHELL32.DLL USER32.DLL"
for dll in $imports; do
  case " $expected_any " in *" $dll "*) ;; *) echo "FAIL: imports $dll"; fail=1;; esac
done
[ -n "$imports" ] || { echo "FAIL: no imports found"; fail=1; }
# The shared section must carry IMAGE_SCN_MEM_SHARED (0x10000000) and hold -1 in the file.
flags=$(i686-w64-mingw32-objdump -h "$exe" | awk '$2==".shared"{getline; print; exit}')
grep -q "DATA" <<<"$flags" || { echo "FAIL: no .shared data section"; fail=1; }
python3 - "$exe" <<'PY' || fail=1
import struct, sys
data = open(sys.argv[1], 'rb').read()
pe = struct.unpack_from('<I', data, 0x3c)[0]
sections = struct.unpack_from('<H', data, pe + 6)[0]
optsize = struct.unpack_from('<H', data, pe + 20)[0]
entry = struct.unpack_from('<I', data, pe + 24 + 16)[0]
table = pe + 24 + optsize
for i in range(sections):
    name, vsize, vaddr, rawsize, rawptr = struct.unpack_from('<8sIIII', data, table + 40 * i)
    chars = struct.unpack_from('<I', data, table + 40 * i + 36)[0]
    if name.rstrip(b'\0') == b'.shared':
        if not chars & 0x10000000:
            print('FAIL: .shared lacks IMAGE_SCN_MEM_SHARED'); sys.exit(1)
        if rawsize < 4 or struct.unpack_from('<i', data, rawptr)[0] != -1:
            print('FAIL: counter in the file is not -1'); sys.exit(1)
        break
else:
    print('FAIL: no .shared section'); sys.exit(1)
if entry == 0:
    print('FAIL: no entry point'); sys.exit(1)
PY
# The program is built without stack probes: no frame may reach a page (4096 bytes), or it could
# step over the stack's guard page.
large=$(i686-w64-mingw32-objdump -d "$exe" | python3 -c '
import re, sys
for line in sys.stdin:
    m = re.search(r"sub +\$0x([0-9a-f]+),%esp", line)
    if m and int(m.group(1), 16) >= 4096:
        print(line.strip())')
[ -z "$large" ] || { echo "FAIL: a frame of a page or more:"; echo "$large"; fail=1; }
python3 "$(dirname "$0")/check_resources.py" "$@" || fail=1
[ $fail = 0 ] && echo "binary ok: imports $imports"
exit $fail
