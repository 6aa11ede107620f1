// The study group of the system record: study mode and the A-B loop (media/study_mode.cpp).
#pragma once

#include <cstdint>
#include <string>

namespace sublumen {

// Where the A-B loop stands: nothing marked, A marked, or looping from A to B.
enum class LoopPhase { None, AMarked, Looping };

// Study mode and the A-B loop (media/study_mode.cpp); neither is saved.
struct StudyState {
    bool studyMode = false;
    LoopPhase loopPhase = LoopPhase::None;
    // Movie times of the loop's ends, loopA before loopB once looping.
    uint32_t loopA = 0;
    uint32_t loopB = 0;
    // The movie the loop and the pause below belong to; another movie starts without them.
    std::string moviePath;
    // The caption end the movie last paused at, and the caption time it paused at: going on with Space
    // must not stop there again, going back before it must.
    bool held = false;
    uint32_t heldEnd = 0;
    uint32_t heldAt = 0;
    // The stream time of the last frame looked at, for how far the next one will be.
    bool timed = false;
    uint32_t lastTime = 0;
    // How far the stream moved between the last two frames: how far the next one will be. Before any
    // was measured, a frame of a movie of 25 frames a second.
    uint32_t frameStep = 40;
};

}
