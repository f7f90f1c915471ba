// A program for the lane's test (lane.mjs): each run makes `times` calls of an
// import that may wait, and tells what each call gave.
#include <emscripten/emscripten.h>

extern "C" {
int tvx_probe_wait(int run, int step);
void tvx_probe_got(int run, int value);

EMSCRIPTEN_KEEPALIVE void tvx_probe_run(int run, int times)
{
    for (int step = 0; step < times; ++step)
        tvx_probe_got(run, tvx_probe_wait(run, step));
}
}
