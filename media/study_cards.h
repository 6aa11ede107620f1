// Study cards (Ctrl+S): the caption shown (the chosen line while the transcript panel is open, the A-B
// loop when one is set) kept as one line of cards.tsv in the data folder, with its sound and its
// picture without captions in media/ beside it. What the card holds is gathered here on the main
// thread; the platform's card writer cuts the sound, encodes and writes on its own thread, and its
// results come back once per idle turn as a notice on the status bar.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sublumen {

struct System;

// Sent by the writer's thread after each card, to wake a paused window; the window procedure ignores it.
constexpr unsigned WM_CARDSAVED = 0x8000 + 0x21;

// A card's stretch in movie time (milliseconds) and its texts (UTF-8).
struct CardContent {
    uint32_t start = 0;
    uint32_t end = 0;
    std::string text;
    std::string second;
};

// A caption's card lasts this long at most (a caption that nothing follows); a loop's at most
// longestCardLoop, and a longer loop is refused.
constexpr uint32_t longestCardCaption = 30000;
constexpr uint32_t longestCardLoop = 600000;

// What Ctrl+S would keep now; false when nothing is shown, or when the loop is too long (refusal then
// says so).
bool cardContent(System& sys, CardContent& card, std::string& refusal);
// "hh:mm:ss.mmm".
std::string cardTime(uint32_t milliseconds);
// Ctrl+S: queues the card, or says why not.
void saveStudyCard(System& sys);
// Once per idle turn: the writer's results go to the log and the status bar.
void noteSavedCards(System& sys);

}
