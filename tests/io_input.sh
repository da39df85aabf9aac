# io_input.sh IO_INPUT
# Each case feeds standard input to a program that calls input three times
# and prints the three results.
set -u
source "$(dirname "$0")/check.sh"
io_input=$1

# case NAME STDIN_FORMAT WANT: STDIN_FORMAT is a printf format.
case_() {
  printf "$2" >"$tmp/in"
  check "$1" "$3" 0 "$tmp/in" "$io_input"
}

case_ 'blanks, then a sign'       '  42\n-7\n+8'       $'42\n-7\n8\n'
case_ 'end of input'              ''                   $'0\n0\n0\n'
case_ 'non-numeric stays put'     'x5'                 $'0\n0\n0\n'
case_ 'number, then letters'      '12abc'              $'12\n0\n0\n'
case_ 'int range, exactly'        '2147483647 -2147483648 0' $'2147483647\n-2147483648\n0\n'
case_ 'one past each end'         '2147483648 -2147483649 7' $'2147483647\n-2147483648\n7\n'
finish
