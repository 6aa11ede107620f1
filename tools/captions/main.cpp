// sublumen-captions [--shift MS] [--rate R] [--classes | --class NAME] FILE...: loads each caption file
// (SAMI, SUB, ASF script, SubRip, WebVTT, SSA/ASS) into a caption track exactly as the player does and
// prints its entries in the player's own log format, so a file can be
// checked without playing a movie. --class NAME prints what the player shows when that language class of
// a SAMI file is chosen ("*" for all of them stacked); --classes lists the classes with their names,
// languages and entry counts. --shift and --rate print each entry at the movie time the player shows it
// with that caption time shift and rate (the overlay's caption line), instead of at its own start.
// A picture caption file (.sup, .idx, a VobSub .sub) is read as text, as the player reads it, and its
// entries printed like those of a text caption file (a caption the reader finds no text in prints empty);
// --stream N FILE does the same for the picture caption stream numbered N of a movie. The texts read are
// kept in the player's cache, so a file read once prints at once. With --pictures a picture caption file
// prints one line per caption instead: its start, its end (when the next caption or a clearing one
// replaces it, "end" for the last), then each bitmap's position and size on its canvas; --dump DIR writes
// each bitmap as DIR/NNNN-B.png (caption, bitmap, counted from 1), over grey.
// A caption not shown whole gets a line of its own at its time: "dropped: WHY" or "shown in part: WHY".
// --sync-to MOVIE CAPTION syncs the caption file to the speech of the movie as F5 does, prints the map it
// found on its first line ("sync shift=MS rate=R pieces=FROM:DELTA,… clarity=Z coverage=C") and then the
// entries under that map; when the captions do not fit the speech it prints why and exits with 1.
#include "caption/caption.h"
#include "caption/caption_formats.h"
#include "caption/caption_sync.h"
#include "caption/picture_caption.h"
#include "caption/sync_alignment.h"
#include "platform/caption_text_reader.h"
#include "platform/mmstream/movie_scan.h"
#include "platform/mmstream/picture_stream_scan.h"
#include "platform/mmstream/png_encoder.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

using sublumen::Caption;
using sublumen::CaptionEntry;

