// The user's preferences: one record whose fields carry the names of the registry values that hold them.
#pragma once

#include <cstdint>

namespace sublumen {

struct Settings {
    int32_t fullscreen = 1;
    int32_t help = 0;
    int32_t fontsize = 24;
    int32_t fontposy = 100;
    int32_t fontface = 0;
    int32_t screenx = 640;
    int32_t screeny = 480;
    int32_t bpp = 16;
    int32_t captionstyle = 130;
    int32_t seekbar = 1;
    int32_t alwaystop = 1;
    int32_t fitmode = 0;
    int32_t asksmi = 1;
    int32_t iscaption = 1;
    int32_t helpcolor = 0xFFFFFF;
    int32_t quickskip = 1;
    int32_t isending = 1;
    // A movie started again goes on where it was left.
    int32_t resume = 1;
    // How the sound is mixed: 0 as the movie has it, 1 the dialogue raised (soundModeClearDialogue), 2 the
    // dialogue raised and the loud and the quiet brought together for the night (soundModeNight).
    int32_t soundmode = 0;
    // Each caption is spoken as it appears.
    int32_t speakcaptions = 0;
    // What our caption style draws behind each line: 0 nothing, 1 a black box, 2 yellow text on the box.
    int32_t captionbox = 0;
    // The one text setting: the language tag ("kor") whose audio stream a movie starts with; "" leaves
    // the choice to the movie. Read from the key's string value of the same name; set only there.
    char audiolang[32] {};
};

// The caption style bits of captionstyle.
enum CaptionStyle : int32_t {
    styleOutline = 1,
    styleShadow = 2,
    styleReverse = 4,
    styleAutoPlace = 8,
    styleSemiAutoPlace = 128,
    styleThickOutline = 512,
};

}
