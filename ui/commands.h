// The one table of commands between every input and the player. The keys, the mouse's click, Alt+Enter,
// a drop on the window and the desktop's calls (MPRIS) all run rows of it; --help's key list and the help
// overlay's key lines are made from it, and a test holds the README and the manual to it.
//
// A row names a command, the keys that give it (each with the number it hands the command), its English
// words for --help, its Korean words for the help overlay and its handler. Handlers live in the files of
// the state they change; the table only points at them.
#pragma once

#include "app/command_argument.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sublumen {

struct System;

enum class Command {
    Quit,
    FullScreen,
    TogglePause,
    Help,
    HelpColour,
    ColourDepth,
    SeekTo,
    SeekBy,
    CaptionShadow,
    CaptionOutline,
    CaptionReverse,
    CaptionFace,
    Enhance,
    Captions,
    CaptionPlacement,
    CaptionHeight,
    Flip,
    CaptionShift,
    CaptionSize,
    StatusBar,
    Volume,
    Resolution,
    DesktopResolution,
    Previous,
    Next,
    PictureFit,
    QuickSkip,
    EndScreen,
    AlwaysOnTop,
    CaptionLanguage,
    NextAudio,
    CaptionLook,
    SeekCaption,
    CaptionSnap,
    CaptionSyncUndo,
    CaptionSync,
    CaptionSave,
    FrameStep,
    NextCaption,
    SecondCaption,
    Screenshot,
    SecondCaptionShift,
    StudyMode,
    LoopMark,
    SpeedStep,
    Transcript,
    CopyCaption,
    StudyCard,
    SoundMode,
    SoundDescriptions,
    SpeakCaptions,
    CaptionBox,
    AskCaption,
    // The transcript panel's own keys, while it is open.
    TranscriptMove,
    TranscriptGo,
    TranscriptErase,
    TranscriptClose,
    // Given by the desktop and the window only.
    Pause,
    Play,
    Stop,
    SetPosition,
    Rate,
    Open,
};

// The modifiers a key is pressed with.
enum KeyModifier : uint8_t { NoModifier = 0, Ctrl = 1, Shift = 2, Alt = 4 };

// A key of a row: its virtual-key code (VK_LBUTTON for the click), the modifiers and its number.
struct KeyBinding {
    int virtualKey = 0;
    uint8_t modifiers = NoModifier;
    int64_t value = 0;
};

// Where a row's keys act: the player's, or the transcript panel's, which take their keys only while it is
// open and before the player's.
enum class KeyMode : uint8_t { Player, TranscriptPanel };

struct CommandRow {
    Command command;
    const char* name;
    std::vector<KeyBinding> keys;
    // What the keys do, in English, for --help; null for a row no key gives.
    const char* help;
    // Its words on the help overlay, joined to the row before by a blank; a '\n' at the end ends the
    // overlay's line. Null when the overlay names the row with another or not at all.
    const char* overlay;
    CommandHandler handler;
    KeyMode mode = KeyMode::Player;
};

// The rows in the help overlay's order; the rows no key gives come last.
std::span<const CommandRow> commandTable();
// The first row of command; every command has one.
const CommandRow& commandRow(Command command);
// Runs the first row of command.
void runCommand(System& sys, Command command, CommandArgument argument = {});

struct KeyMatch {
    const CommandRow* row = nullptr;
    const KeyBinding* key = nullptr;
};
// What a key pressed with modifiers gives among the rows of mode: the row of exactly those modifiers, else
// the key without Shift, else without Ctrl, else the bare key. Alt is never dropped. None when no row of
// mode has the key.
std::optional<KeyMatch> findKey(int virtualKey, uint8_t modifiers, KeyMode mode = KeyMode::Player);

// Handles one key-down message: logs its code, then does what the key does; always 0.
int onKeyDown(System& sys, int virtualKey);
// Does what the key does with the modifiers held now, without the log line; always 0.
int runKeyCommand(System& sys, int virtualKey);
// Runs what a key gives with argument in place of the key's own number: for the inputs that come as other
// messages (the click brings its position, Alt+Enter comes as the accelerator's command).
void runKeyWith(System& sys, int virtualKey, uint8_t modifiers, CommandArgument argument);

// A key as the documents write it: "Ctrl+Left", "Keypad +", "`", "Click".
std::string keyName(const KeyBinding& key);
// A row's keys as --help, the README and the manual write them: "Ctrl+Left/Right", "1-8", "Keypad +/-".
std::string keyLabel(const CommandRow& row);
// --help's key list: one line per row with keys, its label and its words.
std::string keysHelpText();
// The help overlay's key lines, made from the rows' Korean words in the table's order.
const std::vector<std::string>& overlayKeyLines();

}
