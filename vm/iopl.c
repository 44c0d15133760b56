/* Runs a command with I/O privilege level 3, which its children inherit: Wine runs a kernel
 * driver inside an ordinary process (winedevice.exe), so the driver's port instructions reach
 * the port only where the kernel lets that process at every port. Root only.
 * usage: iopl COMMAND [ARGUMENT...] */
#include <stdio.h>
#include <sys/io.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 2) {
        fputs("usage: iopl COMMAND [ARGUMENT...]\n", stderr);
        return 2;
    }
    if (iopl(3) != 0) {
        perror("iopl: iopl(3)");
        return 126;
    }
    execvp(argv[1], argv + 1);
    perror(argv[1]);
    return 127;
}