namespace {

// The caption time shift, rate and pieces the entries are printed under; the entries' own starts by default.
int32_t shownShift = 0;
double shownRate = 1.0;
sublumen::SyncPieces shownPieces;

// The movie time at which the player shows an entry starting at start: the first stream time whose caption
// time reaches it, never before the movie starts. The end of the track stays where it is, alone at its time.
uint32_t shownStart(uint32_t start)
{
    if (start == sublumen::endMarker)
        return start;
    const int64_t at = sublumen::streamTimeOfCaption(start, shownShift, shownRate, shownPieces);
    return static_cast<uint32_t>(std::clamp<int64_t>(at, 0, sublumen::endMarker - 1));
}

void printEntry(uint32_t start, const char* text)
{
    start = shownStart(start);
    std::printf("%02u:%02u.%02u[%10u]:%s\n", start / 60000u, (start / 1000u) % 60u, (start % 1000u) / 10u, start, text);
}

// What the chosen class shows, entry by entry: each time its shown text changes.
void printClass(Caption& track)
{
    std::vector<uint32_t> starts;
    for (const sublumen::CaptionClass& c : track.classes)
        for (const sublumen::ClassEntry& e : c.entries)
            starts.push_back(e.start);
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    std::string last;
    bool first = true;
    for (uint32_t start : starts) {
        const std::string* shown = track.shownTextAt(start);
        if (!shown || (!first && *shown == last))
            continue;
        printEntry(start, shown->c_str());
        last = *shown;
        first = false;
    }
    printEntry(sublumen::endMarker, "");
}

void printTime(uint32_t t)
{
    std::printf("%02u:%02u.%02u[%10u]", t / 60000u, (t / 1000u) % 60u, (t % 1000u) / 10u, t);
}

// Writes the bitmap over a mid grey, which shows both the light fill and the dark edge of a caption.
bool dumpBitmap(const platform::CaptionBitmap& bitmap, const std::string& path)
{
    platform::Surface picture(bitmap.width, bitmap.height, platform::PixelFormat::XRGB8888);
    for (int y = 0; y < bitmap.height; ++y)
        for (int x = 0; x < bitmap.width; ++x)
            platform::writePixel(picture, x, y, 0x808080);
    std::vector<uint32_t> pixels = sublumen::scaleCaptionBitmap(bitmap, bitmap.width, bitmap.height);
    sublumen::blendPremultiplied(picture, 0, 0, bitmap.width, bitmap.height, pixels.data());
    std::vector<uint8_t> png;
    if (!platform::encodePng(picture, png))
        return false;
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    bool written = std::fwrite(png.data(), 1, png.size(), out) == png.size();
    return std::fclose(out) == 0 && written;
}

// The captions of a picture caption file; 1 when it could not be read or a bitmap not written.
int printPictures(const char* file, const std::string& dumpDir)
{
    sublumen::PictureCaption track(file);
    if (track.loadResult < 0) {
        std::fprintf(stderr, "sublumen-captions: %s: no picture captions could be read\n", file);
        return 1;
    }
    int status = 0;
    const auto& entries = track.entries();
    size_t shown = 0;
    size_t dropsPrinted = 0;
    // The drops up to time t, in their place among the captions.
    auto printDropsUntil = [&](uint32_t t) {
        for (; dropsPrinted < track.drops.size(); ++dropsPrinted) {
            const platform::CaptionDrop& drop = track.drops[dropsPrinted];
            const auto at = std::chrono::duration_cast<std::chrono::milliseconds>(drop.at).count();
            const uint32_t ms = static_cast<uint32_t>(std::clamp<int64_t>(at, 0, sublumen::endMarker - 1));
            if (ms > t)
                return;
            printTime(shownStart(ms));
            std::printf(" %s: %s\n", drop.whole ? "dropped" : "shown in part", drop.why.c_str());
        }
    };
    for (size_t i = 0; i < entries.size(); ++i) {
        const auto& e = entries[i];
        printDropsUntil(e.start);
        if (e.picture->bitmaps.empty())
            continue;
        ++shown;
        uint32_t end = e.end;
        if (i + 1 < entries.size())
            end = std::min(end, entries[i + 1].start);
        printTime(shownStart(e.start));
        std::printf(" ");
        if (end == sublumen::endMarker)
            std::printf("end");
        else
            printTime(shownStart(end));
        std::printf(" %dx%d:", e.picture->canvasWidth, e.picture->canvasHeight);
        for (size_t b = 0; b < e.picture->bitmaps.size(); ++b) {
            const platform::CaptionBitmap& bitmap = e.picture->bitmaps[b];
            std::printf(" %d,%d %dx%d%s", bitmap.x, bitmap.y, bitmap.width, bitmap.height,
                bitmap.forced ? " forced" : "");
            if (!dumpDir.empty()) {
                char name[32];
                std::snprintf(name, sizeof name, "/%04zu-%zu.png", shown, b + 1);
                if (!dumpBitmap(bitmap, dumpDir + name)) {
                    std::fprintf(stderr, "sublumen-captions: cannot write %s%s\n", dumpDir.c_str(), name);
                    status = 1;
                }
            }
        }
        std::printf("\n");
    }
    printDropsUntil(sublumen::endMarker);
    return status;
}

// The picture captions of a file, or of the movie's stream numbered stream, read as text and printed as
// entries; 1 when they could not be read.
int printReadPictures(const char* file, int stream)
{
    std::unique_ptr<sublumen::PictureCaption> pictures;
    if (stream < 0) {
        pictures = std::make_unique<sublumen::PictureCaption>(file);
        if (pictures->loadResult < 0) {
            std::fprintf(stderr, "sublumen-captions: %s: no picture captions could be read\n", file);
            return 1;
        }
    } else {
        pictures = std::make_unique<sublumen::PictureCaption>();
        std::vector<platform::CaptionPictureHandle> found;
        platform::PictureCaptionFile read = platform::PictureStreamScan::readWhole(
            file, stream, [&](platform::CaptionPictureHandle picture) { found.push_back(std::move(picture)); });
        if (!read.opened) {
            std::fprintf(stderr, "sublumen-captions: %s: stream %d: %s\n", file, stream, read.failure.c_str());
            return 1;
        }
        pictures->language = read.language;
        pictures->addPictures(std::move(found));
    }
    Caption track(nullptr);
    track.beginPictureTrack(std::move(pictures));
    platform::CaptionTextReader reader(platform::CaptionTextReader::defaultCacheFile());
    std::unique_ptr<platform::CaptionReadingTrack> reading = reader.addTrack(track.pictures->language);
    std::vector<std::pair<uint32_t, platform::CaptionPictureHandle>> unread;
    for (uint32_t start : track.pictures->takeUnread())
        unread.emplace_back(start, track.pictures->entryAt(start)->picture);
    reading->submit(std::move(unread));
    reader.waitIdle();
    std::string why;
    if (reading->unreadable(&why)) {
        std::fprintf(stderr, "sublumen-captions: %s: cannot be read as text (%s)\n", file, why.c_str());
        return 1;
    }
    for (platform::ReadCaptionText& read : reading->takeTexts())
        track.setPictureText(read.start, *read.picture, std::move(read.text));
    for (const sublumen::ListNode* node = track.entries; node; node = node->next) {
        const auto* entry = static_cast<const CaptionEntry*>(node->data);
        printEntry(entry->start, entry->text);
    }
    return 0;
}

bool wholeNumber(const char* text, long long low, long long high, long long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text, &end, 10);
    return *text != '\0' && *end == '\0' && errno == 0 && value >= low && value <= high;
}

