#include "media/caption_choice.h"

#include "app/debug_log.h"
#include "app/path_text.h"
#include "app/system.h"
#include "caption/caption.h"
#include "caption/caption_formats.h"
#include "caption/caption_sync.h"
#include "caption/picture_caption.h"
#include "media/caption_discovery.h"
#include "media/media_stream.h"
#include "media/movie_list.h"
#include "media/movie_session.h"
#include "platform/gdi/text_decoding.h"
#include "platform/mmstream/caption_pictures.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <strings.h>
#include <system_error>

namespace sublumen {

namespace {

constexpr const char* firstField = "caption";
constexpr const char* secondField = "caption2";
constexpr const char* secondShiftField = "caption2_shift";
constexpr const char* offLabel = "끔";
constexpr const char* asfScriptLabel = "[ASF]";

bool endsWithAsf(const char* path)
{
    const CaptionFormatRow* format = captionFormatOfName(path);
    return format && format->format == CaptionFormat::AsfScript;
}

bool sameFile(const std::string& a, const std::string& b)
{
    if (a == b)
        return true;
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) && !error;
}

// A caption file by its name relative to the movie's folder, so that a folder moved whole keeps it.
std::string fileKey(const std::string& path, const char* movie)
{
    std::filesystem::path folder = std::filesystem::path(movie).parent_path();
    std::filesystem::path relative = std::filesystem::path(path).lexically_relative(folder);
    return "file:" + (relative.empty() ? path : relative.string());
}

CaptionChoice fileChoice(const std::string& path, const char* movie)
{
    CaptionChoice choice;
    choice.kind = CaptionChoice::Kind::File;
    choice.path = path;
    choice.key = fileKey(path, movie);
    choice.label = path;
    return choice;
}

std::string streamLabel(const CaptionStreamTrack& track)
{
    return captionStreamLabel(track.index, track.language);
}

CaptionChoice offChoice()
{
    CaptionChoice choice;
    choice.key = "off";
    choice.label = offLabel;
    return choice;
}

// A key goes into a memory line, which a tab or a line break would break.
bool rememberable(const std::string& key)
{
    return key.find_first_of("\t\n\r") == std::string::npos;
}

void remember(System& sys, const char* field, const std::string& key)
{
    if (rememberable(key))
        sys.movie.memoryFields[field] = key;
    else
        sys.movie.memoryFields.erase(field);
}

// The stream the movie reads by itself: the first decoded, -1 when none is.
int32_t decodedStream(const System& sys)
{
    std::vector<int32_t> decoded;
    if (sys.movie.currentStream)
        sys.movie.currentStream->captionStreams(&decoded);
    return decoded.empty() ? -1 : decoded.front();
}

// The key of what the first caption shows as it was loaded at the movie's start.
std::string loadedKey(System& sys)
{
    Caption* caption = sys.movie.currentCaption.get();
    const MovieItem& item = sys.movie.currentItem;
    if (!caption)
        return "off";
    if (caption->pictures && caption->pictures->stream >= 0)
        return "stream:" + std::to_string(caption->pictures->stream);
    if (caption->pictures)
        return fileKey(item.caption, item.movie);
    if (caption->isCueTrack()) {
        caption->cueStream = decodedStream(sys);
        return "stream:" + std::to_string(caption->cueStream);
    }
    if (std::strcmp(item.caption, asfScriptLabel) == 0)
        return "asf";
    return fileKey(item.caption, item.movie);
}

// The streams the shown captions need are read, and only those.
void readShownStreams(System& sys)
{
    MediaStream* stream = sys.movie.currentStream.get();
    if (!stream)
        return;
    std::vector<int32_t> wanted;
    // The picture captions of the first caption's stream keep that stream read; a second caption of
    // pictures is read ahead by its own reading.
    if (const Caption* first = sys.movie.currentCaption.get(); first && first->pictures && first->pictures->stream >= 0)
        wanted.push_back(first->pictures->stream);
    for (const Caption* caption : { sys.movie.currentCaption.get(), sys.movie.secondCaption.get() })
        if (caption && caption->isCueTrack() && !caption->pictures && caption->cueStream >= 0
            && std::find(wanted.begin(), wanted.end(), caption->cueStream) == wanted.end())
            wanted.push_back(caption->cueStream);
    std::vector<int32_t> decoded;
    stream->captionStreams(&decoded);
    std::vector<int32_t> sortedWanted = wanted;
    std::sort(sortedWanted.begin(), sortedWanted.end());
    std::sort(decoded.begin(), decoded.end());
    if (sortedWanted != decoded && !stream->selectCaptionStreams(wanted))
        debugLog("Caption choice: the caption streams cannot be changed.\n");
}

// A track the caption stream numbered index fills from now on.
void beginStreamTrack(Caption* track, int32_t index)
{
    if (!track)
        return;
    track->beginCueTrack();
    track->cueStream = index;
}

void showFirst(System& sys, const CaptionChoice& choice)
{
    MovieItem& item = sys.movie.currentItem;
    switch (choice.kind) {
    case CaptionChoice::Kind::File:
    case CaptionChoice::Kind::Class:
        // A picture caption file (.sup, VobSub) replaces the text track, and the other way round.
        closeFirstCaption(sys);
        openCaptionFile(sys, choice.path.c_str());
        break;
    case CaptionChoice::Kind::Stream:
        closeFirstCaption(sys);
        if (choice.picture)
            openPictureCaption(sys, nullptr, choice.stream);
        else if (Caption* track = openMovieCaption(sys, nullptr)) {
            beginStreamTrack(track, choice.stream);
            // An SSA/ASS stream is drawn as authored, as at the movie's start.
            if (auto style = sys.movie.currentStream ? sys.movie.currentStream->captionStyle(choice.stream) : nullptr)
                track->authored = platform::AuthoredCaptions::fromStream(*style);
        }
        break;
    case CaptionChoice::Kind::Off:
        closeFirstCaption(sys);
        break;
    }
    boundedCopy(item.caption, choice.label.c_str(), sizeof item.caption);
    sys.movie.captionChoice = choice.key;
    debugLog("Caption choice: %s\n", choice.label.c_str());
    readShownStreams(sys);
}

void showSecond(System& sys, const CaptionChoice& choice)
{
    MovieState& movie = sys.movie;
    switch (choice.kind) {
    case CaptionChoice::Kind::File:
        if (choice.picture)
            openSecondPictureCaption(sys, choice.path.c_str(), -1);
        else
            openSecondCaption(sys, choice.path.c_str());
        break;
    case CaptionChoice::Kind::Class:
        if (Caption* track = openSecondCaption(sys, choice.path.c_str()); track && !track->showClassNamed(choice.className))
            debugLog("Caption choice: %s has no class %s.\n", choice.path.c_str(), choice.className.c_str());
        break;
    case CaptionChoice::Kind::Stream:
        if (choice.picture)
            openSecondPictureCaption(sys, nullptr, choice.stream);
        else
            beginStreamTrack(openSecondCaption(sys, nullptr), choice.stream);
        break;
    case CaptionChoice::Kind::Off:
        closeSecondCaption(sys);
        break;
    }
    const bool off = choice.kind == CaptionChoice::Kind::Off;
    movie.secondChoice = off ? "" : choice.key;
    movie.secondName = off ? "" : choice.label;
    debugLog("Caption choice: second %s\n", choice.label.c_str());
    readShownStreams(sys);
}

// The position of key among choices, or -1.
int positionOf(const std::vector<CaptionChoice>& choices, const std::string& key)
{
    for (size_t i = 0; i < choices.size(); ++i)
        if (choices[i].key == key)
            return static_cast<int>(i);
    return -1;
}

// A remembered shift: decimal, within the 32 bits of a shift.
bool parseShift(const std::string& text, int32_t& shift)
{
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < INT32_MIN || value > INT32_MAX)
        return false;
    shift = static_cast<int32_t>(value);
    return true;
}

}

