#!/usr/bin/env bash
# notarix.exe is self-contained: it may import only DLLs that come with Windows.
# Usage: check-imports.sh OBJDUMP NOTARIX_EXE
set -euo pipefail
objdump=$1
exe=$2
allowed='^(KERNEL32|USER32|GDI32|ADVAPI32|SHELL32|SHLWAPI|COMCTL32|COMDLG32|OLE32|WS2_32|CRYPT32|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$'
mapfile -t dlls < <("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ ${#dlls[@]} -gt 0 ] || { echo "no imports found in $exe" >&2; exit 1; }
status=0
for dll in "${dlls[@]}"; do
    if ! grep -Eiq "$allowed" <<<"$dll"; then
        echo "not a Windows DLL: $dll" >&2
        status=1
    fi
done
echo "imports: ${dlls[*]}"
exit $status
