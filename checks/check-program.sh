#!/bin/sh
# Static checks of a Pinscope program beyond those of every image: a GUI program (or with
# --console a console one), the setup library not among its imports (it is loaded at run
# time, so that a machine without it still starts the program), nor the spooler or the theme
# library, and the resources it cannot run without.
# usage: check-program.sh OBJDUMP IMAGE EXPECTED_FORMAT [--console] RESOURCE...
set -eu
objdump=$1 image=$2 format=$3
shift 3
subsystem=GUI
if [ "${1:-}" = --console ]; then
  subsystem=CUI
  shift
fi
"$(dirname "$0")/check-pe.sh" "$objdump" "$image" "$format"

if ! "$objdump" -p "$image" | grep -q "Subsystem.*Windows $subsystem"; then
  echo "FAIL $image: not a Windows $subsystem program"
  exit 1
fi
# A console program runs as invoked, so that its output and exit code reach its caller.
if [ $subsystem = CUI ] && ! strings "$image" | grep -q 'requestedExecutionLevel level="asInvoker"'; then
  echo "FAIL $image: its manifest does not run it as invoked"
  exit 1
fi
if "$objdump" -p "$image" | grep -qi 'DLL Name: setupapi'; then
  echo "FAIL $image: imports SetupAPI instead of loading it when it enumerates"
  exit 1
fi
# Neither is a KnownDLL, so an import of either would be looked for beside the program first;
# both are loaded from the system folder when needed.
for library in winspool.drv uxtheme.dll; do
  if "$objdump" -p "$image" | grep -qix "[[:space:]]*DLL Name: $library"; then
    echo "FAIL $image: imports $library, which a file planted beside it would answer"
    exit 1
  fi
done
# Resource names are stored as UTF-16 in the resource directory.
for resource in "$@"; do
  if ! strings -e l "$image" | grep -qx "$resource"; then
    echo "FAIL $image: no resource $resource"
    exit 1
  fi
done
echo "ok $(basename "$image"): $subsystem, resources $*"
