#!/bin/bash
# Checks the built program's PE image: it imports only system DLLs (no
# libstdc++, libgcc or libwinpthread beside it), it is a GUI program, and
# ASLR, high-entropy ASLR and DEP are on.
set -u
exe="$1"
objdump="$2"
headers=$("$objdump" -p "$exe") || { echo "cannot read $exe"; exit 1; }
failed=0
check() {  # description, condition
  if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; failed=1; fi
}
dlls=$(echo "$headers" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
echo "imports:" $dlls
system_dlls=" kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll shlwapi.dll comctl32.dll msi.dll msvcrt.dll ole32.dll oleaut32.dll version.dll "
for dll in $dlls; do
  check "imports $dll is a system DLL" '[[ "$system_dlls" == *" $dll "* ]]'
done
check "no runtime DLLs" '! echo "$dlls" | grep -Eq "libstdc|libgcc|libwinpthread"'
check "GUI subsystem" 'echo "$headers" | grep -Eq "^Subsystem\s+0+2\s"'
characteristics=$(echo "$headers" | sed -n 's/^DllCharacteristics\s*//p' | awk '{print $1}')
value=$((16#$characteristics))
check "dynamic base (ASLR)" '(( value & 0x40 ))'
check "NX compatible (DEP)" '(( value & 0x100 ))'
if echo "$headers" | grep -q "^Magic\s*020b"; then
  check "high-entropy ASLR" '(( value & 0x20 ))'
fi
exit $failed
