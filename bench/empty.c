/* The baseline for the cost benchmark: an empty C program, built and linked
 * like the suite's programs. */
int main(void)
{
    return 0;
}
