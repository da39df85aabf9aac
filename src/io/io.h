/* The language's built-in routines: the only way a program reads standard
 * input, writes standard output, or ends early.  Plain C linkage, so the
 * names are the same from C and C++ and in the linked program. */
#ifndef IO_H
#define IO_H

#if defined(__cplusplus) || (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 202311L)
#define IO_NORETURN [[noreturn]]
#else
#define IO_NORETURN _Noreturn
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Reads one integer from standard input the way scanf "%d" does: white
 * space is skipped, then an optional sign, then decimal digits; the
 * character after the number stays in the input.
 * - No digit read (end of input, or a character that cannot begin a number):
 *   returns 0.  A sign with no digit after it is consumed, as "%d" consumes
 *   it; the character after the sign stays, so "--5" reads as 0 and then -5.
 *   A character that cannot begin a number stays in the input, so every
 *   later call returns 0 as well.
 * - A number outside the int range saturates to INT_MAX or INT_MIN; all of
 *   its digits are consumed. */
int input(void);

/* Writes a as a line: "%d\n". */
void output(int a);

/* Writes a, widened to double, as a line: "%f\n" (six decimals, and always a
 * point: the runtime never changes the locale). */
void outputFloat(float a);

/* Writes the line "negative index exception" and ends the process with
 * status 0; everything written before it comes out first. */
IO_NORETURN void neg_idx_except(void);

#ifdef __cplusplus
}
#endif

#endif
