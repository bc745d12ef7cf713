// Prints the colour of one pixel of the X screen as RRGGBB: pixel-probe X Y (root coordinates).
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: pixel-probe X Y\n");
        return 2;
    }
    const int x = std::atoi(argv[1]), y = std::atoi(argv[2]);
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) return 1;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&it);
    const xcb_screen_t* screen = it.data;
    if (x < 0 || y < 0 || x >= screen->width_in_pixels || y >= screen->height_in_pixels) return 2;
    xcb_get_image_cookie_t cookie =
        xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, int16_t(x), int16_t(y), 1, 1, ~0u);
    std::unique_ptr<xcb_get_image_reply_t, decltype(&std::free)> reply(xcb_get_image_reply(connection, cookie, nullptr),
                                                                       &std::free);
    if (!reply || xcb_get_image_data_length(reply.get()) < 3) return 1;
    // A 24-bit TrueColor screen keeps blue, green, red in the low three bytes of each pixel.
    const uint8_t* data = xcb_get_image_data(reply.get());
    std::printf("%02X%02X%02X\n", data[2], data[1], data[0]);
    xcb_disconnect(connection);
    return 0;
}
