// main.cpp: the demo executable over SDL 1.2. It takes no options and reads no files.
#include "assets.h"
#include "demo.h"

int main() {
    return demo_main(moddi, moddi_size);
}
