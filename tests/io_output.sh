# io_output.sh IO_CALLS
set -u
source "$(dirname "$0")/check.sh"
io_calls=$1

want='0
-5
-2147483648
2147483647
1.800000
0.500000
-0.250000
negative index exception
'
check 'output, outputFloat, then the trap' "$want" 0 /dev/null "$io_calls"

# A locale whose decimal separator is a comma, named by the environment, must
# not reach outputFloat.
if localedef -i de_DE -f UTF-8 "$tmp/de_DE.UTF-8" 2>/dev/null &&
   [[ $(LOCPATH=$tmp LC_ALL=de_DE.UTF-8 locale -k decimal_point 2>/dev/null) == 'decimal_point=","' ]]; then
  # LOCPATH first, so that this shell can switch to the locale too.
  export LOCPATH=$tmp
  export LC_ALL=de_DE.UTF-8
  check 'decimal point under a comma locale' "$want" 0 /dev/null "$io_calls"
else
  echo 'skip decimal point under a comma locale: localedef cannot build de_DE.UTF-8 here'
fi
finish
