// The program behind a test's dummy processes (dummy_process.h): it waits, without arguments
// and without reading anything, until a signal ends it.
#include <unistd.h>

int main() {
    for (;;)
        ::pause();
}
