// The application icon, compiled into the program as PNG images of several
// sizes (written by app/res/make_icons.py).
#pragma once

#include <cstddef>

namespace corvane::app {

struct IconImage {
    int size;  // width and height in pixels
    const unsigned char* png;
    size_t bytes;
};

extern const IconImage kIconImages[];
extern const size_t kIconImageCount;

}  // namespace corvane::app
