/* A tiny plug-in library that tests load at run time. */
#include <stdint.h>

static uint32_t g_args[4];
static int g_calls;

int plugin_add(int a, int b) {
    return a + b;
}

void plugin_record(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    g_args[0] = a;
    g_args[1] = b;
    g_args[2] = c;
    g_args[3] = d;
    ++g_calls;
}

uint32_t plugin_arg(int i) {
    return (i >= 0 && i < 4) ? g_args[i] : 0u;
}

int plugin_calls(void) {
    return g_calls;
}
