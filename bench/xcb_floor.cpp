// The floor for the strip's scrolling on this machine: a bare xcb client with
// no toolkit that makes exactly the strip's wake-ups and requests. A 190x22
// window, a title already in a server-side pixmap, and at every frame (1/60 s)
// where a text moving 0.8 px per frame lands on another whole pixel, one wake
// from an absolute-time sleep and one copy request, flushed. Whatever the
// program and the X server cost beyond this client's run is the toolkit's and
// ours; what this client costs, nothing that draws one step per pixel avoids.
//
// Usage: bench_xcb_floor   (runs until killed; DISPLAY names the server)

#include <xcb/xcb.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

constexpr int stripWidth = 190;
constexpr int stripHeight = 22;
constexpr int titleWidth = 900;
constexpr double step = 0.8;
constexpr long frameNs = 1'000'000'000L / 60;

void addNs(timespec &at, long ns)
{
    at.tv_nsec += ns;
    while (at.tv_nsec >= 1'000'000'000L) {
        at.tv_nsec -= 1'000'000'000L;
        ++at.tv_sec;
    }
}

} // namespace

int main()
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "bench_xcb_floor: no X display\n");
        return 1;
    }
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    const uint32_t background = screen->white_pixel;
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, stripWidth,
        stripHeight, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL,
        &background);
    xcb_map_window(connection, window);
    const xcb_pixmap_t pixmap = xcb_generate_id(connection);
    const int pixmapWidth = titleWidth + 2 * stripWidth;
    xcb_create_pixmap(
        connection, screen->root_depth, pixmap, window, uint16_t(pixmapWidth), stripHeight);
    const xcb_gcontext_t gc = xcb_generate_id(connection);
    const uint32_t noExposures = 0;
    xcb_create_gc(connection, gc, window, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
    xcb_flush(connection);
    std::printf("[floor] scrolling\n");
    std::fflush(stdout);

    timespec at {};
    clock_gettime(CLOCK_MONOTONIC, &at);
    double x = stripWidth;
    long drawn = std::lround(x);
    for (;;) {
        // Sleep through the frames that would leave the drawn pixel where it is.
        do {
            x -= step;
            addNs(at, frameNs);
        } while (std::lround(x) == drawn);
        drawn = std::lround(x);
        if (x < -titleWidth) {
            x = stripWidth;
            drawn = std::lround(x);
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
        const int from = std::abs(int(stripWidth - drawn)) % pixmapWidth;
        xcb_copy_area(connection, pixmap, window, gc,
            int16_t(std::min(from, pixmapWidth - stripWidth)), 0, 0, 0, stripWidth, stripHeight);
        xcb_flush(connection);
    }
}
