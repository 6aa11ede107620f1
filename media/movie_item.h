// One movie of the movie list.
#pragma once

#include <cstdint>

namespace sublumen {

struct MovieItem {
    char title[1024];
    char movie[1024];
    char caption[1024];
    int32_t timeshift;
};

}
