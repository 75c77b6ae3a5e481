/* A detectcd that answers at once, for timing the helper's own share. */
#include <stdio.h>

int main(void)
{
    fputs("Visio\n", stdout);
    return 0;
}
