# io_input.sh IO_INPUT
# Each case feeds standard input to a program that calls input three times
# and prints the three results.
set -u
source "$(dirname "$0")/check.sh"
io_input=$1

# case_ NAME WANT FORMAT [ARG...]: standard input is printf FORMAT ARG...
case_() {
  local name=$1 want=$2
  shift 2
  printf -- "$@" >"$tmp/in"
  check "$name" "$want" 0 "$tmp/in" "$io_input"
}

nines=$(printf '9%.0s' {1..100000})
zeros=$(printf '0%.0s' {1..100000})
blanks=$(head -c 1048576 /dev/zero | tr '\0' ' ')

case_ 'blanks, then a sign'        $'42\n-7\n8\n'                    '  42\n-7\n+8'
case_ 'leading zeros'              $'7\n-8\n0\n'                     '007 -0008 +000'
case_ 'int range, exactly'         $'2147483647\n-2147483648\n0\n'   '2147483647 -2147483648 0'
case_ 'one past each end'          $'2147483647\n-2147483648\n7\n'   '2147483648 -2147483649 7'
case_ 'far outside the range'      $'2147483647\n-2147483648\n1\n'   '99999999999999999999 -99999999999999999999 1'
case_ '100,000 digits, each sign'  $'2147483647\n-2147483648\n5\n'   '%s -%s 5' "$nines" "$nines"
case_ '100,000 zeros, then 42'     $'42\n0\n0\n'                     '%s42' "$zeros"
case_ 'a megabyte of blanks'       $'77\n0\n0\n'                     '%s\n\t77' "$blanks"

# No integer read gives 0.  A sign is consumed as "%d" consumes it; a
# character that cannot begin a number stays, and every later call gives 0.
case_ 'empty input'                $'0\n0\n0\n'                      ''
case_ 'only blanks'                $'0\n0\n0\n'                      ' \n\t\n  '
case_ 'a lone minus'               $'0\n0\n0\n'                      '-'
case_ 'a lone plus'                $'0\n0\n0\n'                      '+\n'
case_ 'two minus signs'            $'0\n-5\n0\n'                     '--5'
case_ 'a sign, a blank, digits'    $'0\n5\n0\n'                      '- 5'
case_ 'a letter first'             $'0\n0\n0\n'                      'x5'
case_ 'a number, then letters'     $'12\n0\n0\n'                     '12abc 4'
case_ 'a NUL byte'                 $'0\n0\n0\n'                      '\0 5'
case_ 'a number, then a NUL byte'  $'5\n0\n0\n'                      '5\0 6'
finish