std::vector<CaptionChoice> firstCaptionChoices(const System& sys)
{
    std::vector<CaptionChoice> choices;
    const MovieState& movie = sys.movie;
    const char* moviePath = movie.currentItem.movie;
    std::vector<std::string> files = captionFilesBeside(moviePath);
    // A list's or a picked caption file, which need not lie beside the movie.
    const MovieItem* listed = movie.movieList ? movie.movieList->cursorItem() : nullptr;
    if (listed && std::strcmp(listed->movie, moviePath) == 0 && listed->caption[0]
        && std::none_of(files.begin(), files.end(), [&](const std::string& f) { return sameFile(f, listed->caption); }))
        choices.push_back(fileChoice(listed->caption, moviePath));
    for (const std::string& file : files) {
        CaptionChoice choice = fileChoice(file, moviePath);
        choice.picture = captionFormatOfFile(file.c_str()).picture;
        choices.push_back(std::move(choice));
    }
    if (endsWithAsf(moviePath)) {
        CaptionChoice script = fileChoice(moviePath, moviePath);
        script.key = "asf";
        script.label = asfScriptLabel;
        choices.push_back(script);
    }
    if (movie.currentStream) {
        for (const CaptionStreamTrack& track : movie.currentStream->captionStreams()) {
            CaptionChoice choice;
            choice.kind = CaptionChoice::Kind::Stream;
            choice.stream = track.index;
            choice.picture = track.picture;
            choice.key = "stream:" + std::to_string(track.index);
            choice.label = streamLabel(track);
            choices.push_back(choice);
        }
    }
    choices.push_back(offChoice());
    return choices;
}