int usage()
{
    std::fprintf(stderr,
        "usage: sublumen-captions [--shift MS] [--rate R] [--pictures] [--dump DIR] [--classes | --class NAME] FILE...\n"
        "       sublumen-captions [--shift MS] [--rate R] --stream N MOVIE\n"
        "       sublumen-captions --sync-to MOVIE CAPTION\n");
    return 2;
}

// Why the captions could not be placed, as the first line says it.
const char* refusalText(sublumen::AlignmentVerdict verdict)
{
    switch (verdict) {
    case sublumen::AlignmentVerdict::TooFewCaptions:
        return "fewer than two captions";
    case sublumen::AlignmentVerdict::NoActivity:
        return "no speech found in the movie";
    case sublumen::AlignmentVerdict::NoFit:
        return "the captions do not fit the speech";
    case sublumen::AlignmentVerdict::Cancelled:
        return "cancelled";
    case sublumen::AlignmentVerdict::Fitted:
        break;
    }
    return "";
}

// F5 without a window: the movie's sound read, where someone speaks found, the captions placed on it.
int syncTo(const char* movie, const char* captionFile)
{
    Caption track(captionFile);
    if (track.loadResult < 0) {
        std::printf("sync refused: %s cannot be read (load Fail %d)\n", captionFile, track.loadResult);
        return 1;
    }
    platform::MovieScanRequest request;
    request.path = movie;
    request.audioStream = platform::defaultAudioStream;
    std::atomic<bool> cancelled { false };
    platform::MovieScanResult scan = platform::scanMovie(request, cancelled);
    switch (scan.outcome) {
    case platform::ScanOutcome::CannotOpen:
        std::printf("sync refused: %s cannot be read as a movie\n", movie);
        return 1;
    case platform::ScanOutcome::NoSound:
        std::printf("sync refused: %s has no sound that can be decoded\n", movie);
        return 1;
    case platform::ScanOutcome::ReadFailed:
        std::fprintf(stderr, "sublumen-captions: %s could be read up to %lld ms only\n", movie,
            static_cast<long long>(scan.soundRead.count() / 10000));
        break;
    case platform::ScanOutcome::Done:
    case platform::ScanOutcome::Cancelled:
        break;
    }
    const sublumen::Alignment found = sublumen::alignCaptions(scan.speech, sublumen::captionSpans(track));
    if (found.verdict != sublumen::AlignmentVerdict::Fitted) {
        std::printf("sync refused: %s (clarity %.1f lead %.2f)\n", refusalText(found.verdict), found.clarity, found.lead);
        return 1;
    }
    std::printf("sync shift=%d rate=%s pieces=%s clarity=%.1f lead=%.2f coverage=%.3f\n", found.shift,
        sublumen::captionRateText(found.rate).c_str(), sublumen::syncPiecesText(found.pieces).c_str(), found.clarity,
        found.lead, found.coverage);
    shownShift = found.shift;
    shownRate = found.rate;
    shownPieces = found.pieces;
    for (const sublumen::ListNode* node = track.entries; node; node = node->next) {
        const auto* entry = static_cast<const CaptionEntry*>(node->data);
        printEntry(entry->start, entry->text);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--sync-to") == 0)
        return argc == 4 ? syncTo(argv[2], argv[3]) : usage();
    enum class Mode { Track, Classes, Class } mode = Mode::Track;
    std::string className;
    std::string dumpDir;
    bool listPictures = false;
    long long stream = -1;
    int firstFile = 1;
    for (; firstFile + 1 < argc; firstFile += 2) {
        const char* option = argv[firstFile];
        const char* value = argv[firstFile + 1];
        long long shift = 0;
        if (std::strcmp(option, "--pictures") == 0) {
            listPictures = true;
            --firstFile;
        } else if (std::strcmp(option, "--stream") == 0) {
            if (!wholeNumber(value, 0, INT32_MAX, stream)) {
                std::fprintf(stderr, "sublumen-captions: --stream %s is not a stream number\n", value);
                return 2;
            }
        } else if (std::strcmp(option, "--shift") == 0) {
            if (!wholeNumber(value, INT32_MIN, INT32_MAX, shift)) {
                std::fprintf(stderr, "sublumen-captions: --shift %s is not a shift in milliseconds\n", value);
                return 2;
            }
            shownShift = static_cast<int32_t>(shift);
        } else if (std::strcmp(option, "--rate") == 0) {
            std::optional<double> rate = sublumen::parseCaptionRate(value);
            if (!rate) {
                std::fprintf(stderr, "sublumen-captions: --rate %s is not a rate within %g and %g\n", value,
                    sublumen::slowestCaptionRate, sublumen::fastestCaptionRate);
                return 2;
            }
            shownRate = *rate;
        } else if (std::strcmp(option, "--dump") == 0) {
            dumpDir = value;
        } else {
            break;
        }
    }
    if (firstFile < argc && std::strcmp(argv[firstFile], "--classes") == 0) {
        mode = Mode::Classes;
        ++firstFile;
    } else if (firstFile + 1 < argc && std::strcmp(argv[firstFile], "--class") == 0) {
        mode = Mode::Class;
        className = argv[firstFile + 1];
        firstFile += 2;
    }
    if (firstFile >= argc)
        return usage();
    if (stream >= 0) {
        if (argc - firstFile != 1)
            return usage();
        const int read = printReadPictures(argv[firstFile], static_cast<int>(stream));
        return std::fflush(stdout) == 0 ? read : 1;
    }
    int status = 0;
    const int files = argc - firstFile;
    for (int i = firstFile; i < argc; ++i) {
        // Several files are told apart by a heading, as head(1) does; one file prints its entries alone.
        if (files > 1)
            std::printf("%s==> %s <==\n", i > firstFile ? "\n" : "", argv[i]);
        if (sublumen::captionFormatOfFile(argv[i]).picture) {
            status |= listPictures || !dumpDir.empty() ? printPictures(argv[i], dumpDir) : printReadPictures(argv[i], -1);
            continue;
        }
        Caption track(argv[i]);
        if (mode == Mode::Classes) {
            for (const sublumen::CaptionClass& c : track.classes)
                std::printf("%s\t%s\t%s\t%d\n", c.name.c_str(), c.title.c_str(), c.lang.c_str(), c.ownEntries);
        } else if (mode == Mode::Class && !track.classes.empty()) {
            if (track.showClassNamed(className)) {
                printClass(track);
            } else {
                std::fprintf(stderr, "sublumen-captions: %s has no class %s\n", argv[i], className.c_str());
                status = 1;
            }
        } else {
            // Without classes the whole track is what is shown, whichever class was asked for.
            for (const sublumen::ListNode* node = track.entries; node; node = node->next) {
                const auto* entry = static_cast<const CaptionEntry*>(node->data);
                printEntry(entry->start, entry->text);
            }
        }
        if (track.loadResult < 0) {
            std::printf("Caption:: load Fail %d.\n", track.loadResult);
            status = 1;
        }
    }
    return std::fflush(stdout) == 0 ? status : 1;
}
