# guard.sh GUARD_CASES
set -u
source "$(dirname "$0")/check.sh"
guard=$1
trap_line=$'negative index exception\n'

# g NAME WANT ARGS...
g() { check "$1" "$2" 0 /dev/null "$guard" "${@:3}"; }

g 'index 0 passes'                      $'7\n11\n'   store 0
g 'index -1 traps before the store'     "$trap_line" store -1
g 'most negative index traps'           "$trap_line" store -2147483648
g 'target guarded before the rhs'       $'99\n1\n'   rhs 0
g 'negative target: rhs never runs'     "$trap_line" rhs -1

# A float index truncates toward zero; NaN and values outside the int range
# become the most negative int.
for c in 1.8:1 2.9:2 -0.5:0 -1.5:-1 0:0 2147483520:2147483520 -2147483648:-2147483648 \
         2147483648:-2147483648 -2147483904:-2147483648 1e10:-2147483648 \
         inf:-2147483648 -inf:-2147483648 nan:-2147483648; do
  g "float index ${c%%:*} is ${c#*:}" "${c#*:}"$'\n' index "${c%%:*}"
done

g 'element 1.8 is element 1'            $'11\n'      read 1.8
g 'element -0.5 is element 0'           $'10\n'      read -0.5
g 'element -1.5 traps'                  "$trap_line" read -1.5
g 'element NaN traps'                   "$trap_line" read nan
finish
