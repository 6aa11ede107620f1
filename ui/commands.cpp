#include "ui/commands.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "caption/caption.h"
#include "display/frame_composition.h"
#include "display/screenshot.h"
#include "media/audio_choice.h"
#include "media/caption_choice.h"
#include "media/caption_descriptions.h"
#include "media/caption_look.h"
#include "media/caption_copy.h"
#include "media/caption_speech.h"
#include "media/caption_sync_jobs.h"
#include "media/movie_session.h"
#include "media/opened_files.h"
#include "media/playback_speed.h"
#include "media/sound_mode.h"
#include "media/study_cards.h"
#include "media/study_mode.h"
#include "media/transcript_panel.h"
#include "platform/window/window.h"
#include "ui/caption_sync_keys.h"
#include "ui/keyboard_commands.h"
#include "ui/volume.h"

#include <cassert>
#include <cstdio>

namespace sublumen {

namespace {

// The rows in the help overlay's order. A key's number is what it hands the handler: a time in
// milliseconds, a step, a digit. The one-line settings toggles are written here; every other handler
// lives with the state it changes.
using A = CommandArgument;
const std::vector<CommandRow> table = {
    { Command::Quit, "Quit", { { VK_ESCAPE } }, "quit (the settings are saved)", "ESC:종료",
        [](System&, A) { PostQuitMessage(0); } },
    { Command::FullScreen, "FullScreen", { { VK_RETURN, Alt } }, "full screen or window", "@Enter:전체/창,",
        [](System& s, A) {
            s.settings.fullscreen = switched(s.settings.fullscreen);
            s.playback.reinitRequest = 1;
        } },
    { Command::TogglePause, "TogglePause", { { VK_SPACE } }, "pause or play", "Space:일시정지\n", togglePause },
    { Command::Help, "Help", { { VK_F1 } }, "information and key summary on or off", "(F1)도움말",
        [](System& s, A) { s.settings.help = oneMinus(s.settings.help); } },
    { Command::HelpColour, "HelpColour", { { 'H' } }, "colour of the information text", "(H)정보 글자색",
        cycleHelpColour },
    { Command::ColourDepth, "ColourDepth", { { VK_OEM_3 } }, "16 or 32-bit colour", "(~)16/32bits 색상\n",
        switchColourDepth },
    { Command::SeekTo, "SeekTo", { { VK_LBUTTON }, { VK_HOME, NoModifier, 0 }, { VK_END, NoModifier, movieEnd } },
        "seek to the clicked point, the start or the end", "검색: LeftClick/Home/End/좌/우/PgUp/PgDn\n", seekTo },
    { Command::SeekBy, "SeekBy", { { VK_LEFT, NoModifier, -6000 }, { VK_RIGHT, NoModifier, 6000 } },
        "seek 6 seconds back or forward", nullptr, seekBy },
    { Command::SeekBy, "SeekBy", { { VK_PRIOR, NoModifier, -60000 }, { VK_NEXT, NoModifier, 60000 } },
        "seek 60 seconds back or forward", nullptr, seekBy },
    { Command::CaptionShadow, "CaptionShadow", { { 'S' } }, "caption shadow", "(S)그림자",
        [](System& s, A) { s.settings.captionstyle ^= styleShadow; } },
    { Command::CaptionOutline, "CaptionOutline", { { 'O' } }, "caption outline: none, outline, thick",
        "(O)외곽선", cycleCaptionOutline },
    { Command::CaptionReverse, "CaptionReverse", { { 'R' } }, "caption in reversed colours", "(R)반전",
        [](System& s, A) { s.settings.captionstyle ^= styleReverse; } },
    { Command::CaptionFace, "CaptionFace", { { 'G' } }, "caption face", "(G)글꼴", nextCaptionFace },
    { Command::Enhance, "Enhance", { { 'L' } }, "image enhancement (smooth scaling)", "(L)이미지향상\n",
        [](System& s, A) { s.commands.pictureFlags ^= EnhanceImage; } },
    { Command::Captions, "Captions", { { 'C' } }, "captions on or off", "(C)자막",
        [](System& s, A) { s.settings.iscaption = oneMinus(s.settings.iscaption); } },
    { Command::CaptionPlacement, "CaptionPlacement", { { 'A' } },
        "caption placement: fixed, automatic, semi-automatic", "(A)고정/자동/반자동,", cycleCaptionPlacement },
    { Command::CaptionHeight, "CaptionHeight", { { VK_UP, NoModifier, 2 }, { VK_DOWN, NoModifier, -2 } },
        "caption position up or down", "(상하)이동",
        [](System& s, A a) { s.settings.fontposy = wrappingAdd(s.settings.fontposy, a.value); } },
    { Command::Flip, "Flip", { { 'P' } }, "flip the picture upside down", "(P)Flip\n",
        [](System& s, A) { s.commands.pictureFlags ^= FlipVertical; } },
    { Command::CaptionShift, "CaptionShift",
        { { 'J', NoModifier, -1000 }, { 'K', NoModifier, 1000 }, { 'U', NoModifier, -10000 },
            { 'I', NoModifier, 10000 } },
        "caption time -1, +1, -10 or +10 seconds, kept for the movie file",
        "자막시간조절:(J)-1, (K)+1, (U)-10, (I)+10\n",
        [](System& s, A a) { s.movie.currentItem.timeshift = wrappingAdd(s.movie.currentItem.timeshift, a.value); } },
    { Command::CaptionSize, "CaptionSize", { { 'D', NoModifier, -1 }, { 'F', NoModifier, 1 } },
        "caption size smaller or larger", "(D/F)자막 글크기,", stepCaptionSize },
    { Command::StatusBar, "StatusBar", { { 'B' } }, "status bar on or off", "(B)상태 표시,",
        [](System& s, A) { s.settings.seekbar = oneMinus(s.settings.seekbar); } },
    { Command::Volume, "Volume", { { VK_ADD, NoModifier, 2 }, { VK_SUBTRACT, NoModifier, -2 } }, "volume",
        "(+/-)볼륨 조절\n", [](System& s, A a) { changeVolume(s, static_cast<int>(a.value)); } },
    { Command::Resolution, "Resolution",
        { { '1', NoModifier, 1 }, { '2', NoModifier, 2 }, { '3', NoModifier, 3 }, { '4', NoModifier, 4 },
            { '5', NoModifier, 5 }, { '6', NoModifier, 6 }, { '7', NoModifier, 7 }, { '8', NoModifier, 8 } },
        "resolution 320x240, 640x480, 800x600, 1024x768, 1280x960, 1600x1200, 1920x1440, 2048x1536",
        "해상도:(1~8) 320x240~2048x1536", chooseResolution },
    { Command::DesktopResolution, "DesktopResolution", { { '9' } }, "the desktop's own resolution at 32 bits",
        "(9)바탕화면,", chooseDesktopResolution },
    { Command::Previous, "Previous", { { VK_OEM_COMMA } }, "previous movie of the list", "(,/.)앞/뒤 동영상\n",
        [](System& s, A) { s.playback.movieStep = wrappingAdd(s.playback.movieStep, -1); } },
    { Command::Next, "Next", { { VK_OEM_PERIOD } }, "next movie of the list", nullptr,
        [](System& s, A) { s.playback.movieStep = wrappingAdd(s.playback.movieStep, 1); } },
    { Command::PictureFit, "PictureFit", { { 'M' } }, "picture fit: LetterBox, LetterBox2, PanScan, Full",
        "(M)LetterBox/LetterBox2/PanScan/Full\n", nextPictureFit },
    { Command::QuickSkip, "QuickSkip", { { 'Q' } }, "quick skip of stalled frames", "(Q)Quick Skip",
        [](System& s, A) { s.settings.quickskip = switched(s.settings.quickskip); } },
    { Command::EndScreen, "EndScreen", { { 'E' } }, "end screen after the last movie", "(E)Ending",
        [](System& s, A) { s.settings.isending = switched(s.settings.isending); } },
    { Command::AlwaysOnTop, "AlwaysOnTop", { { 'T' } }, "always on top", "(T)AlwaysTop\n", switchAlwaysOnTop },
    { Command::CaptionLanguage, "CaptionLanguage", { { 'N' } },
        "caption language of a two-language SAMI file, each in turn, then all", "(N)자막 언어: 하나씩/모두",
        [](System& s, A) {
            if (s.movie.currentCaption)
                s.movie.currentCaption->nextClassChoice();
        } },
    { Command::NextAudio, "NextAudio", { { 'W' } }, "next audio stream of the movie", "(W)음성",
        withoutArgument<cycleAudio> },
    { Command::CaptionLook, "CaptionLook", { { 'V' } },
        "SSA/ASS and picture captions as authored or in our caption style (picture captions: the text read "
        "from them); kept per movie",
        "(V)ASS·그림 자막: 원본/자체\n",
        withoutArgument<switchCaptionLook> },
    { Command::SeekCaption, "SeekCaption", { { VK_LEFT, Ctrl, -1 }, { VK_RIGHT, Ctrl, 1 } },
        "previous or next caption", "Ctrl+좌/우:앞/뒤 자막으로,", seekCaption },
    { Command::SeekCaption, "SeekCaption", { { VK_UP, Ctrl, 0 } },
        "the current caption again from its start (in study mode, as the A-B loop)", "Ctrl+상:자막 다시\n",
        seekCaption },
    { Command::CaptionSnap, "CaptionSnap", { { 'K', Ctrl, 1 }, { 'J', Ctrl, 0 } },
        "the next caption, or the one just shown, starts now (a second snap 5 min away sets the rate)",
        "(Ctrl+K/J)다음/방금 자막을 지금에 맞춤",
        [](System& s, A a) { snapCaption(s, a.value > 0 ? CaptionStep::Next : CaptionStep::Current); } },
    { Command::CaptionSyncUndo, "CaptionSyncUndo", { { '0', Ctrl } }, "caption sync undone",
        "(Ctrl+0)맞춤 취소\n", withoutArgument<clearCaptionSync> },
    { Command::CaptionSync, "CaptionSync", { { VK_F5, NoModifier, 0 }, { VK_F5, Shift, 1 } },
        "sync the captions to the speech / to the second caption or another caption stream (again: cancel); "
        "kept for the movie file",
        "(F5)말소리에 자막 맞춤 (Shift+F5)다른 자막에 맞춤", syncCaptions },
    { Command::CaptionSave, "CaptionSave", { { VK_F6 } },
        "save the captions as shown, under their own name (the original kept as NAME.orig)", "(F6)맞춘 자막 저장\n",
        withoutArgument<saveShownCaptions> },
    { Command::FrameStep, "FrameStep", { { VK_OEM_COMMA, Ctrl, -1 }, { VK_OEM_PERIOD, Ctrl, 1 } },
        "while paused: the previous or next frame", "(Ctrl+,/.)일시정지 중 앞/뒤 프레임", stepFrame },
    { Command::NextCaption, "NextCaption", { { 'Y' } },
        "next caption: each caption file beside the movie, each caption stream in it (TV captions too), then off",
        "(Y)자막 고르기(TV 자막 포함)",
        [](System& s, A) {
            if (movieShown(s))
                cycleFirstCaption(s);
        } },
    { Command::SecondCaption, "SecondCaption", { { 'Y', Shift } },
        "a second caption above the first (also another language of a SAMI file), off at first",
        "(Shift+Y)둘째 자막\n",
        [](System& s, A) {
            if (movieShown(s))
                cycleSecondCaption(s);
        } },
    { Command::Screenshot, "Screenshot", { { VK_F12, NoModifier, 0 }, { VK_F12, Shift, 1 } },
        "screenshot with the captions / the movie's frame alone at its own size",
        "(F12)화면 저장 (Shift+F12)영상만 저장", [](System& s, A a) { requestScreenshot(s, a.value != 0); } },
    { Command::SecondCaptionShift, "SecondCaptionShift", { { 'J', Shift, -1000 }, { 'K', Shift, 1000 } },
        "second caption time -1 or +1 second", "(Shift+J/K)둘째 자막 -1/+1\n", shiftSecondCaptionOrFirst },
    { Command::StudyMode, "StudyMode", { { 'Z' } }, "pause at the end of each caption (study mode)",
        "(Z)자막마다 멈춤", withoutArgument<toggleStudyMode> },
    { Command::LoopMark, "LoopMark", { { VK_F2 } },
        "A-B loop: the first press marks A, the second B, the third clears it",
        "(F2)구간 반복: A/B/해제\n", withoutArgument<markLoopPoint> },
    { Command::SpeedStep, "SpeedStep", { { VK_OEM_4, NoModifier, -1 }, { VK_OEM_6, NoModifier, 1 } },
        "playback speed 0.1 slower or faster (0.5 to 2.0, voices keep their pitch)", "([/])재생 속도",
        [](System& s, A a) { stepPlaybackSpeed(s, static_cast<int>(a.value)); } },
    { Command::SpeedStep, "SpeedStep", { { VK_BACK, NoModifier, 0 } }, "normal playback speed",
        "(Backspace)보통\n", [](System& s, A a) { stepPlaybackSpeed(s, static_cast<int>(a.value)); } },
    { Command::Transcript, "Transcript", { { VK_F3 } },
        "the transcript: every caption with its time, the one shown followed; typing searches it (also by "
        "initial consonants), Enter goes to the chosen line, Esc or F3 closes it",
        "(F3)자막 목록: 입력하면 찾기(초성도), Enter:그 자막으로, Esc:닫기\n", withoutArgument<toggleTranscript> },
    { Command::CopyCaption, "CopyCaption", { { 'C', Ctrl } },
        "copy the caption shown (or the chosen line of the transcript) to the clipboard", "(Ctrl+C)자막 복사",
        withoutArgument<copyCaption> },
    { Command::StudyCard, "StudyCard", { { 'S', Ctrl } },
        "keep the caption (or the A-B loop) as a study card with its sound and picture, in "
        "~/.local/share/sublumen/cards.tsv",
        "(Ctrl+S)학습 카드 저장\n", withoutArgument<saveStudyCard> },
    { Command::SoundMode, "SoundMode", { { VK_F4 } },
        "sound: normal, clear dialogue (the dialogue raised), night (also the loud and the quiet evened out)",
        "(F4)소리: 보통/대사/야간", withoutArgument<cycleSoundMode> },
    { Command::SoundDescriptions, "SoundDescriptions", { { VK_F7 } },
        "sound descriptions, lyrics and speaker names in captions hidden or shown; kept per movie",
        "(F7)설명 자막\n", withoutArgument<switchSoundDescriptions> },
    { Command::SpeakCaptions, "SpeakCaptions", { { VK_F8 } }, "captions spoken as they appear (speech service)",
        "(F8)자막 읽기", withoutArgument<switchCaptionSpeech> },
    { Command::CaptionBox, "CaptionBox", { { VK_F9 } }, "caption box: none, black box, yellow text on the box",
        "(F9)자막 상자\n", cycleCaptionBox },
    { Command::AskCaption, "AskCaption", { { 'X' } },
        "ask for a caption file when a movie has none (from the next start)",
        nullptr, [](System& s, A) { s.settings.asksmi = oneMinus(s.settings.asksmi); } },

    { Command::TranscriptMove, "TranscriptMove",
        { { VK_UP, NoModifier, transcriptUp }, { VK_DOWN, NoModifier, transcriptDown },
            { VK_PRIOR, NoModifier, transcriptPageUp }, { VK_NEXT, NoModifier, transcriptPageDown },
            { VK_HOME, NoModifier, transcriptFirst }, { VK_END, NoModifier, transcriptLast } },
        "in the transcript: choose a line", nullptr, moveTranscriptCursor, KeyMode::TranscriptPanel },
    { Command::TranscriptGo, "TranscriptGo", { { VK_RETURN } }, "in the transcript: go to the chosen line",
        nullptr, withoutArgument<seekToTranscriptLine>, KeyMode::TranscriptPanel },
    { Command::TranscriptErase, "TranscriptErase", { { VK_BACK } },
        "in the transcript: take back the last character searched for", nullptr,
        withoutArgument<eraseFromTranscript>, KeyMode::TranscriptPanel },
    { Command::TranscriptClose, "TranscriptClose", { { VK_ESCAPE } }, "in the transcript: close it (not the player)",
        nullptr, withoutArgument<closeTranscript>, KeyMode::TranscriptPanel },

    { Command::Pause, "Pause", {}, nullptr, nullptr, pauseMovie },
    { Command::Play, "Play", {}, nullptr, nullptr, playMovie },
    { Command::Stop, "Stop", {}, nullptr, nullptr, stopMovie },
    { Command::SetPosition, "SetPosition", {}, nullptr, nullptr, setPosition },
    { Command::Rate, "Rate", {}, nullptr, nullptr, setRate },
    { Command::Open, "Open", {}, nullptr, nullptr, openFiles },
};

const std::vector<CommandRow>& rows()
{
    return table;
}

uint8_t heldModifiers()
{
    uint8_t held = NoModifier;
    if (GetKeyState(VK_CONTROL) & 0x8000)
        held |= Ctrl;
    if (GetKeyState(VK_SHIFT) & 0x8000)
        held |= Shift;
    return held;
}

std::optional<KeyMatch> exactKey(int virtualKey, uint8_t modifiers, KeyMode mode)
{
    for (const CommandRow& row : rows())
        for (const KeyBinding& key : row.keys)
            if (row.mode == mode && key.virtualKey == virtualKey && key.modifiers == modifiers)
                return KeyMatch { &row, &key };
    return std::nullopt;
}

// Whether the key types a character (a letter, a digit, a blank, a punctuation mark, the keypad's).
bool typesText(int vk)
{
    return (vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z') || vk == VK_SPACE
        || (vk >= VK_NUMPAD0 && vk <= VK_DIVIDE && vk != VK_SEPARATOR) || (vk >= VK_OEM_1 && vk <= VK_OEM_3)
        || (vk >= VK_OEM_4 && vk <= VK_OEM_7);
}

}

std::span<const CommandRow> commandTable()
{
    return rows();
}

const CommandRow& commandRow(Command command)
{
    for (const CommandRow& row : rows())
        if (row.command == command)
            return row;
    assert(!"every command has a row");
    return rows().front();
}

void runCommand(System& sys, Command command, CommandArgument argument)
{
    commandRow(command).handler(sys, argument);
}

std::optional<KeyMatch> findKey(int virtualKey, uint8_t modifiers, KeyMode mode)
{
    const uint8_t alt = modifiers & Alt;
    constexpr uint8_t droppedInTurn[] = { NoModifier, Shift, Ctrl, Ctrl | Shift };
    for (const uint8_t dropped : droppedInTurn)
        if (auto match = exactKey(virtualKey, static_cast<uint8_t>((modifiers & ~dropped) | alt), mode))
            return match;
    return std::nullopt;
}

int onKeyDown(System& sys, int virtualKey)
{
    debugLog("KeyDown=0x%02X\n", virtualKey);
    return runKeyCommand(sys, virtualKey);
}

// The rules for every key are here, not in the rows. Letters are their capital-letter codes, so Caps Lock
// makes no difference, and Shift or Ctrl only where a row names it (findKey). Keys pressed with Alt come
// as system keys and never get here (Alt+Enter comes as the accelerator's command). An auto-repeated
// key-down acts as a press. A message box takes the keys while it is up; none reach the window then.
// While the transcript panel is open its rows come first, and a key that types text without Ctrl types
// into its search (the text comes as WM_CHAR) and does nothing else; every other key is the player's as
// ever. Closed, the panel takes nothing.
int runKeyCommand(System& sys, int virtualKey)
{
    const uint8_t modifiers = heldModifiers();
    if (sys.transcript.open) {
        if (auto match = findKey(virtualKey, modifiers, KeyMode::TranscriptPanel)) {
            match->row->handler(sys, { .value = match->key->value });
            return 0;
        }
        if (!(modifiers & Ctrl) && typesText(virtualKey))
            return 0;
    }
    if (auto match = findKey(virtualKey, modifiers))
        match->row->handler(sys, { .value = match->key->value });
    return 0;
}

void runKeyWith(System& sys, int virtualKey, uint8_t modifiers, CommandArgument argument)
{
    if (auto match = findKey(virtualKey, modifiers))
        match->row->handler(sys, argument);
}

std::string keyName(const KeyBinding& key)
{
    std::string name;
    if (key.modifiers & Ctrl)
        name += "Ctrl+";
    if (key.modifiers & Shift)
        name += "Shift+";
    if (key.modifiers & Alt)
        name += "Alt+";
    const int vk = key.virtualKey;
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9'))
        return name + static_cast<char>(vk);
    if (vk >= VK_F1 && vk <= VK_F12)
        return name + "F" + std::to_string(vk - VK_F1 + 1);
    switch (vk) {
    case VK_LBUTTON: return name + "Click";
    case VK_BACK: return name + "Backspace";
    case VK_RETURN: return name + "Enter";
    case VK_ESCAPE: return name + "Esc";
    case VK_SPACE: return name + "Space";
    case VK_PRIOR: return name + "PgUp";
    case VK_NEXT: return name + "PgDn";
    case VK_END: return name + "End";
    case VK_HOME: return name + "Home";
    case VK_LEFT: return name + "Left";
    case VK_UP: return name + "Up";
    case VK_RIGHT: return name + "Right";
    case VK_DOWN: return name + "Down";
    case VK_INSERT: return name + "Insert";
    case VK_DELETE: return name + "Delete";
    case VK_ADD: return name + "Keypad +";
    case VK_SUBTRACT: return name + "Keypad -";
    case VK_OEM_COMMA: return name + ",";
    case VK_OEM_PERIOD: return name + ".";
    case VK_OEM_3: return name + "`";
    case VK_OEM_4: return name + "[";
    case VK_OEM_6: return name + "]";
    default: break;
    }
    char code[8];
    std::snprintf(code, sizeof code, "0x%02X", vk);
    return name + code;
}

std::string keyLabel(const CommandRow& row)
{
    std::vector<std::string> names;
    for (const KeyBinding& key : row.keys)
        names.push_back(keyName(key));
    if (names.empty())
        return "";
    // A run of digit keys is written as its ends: 1-8.
    bool digits = names.size() >= 3;
    for (size_t i = 0; digits && i < names.size(); ++i)
        digits = names[i].size() == 1 && names[i][0] == names[0][0] + static_cast<char>(i) && names[i][0] >= '0'
            && names[i][0] <= '9';
    if (digits)
        return names.front() + "-" + names.back();
    // A prefix all the keys share, up to a '+' or a blank, is written once: Ctrl+Left/Right, Keypad +/-.
    size_t common = 0;
    for (size_t i = 0; i < names.front().size(); ++i) {
        const char c = names.front()[i];
        bool shared = true;
        for (const std::string& name : names)
            shared = shared && i < name.size() - 1 && name[i] == c;
        if (!shared)
            break;
        if (c == '+' || c == ' ')
            common = i + 1;
    }
    std::string label = names.front();
    for (size_t i = 1; i < names.size(); ++i)
        label += "/" + names[i].substr(common);
    return label;
}

std::string keysHelpText()
{
    std::string text;
    for (const CommandRow& row : rows()) {
        if (row.keys.empty() || !row.help)
            continue;
        char line[256];
        std::snprintf(line, sizeof line, "  %-16s %s\n", keyLabel(row).c_str(), row.help);
        text += line;
    }
    return text;
}

const std::vector<std::string>& overlayKeyLines()
{
    static const std::vector<std::string> lines = [] {
        std::vector<std::string> made;
        std::string line;
        for (const CommandRow& row : rows()) {
            if (!row.overlay)
                continue;
            std::string words = row.overlay;
            const bool ends = !words.empty() && words.back() == '\n';
            if (ends)
                words.pop_back();
            line += (line.empty() ? "" : " ") + words;
            if (ends)
                made.push_back(std::exchange(line, std::string()));
        }
        if (!line.empty())
            made.push_back(line);
        return made;
    }();
    return lines;
}

}
