// ranta_fallback.cpp: stands in for the shore scene while the effects library has none; draws nothing.
#include "fx.h"

void ranta_init(uint32_t*) {}
void ranta_effect(int) {}
