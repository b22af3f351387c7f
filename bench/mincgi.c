/* The reference CGI: the least a CGI can do. */
#include <stdio.h>

int main(void)
{
    fputs("Content-type: text/plain\r\n\r\n0", stdout);
    return 0;
}
