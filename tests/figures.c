/* A program whose cost is known, chosen by the name it runs under:
 *   skerrow  touches 128 MiB of memory
 *   pellick  spends 0.3 s of CPU time
 *   mardune  sleeps 0.3 s
 */
#include <string.h>
#include <sys/mman.h>
#include <time.h>

int main(int argc, char **argv)
{
    if (argc < 1)
        return 1;
    const char *name = strrchr(argv[0], '/');
    name = name ? name + 1 : argv[0];
    if (strcmp(name, "skerrow") == 0) {
        size_t size = (size_t)128 << 20;
        volatile char *p = mmap(NULL, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            return 1;
        for (size_t i = 0; i < size; i += 4096)
            p[i] = 1;
    } else if (strcmp(name, "pellick") == 0) {
        while (clock() < CLOCKS_PER_SEC * 3 / 10) {
        }
    } else if (strcmp(name, "mardune") == 0) {
        struct timespec t = {0, 300000000};
        nanosleep(&t, NULL);
    }
    return 0;
}
