// main.cpp: the demo executable over SDL 1.2. It takes no options and reads no files.
#include "demo.h"

int main() {
    return demo_main();
}
