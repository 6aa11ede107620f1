// Composing and presenting one frame: borders, the decoded picture, status bar, captions, caption pictures,
// the transcript panel, overlay, notice. The main loop advances the movie first (app/main_loop.cpp,
// renderFrame); frameOf then reads from the system record, once, all that this frame shows, and the steps
// here draw from that value. They hand the drawing steps (display/frame_drawing.h, display/info_overlay.h)
// the few inputs they draw.
#pragma once

#include "display/frame_drawing.h"
#include "display/frame_layout.h"
#include "display/info_overlay.h"
#include "display/picture_caption_view.h"
#include "platform/surface.h"
#include "platform/win32.h"

#include <cstdint>
#include <optional>
#include <string>

namespace platform {
class AuthoredCaptions;
}

namespace sublumen {

struct System;

// What one frame shows, read from the system record once a turn, the stream's clock with it.
struct Frame {
    FrameContent content = FrameContent::Nothing;
    // The layout on the back surface, its fonts made for it (composedLayout).
    FrameLayout layout;
    // The stream's time for this frame and the first caption's time at it (0 without a stream).
    uint32_t streamTime = 0;
    uint32_t captionTime = 0;
    // The status bar of a shown movie; for the end screen only its notice (what the line says).
    StatusBar status;
    // The captions in our style with their times.
    CaptionsShown captions;
    // The first caption's pictures and which of them are blended, and its captions drawn as authored.
    PictureCaption* pictures = nullptr;
    PictureCaptions picturesShown = PictureCaptions::ForcedOnly;
    platform::AuthoredCaptions* authored = nullptr;
    // The overlay, while help is on, and whether it has its shadow pass.
    std::optional<OverlayText> overlay;
    bool overlayShadow = false;
    // The notice, after what the status line says.
    StatusNotice notice;
};

// This turn's frame, read from the system record after the movie advanced.
Frame frameOf(System& sys);
// Composes frame on the back surface: borders, picture, status bar, captions, caption pictures, then the
// F12 screenshots, the transcript panel, the overlay and the notice. On an enlarged screen
// (presented_layer.h) only the borders and the picture; the rest comes when it is presented.
void composeFrame(System& sys, const Frame& frame);
// Presents the back surface, the texts of an enlarged screen drawn at the shown pixels; a lost full-screen
// surface asks the main loop for a rebuild.
void presentFrame(System& sys, const Frame& frame);
// The picture copied onto the back surface with the status bar, the captions and the caption pictures over
// it; the end screen without a movie.
void drawVideo(System& sys, const Frame& frame);
// The back surface shown as it is; a lost full-screen surface asks for a rebuild.
void presentBackSurface(System& sys);
// The frame's layout at the screen's size: the settings, the video placement and the player's fonts.
FrameLayout frameLayout(const System& sys);
// What the frame shows under its texts: the movie, the end screen or nothing.
FrameContent frameContent(const System& sys);
// The status bar for playback time t (milliseconds) of the current movie.
StatusBar statusBar(const System& sys, uint32_t t);
// The captions drawn in our style at stream time streamTime, none while captions are off.
CaptionsShown captionsShown(const System& sys, uint32_t streamTime);
// The frame's picture captions and captions drawn as authored, blended onto target as the layout places
// them: after the status bar and the captions in our style, which they cover.
void blendCaptionPictures(const Frame& frame, platform::PixelView target, const FrameLayout& layout);
// Whether a movie is open and playable, so that its picture, status bar and caption are drawn.
bool movieShown(const System& sys);
// What the status line says besides the time while it holds (a sound device gone, study mode, the speed),
// empty for nothing; the notice (display/notice.h) comes after it.
std::string statusNoticeText(const System& sys);

}
