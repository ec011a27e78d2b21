#!/bin/bash
# Checks the built program's PE image: it imports only KnownDLLs and the
# common controls (which the manifest binds side by side), so no DLL from the
# package folder can be resolved through its imports; it has a load
# configuration (whose DependentLoadFlags keep the libraries those imports
# pull in to System32); it is a GUI program; and ASLR, high-entropy ASLR and
# DEP are on.
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
known_dlls=" kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll shlwapi.dll ole32.dll oleaut32.dll msvcrt.dll comdlg32.dll comctl32.dll "
for dll in $dlls; do
  check "imports $dll, a KnownDLL (or comctl32)" '[[ "$known_dlls" == *" $dll "* ]]'
done
load_config=$(echo "$headers" | sed -n 's/^Entry a \(\S*\) \(\S*\) Load Configuration Directory/\1 \2/p')
check "load configuration directory set" '[ -n "$load_config" ] && [ "${load_config#* }" != 00000000 ]'
sections=$("$objdump" -h "$exe")
check "no debug information" '! echo "$sections" | grep -q " \.debug_"'
check "sections were read" 'echo "$sections" | grep -q " \.text "'
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
