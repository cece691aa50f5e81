/* Writes through a null pointer after saying so: the unhandled page fault must
   end the process at once with the fault's code, never wait on a debugger. */
#include <stdio.h>

int main(void)
{
    volatile int *nowhere = 0;
    printf("crash_on_purpose: writing through a null pointer\n");
    fflush(stdout);
    *nowhere = 1;
    printf("crash_on_purpose: still running\n");
    return 0;
}
