# contract.sh PROGRAM REFERENCE_OUTPUT
# The reference output is the exact standard output, then a line "exit N"
# where the exit status is defined.
set -u
source "$(dirname "$0")/check.sh"
program=$1 reference=$2

want=$(cat "$reference"; printf x)
want=${want%x}
status=-
if [[ $want =~ (^|$'\n')exit\ (-?[0-9]+)$'\n'$ ]]; then
  status=${BASH_REMATCH[2]}
  want=${want%"${BASH_REMATCH[0]}"}${BASH_REMATCH[1]}
fi
check "$(basename "$program")" "$want" "$status" /dev/null "$program"
finish
