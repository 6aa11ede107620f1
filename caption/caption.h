// The caption track of the playing movie: every caption of one caption file in ascending order of start
// time, with the position of the last lookup remembered so that the per-frame lookup costs almost nothing.
#pragma once

#include "caption/node_list.h"
#include "caption/sound_descriptions.h"
#include "platform/authored_captions.h"
#include "platform/gdi/text_decoding.h"
#include "platform/mmstream/caption_pictures.h"
#include "platform/win32.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace sublumen {

// The payload of one node of a Caption: the start and the entry's own copy of its text, which follows.
struct CaptionEntry {
    uint32_t start;
    char* text;
};

struct TextCue;
class PictureCaption;

// The start of the entry that ends every successfully loaded track.
constexpr uint32_t endMarker = 4294967295u;

// One caption of one SAMI class.
struct ClassEntry {
    uint32_t start;
    std::string text;
};

// One language of a SAMI file that has two or more with text: its definition in the STYLE block and
// its captions, those of SYNCs without a class included, in order of start.
struct CaptionClass {
    std::string name;  // as the P tags write it, without the dot
    std::string title;  // the rule's Name
    std::string lang;
    std::vector<ClassEntry> entries;
    int32_t ownEntries = 0;  // entries of this class alone
};

// Which captions of a track the caption stepping keys look for.
enum class CaptionStep {
    Previous,
    Current,
    Next,
};

// What our caption style draws behind each line of a caption: nothing (the picture shows through), a
// black box three quarters opaque, or that box with the text in yellow on it, as broadcast captions do.
enum class CaptionBox : int32_t {
    None = 0,
    Box = 1,
    YellowOnBox = 2,
};

// The captionbox setting as a box; a value that is none of them draws none.
CaptionBox captionBoxOf(int32_t setting);

// How a caption is drawn beyond the style bits.
struct CaptionLook {
    CaptionBox box = CaptionBox::None;
    SoundDescriptions descriptions = SoundDescriptions::Shown;
};

// The choice of showAllClasses stacks every class in the caption band.
constexpr int showAllClasses = -1;

// A value for Caption::revision that was never handed out before.
uint64_t nextCaptionRevision();

class Caption {
public:
    // Loads the track from fileName (none gives an empty track) with the reader of its format
    // (captionFormatOfFile, caption/caption_formats.h): by the name's end ".ASF" the ASF script, ".SUB" the
    // SUB reader, a text caption name or content the text caption reader, anything else SAMI.
    explicit Caption(const char* fileName);
    ~Caption();
    Caption(const Caption&) = delete;
    Caption& operator=(const Caption&) = delete;

    // Adds an entry after every entry whose start is not greater; 0, or -1 without memory.
    int addEntry(uint32_t start, const char* text);
    // Moves current to the last entry whose start is not greater than time (none before the first).
    void findAt(uint32_t time);
    // Draws the entry in force at time into the band (x, y, width, height) of dc with the style bits.
    // The text never reaches below row lowest: a block that would is moved up as a whole. Margins,
    // shadow and outlines are scale times their pixels (a caption drawn on an enlarged screen). With a
    // box (look.box) the text is light whatever styleReverse says, and the boxes stay above lowest too.
    void draw(uint32_t time, HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, int32_t style,
        int32_t lowest = INT32_MAX, double scale = 1.0, const CaptionLook& look = {});
    // Where draw would put the text shown at time, the rows it fills (with the boxes' margins when it
    // draws boxes): false when nothing but blank text is shown then.
    bool shownBlock(uint32_t time, HDC dc, int32_t x, int32_t y, int32_t width, int32_t height, int32_t style,
        int32_t lowest, RECT& block, double scale = 1.0, const CaptionLook& look = {});
    // Frees every entry and ends the COM use begun by the constructor.
    void unload();

    int loadSMI(const char* fileName);
    int loadSub(const char* fileName);
    int loadASFscript(const char* fileName);
    // SubRip, WebVTT and SSA/ASS files; the track's text is UTF-8. SubRip and SSA/ASS are read through
    // the media library, WebVTT by readWebVtt. The kind comes from the name's end, or from the content
    // for a file named otherwise or starting with the WebVTT header. A caption ending more than a day
    // in (a converter's "until the end") is shown until the next caption starts or the movie ends.
    int loadTextCaptions(const char* fileName);

    ListNode* entries = nullptr;
    ListNode* current = nullptr;
    // The reader's result code from construction: 0, or the negative code logged as a load failure.
    int loadResult = 0;
    // Changes with every change to the entries, to a value no other state of any track had, so that
    // what was made from a track can tell it is out of date.
    uint64_t revision = 0;

    // The entry under current, or none.
    const CaptionEntry* currentEntry() const;

    // How the file's texts are decoded for drawing; Guess for a track of no file.
    platform::TextEncoding textEncoding = platform::TextEncoding::Guess;

    // The styling of an SSA/ASS file or of the movie's ASS caption stream, for drawing the captions as
    // authored; none for every other kind of caption (and for a script the renderer cannot read), which
    // is always drawn in our caption style from the entries.
    std::unique_ptr<platform::AuthoredCaptions> authored;

    // The classes of a SAMI file with two or more classes with text, in the order the file defines them;
    // empty otherwise, and then the whole track is shown.
    std::vector<CaptionClass> classes;
    // The class shown: an index into classes, or showAllClasses; and the one shown first.
    int shownClass = 0;
    int defaultClass = 0;