std::vector<CaptionChoice> secondCaptionChoices(const System& sys)
{
    const MovieState& movie = sys.movie;
    std::vector<CaptionChoice> choices;
    for (CaptionChoice& choice : firstCaptionChoices(sys))
        // Picture captions too: the second caption is drawn as the text read from them.
        if (choice.kind != CaptionChoice::Kind::Off && choice.key != movie.captionChoice)
            choices.push_back(std::move(choice));
    // The other languages of the SAMI file the first caption shows.
    const Caption* first = movie.currentCaption.get();
    if (first && !first->isCueTrack() && movie.captionChoice.rfind("file:", 0) == 0) {
        for (size_t i = 0; i < first->classes.size(); ++i) {
            if (static_cast<int>(i) == first->shownClass)
                continue;
            CaptionChoice choice;
            choice.kind = CaptionChoice::Kind::Class;
            choice.path = movie.currentItem.caption;
            choice.className = first->classes[i].name;
            choice.key = "class:" + choice.className;
            choice.label = choice.path + " [" + choice.className + "]";
            choices.push_back(choice);
        }
    }
    choices.push_back(offChoice());
    return choices;
}

void noteShownCaption(System& sys)
{
    sys.movie.captionChoice = loadedKey(sys);
    // The caption given last wins over a choice made before it.
    sys.movie.memoryFields.erase(firstField);
}

