/* Compiled for the Pentium Pro: the choice below becomes a CMOV, which the instruction check
 * must find and name. */
int smaller(int a, int b) {
    return a < b ? a : b;
}