    // Moves the choice on: each class in turn, then all at once, then the first again. Logged.
    void nextClassChoice();
    // Shows the class of that name, or all classes for "*"; false (nothing changes) when there is none.
    bool showClassNamed(const std::string& name);
    // The name of the class shown, "*" for all, "" for a track without classes.
    std::string shownClassName() const;
    // Makes this empty track one that the movie's caption stream fills while it plays: UTF-8 texts, the
    // end marker alone at first.
    void beginCueTrack();
    // Adds cues of the caption stream in any order; a cue equal to one already held is dropped. The
    // entries around the new cues are made again from every cue they touch, so the track is what
    // entriesOfCues makes of all cues held.
    void addCues(std::vector<TextCue> cues);
    bool isCueTrack() const { return cueTrack; }
    // The number in the movie of the caption stream whose cues fill this track; -1 for the stream the
    // movie reads by itself.
    int32_t cueStream = -1;

    // The picture captions (PGS, VobSub, DVB) this track is the text of, as it is read while the movie
    // plays: one entry per caption, a caption not read yet with empty text. They are drawn as authored
    // unless our caption style is chosen (media/caption_look.h). None for a track of text captions.
    std::unique_ptr<PictureCaption> pictures;
    // Makes this empty track the text of pictures, from the captions they hold.
    void beginPictureTrack(std::unique_ptr<PictureCaption> pictures);
    // Adds captions to the picture captions, and their entries to the track; returns the starts of the
    // captions added or replaced.
    std::vector<uint32_t> addPictures(std::vector<platform::CaptionPictureHandle> pictures);
    // What the caption starting at start says, read from picture (or one with the same bitmaps); false
    // when that caption is not held any more.
    bool setPictureText(uint32_t start, const platform::CaptionPicture& picture, std::string text);

    // The text shown at time, ready for drawing (UTF-8 for a track of a file), without sound
    // descriptions when they are hidden; none when no entry is in force. The text lives until the next
    // call or until the track changes.
    const std::string* shownTextAt(uint32_t time, SoundDescriptions descriptions = SoundDescriptions::Shown);
    // The start of the previous, current or next non-blank caption of what is shown at time; false when
    // there is none. A caption that is nothing but descriptions is blank while they are hidden.
    bool captionStart(uint32_t time, CaptionStep step, uint32_t& start,
        SoundDescriptions descriptions = SoundDescriptions::Shown) const;
    // When what is shown at time is cleared or replaced: the start of the next entry of what is shown,
    // endMarker when none follows; false when nothing but blank text is shown at time. Moves current.
    bool shownEnd(uint32_t time, uint32_t& end, SoundDescriptions descriptions = SoundDescriptions::Shown);

private:
    // The readers' way of building a whole track: appendEntry logs and keeps every entry in the order
    // read, and sortEntries then puts the track in the order that addEntry one by one would have given
    // (a stable sort by start), in O(n log n) however hostile the order of the file.
    int appendEntry(uint32_t start, const char* text);
    void sortEntries();
    ListNode* newEntry(uint32_t start, const char* text);
    // Cue tracks: the held cues starting from low to high give way to cues, and the entries they touch
    // are made again; remakeEntries makes again those between low and high.
    void replaceCues(uint32_t low, uint32_t high, std::vector<TextCue> cues);
    void remakeEntries(uint32_t low, uint32_t high);
    // The cues of the picture captions starting from low to high.
    std::vector<TextCue> pictureCues(uint32_t low, uint32_t high) const;

    bool comHeld = false;
    // A track of the caption stream: the cues held, in order of start (equal starts in arrival order).
    bool cueTrack = false;
    std::vector<TextCue> heldCues;
    // The last node of entries, so that entries in time order are added without a walk.
    ListNode* lastNode = nullptr;
    // Set when appendEntry put an entry behind one that starts later.
    bool unsorted = false;
    // The text last made ready for drawing and what it was made from, so that a caption that stays
    // on the screen is decoded once.
    std::string shownText;
    std::vector<const void*> shownFrom;
    SoundDescriptions shownWith = SoundDescriptions::Shown;
    std::vector<const void*> lookedUp;
};

// A caption or list file read the way the readers open their files in text mode ("rt"): a carriage
// return right before a line feed is dropped and a Ctrl-Z byte ends the input. The whole file is read
// at once and its encoding decided (platform::decideFileEncoding), so the readers see UTF-8 or CP949
// bytes without a byte-order mark. Only regular files open, so a folder or a pipe is refused instead of
// read forever; so is a file too large to be a caption or list file.
class TextModeFile {
public:
    explicit TextModeFile(const char* path);
    TextModeFile(const TextModeFile&) = delete;
    TextModeFile& operator=(const TextModeFile&) = delete;

    bool isOpen() const { return opened; }
    platform::TextEncoding encoding() const { return decided.encoding; }
    // The next byte, or EOF at the end of the input, at a Ctrl-Z, or after a read error.
    int getc();
    // fgets semantics over the translated bytes: at most size-1 bytes, up to and including a line feed.
    // Returns false when nothing could be read.
    bool gets(char* buffer, int size);
    bool failed() const { return readError; }

    // Files larger than this are refused: no caption or list file comes near it.
    static constexpr size_t maximumSize = 64u << 20;

private:
    int rawGetc();
    platform::DecidedText decided;
    size_t position = 0;
    int pushedBack = EOF;
    bool opened = false;
    bool ended = false;
    bool readError = false;
};

}