void chooseStartCaptions(System& sys)
{
    MovieState& movie = sys.movie;
    movie.captionChoice = loadedKey(sys);
    movie.secondChoice.clear();
    movie.secondName.clear();
    movie.secondShift = 0;
    auto shiftField = movie.memoryFields.find(secondShiftField);
    if (shiftField != movie.memoryFields.end() && !parseShift(shiftField->second, movie.secondShift)) {
        debugLog("Caption choice: shift \"%s\" of the second caption is not a number.\n", shiftField->second.c_str());
        movie.memoryFields.erase(shiftField);
    }
    for (const char* field : { firstField, secondField }) {
        auto remembered = movie.memoryFields.find(field);
        if (remembered == movie.memoryFields.end())
            continue;
        const bool second = field == secondField;
        std::vector<CaptionChoice> choices = second ? secondCaptionChoices(sys) : firstCaptionChoices(sys);
        int position = positionOf(choices, remembered->second);
        if (position < 0) {
            debugLog("Caption choice: the remembered %s is not in the movie.\n", remembered->second.c_str());
            movie.memoryFields.erase(remembered);
            continue;
        }
        const CaptionChoice& choice = choices[static_cast<size_t>(position)];
        if (second)
            showSecond(sys, choice);
        else if (choice.key != movie.captionChoice)
            showFirst(sys, choice);
    }
}

void cycleFirstCaption(System& sys)
{
    std::vector<CaptionChoice> choices = firstCaptionChoices(sys);
    if (choices.size() < 2) {
        debugLog("Caption choice: no caption to choose.\n");
        return;
    }
    const int at = positionOf(choices, sys.movie.captionChoice);
    const CaptionChoice& next = choices[static_cast<size_t>(at + 1) % choices.size()];
    showFirst(sys, next);
    remember(sys, firstField, next.key);
    // The second caption stays, unless it now shows the same.
    if (!sys.movie.secondChoice.empty() && positionOf(secondCaptionChoices(sys), sys.movie.secondChoice) < 0) {
        showSecond(sys, offChoice());
        sys.movie.memoryFields.erase(secondField);
    }
}

void showFirstCaptionFile(System& sys, const std::string& path)
{
    const CaptionChoice choice = fileChoice(path, sys.movie.currentItem.movie);
    showFirst(sys, choice);
    remember(sys, firstField, choice.key);
}

void cycleSecondCaption(System& sys)
{
    std::vector<CaptionChoice> choices = secondCaptionChoices(sys);
    if (choices.size() < 2) {
        debugLog("Caption choice: no second caption to choose.\n");
        return;
    }
    const std::string shown = sys.movie.secondChoice.empty() ? "off" : sys.movie.secondChoice;
    const CaptionChoice& next = choices[static_cast<size_t>(positionOf(choices, shown) + 1) % choices.size()];
    showSecond(sys, next);
    if (next.kind == CaptionChoice::Kind::Off)
        sys.movie.memoryFields.erase(secondField);
    else
        remember(sys, secondField, next.key);
}

void shiftSecondCaption(System& sys, int32_t step)
{
    MovieState& movie = sys.movie;
    movie.secondShift = static_cast<int32_t>(static_cast<uint32_t>(movie.secondShift) + static_cast<uint32_t>(step));
    if (movie.secondShift == 0)
        movie.memoryFields.erase(secondShiftField);
    else
        movie.memoryFields[secondShiftField] = std::to_string(movie.secondShift);
}

void shiftSecondCaptionOrFirst(System& sys, CommandArgument argument)
{
    const int32_t step = static_cast<int32_t>(argument.value);
    if (sys.movie.secondCaption)
        shiftSecondCaption(sys, step);
    else
        sys.movie.currentItem.timeshift =
            static_cast<int32_t>(static_cast<uint32_t>(sys.movie.currentItem.timeshift) + static_cast<uint32_t>(step));
}

uint32_t secondCaptionTime(const System& sys, uint32_t streamTime)
{
    return mapCaptionTime(streamTime, sys.movie.secondShift, 1.0);
}

std::string secondCaptionLine(const System& sys)
{
    if (sys.movie.secondChoice.empty())
        return "";
    // The name is a path, the user's bytes: one that is not UTF-8 is read as the code page's.
    std::string name = sys.movie.secondName;
    if (!platform::isValidUtf8(name))
        name = platform::encodeUtf8(platform::decodeForDisplay(name));
    return " 둘째:" + name + "," + std::to_string(sys.movie.secondShift);
}

}
