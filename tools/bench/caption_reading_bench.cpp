// Picture captions read as text, measured on captions of known text made here: each line drawn by the
// player's caption drawing (white letters in a black outline) into a PGS file and a VobSub pair, at 1080p
// and 480p, in Korean and in English (tools/fixtures/text_caption_pictures.h).
//
// 1. Accuracy: the character error rate (edits to turn the text read into the true text, over the true
//    text's characters; a line break counts as a blank) by format, size and language, each set read whole.
// 2. A whole track: CAPTIONS captions (default 1500, one or two lines each, over two hours) of 1080p PGS
//    read from its start, as the CPU time the reader took (it reads on one thread) and the time it took.
// 3. The first two minutes: the same track played from its middle: how long until every caption from 5 s
//    before to 2 minutes after is read, from the start (the reader's data loaded then) and after a seek
//    to three quarters (the reader already loaded).
// Nothing is kept in the cache: every figure is of reading.
//
// Usage: caption_reading_bench [CAPTIONS]. Files go to $BENCH_DIR (default /tmp/sublumen-reading).
#include "caption/caption.h"
#include "caption/picture_caption.h"
#include "platform/caption_text_reader.h"
#include "platform/gdi/text_decoding.h"
#include "text_caption_pictures.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

std::u32string codePoints(const std::string& utf8)
{
    std::u32string out;
    for (char32_t c : platform::decodeText(utf8, platform::TextEncoding::Utf8))
        out += c == U'\n' ? U' ' : c;
    return out;
}

size_t editDistance(const std::u32string& a, const std::u32string& b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({ row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1) });
            diagonal = above;
        }
    }
    return row[b.size()];
}

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double since(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

struct Track {
    sublumen::Caption text { nullptr };
    std::unique_ptr<platform::CaptionReadingTrack> reading;
};

// Loads the file into a track and queues every caption for reading.
std::unique_ptr<Track> loadTrack(platform::CaptionTextReader& reader, const std::string& file, uint32_t position)
{
    auto track = std::make_unique<Track>();
    track->text.beginPictureTrack(std::make_unique<sublumen::PictureCaption>(file.c_str()));
    track->reading = reader.addTrack(track->text.pictures->language);
    track->reading->setPosition(position);
    std::vector<std::pair<uint32_t, platform::CaptionPictureHandle>> unread;
    for (uint32_t start : track->text.pictures->takeUnread())
        unread.emplace_back(start, track->text.pictures->entryAt(start)->picture);
    track->reading->submit(std::move(unread));
    return track;
}

void takeTexts(Track& track)
{
    for (platform::ReadCaptionText& read : track.reading->takeTexts())
        track.text.setPictureText(read.start, *read.picture, std::move(read.text));
}

std::string writeSet(const std::filesystem::path& dir, const std::string& name, fixtures::TextPictureRecipe recipe,
    const std::vector<fixtures::TextCaption>& captions)
{
    const std::string path = (dir / (name + (recipe.format == fixtures::TextPictureFormat::Pgs ? ".sup" : ".idx"))).string();
    const std::string error = fixtures::writeTextCaptionPictures(path, recipe, captions);
    if (!error.empty()) {
        std::fprintf(stderr, "caption_reading_bench: %s: %s\n", path.c_str(), error.c_str());
        std::exit(1);
    }
    return path;
}

void accuracy(const std::filesystem::path& dir)
{
    std::printf("character error rate (edits / true characters), %zu Korean and %zu English captions a set\n",
        fixtures::koreanSampleLines().size(), fixtures::englishSampleLines().size());
    std::printf("%-8s %-6s %-8s %8s %8s %7s\n", "format", "size", "language", "chars", "errors", "CER");
    struct Size {
        const char* name;
        int width, height;
    };
    for (auto format : { fixtures::TextPictureFormat::Pgs, fixtures::TextPictureFormat::VobSub })
        for (Size size : { Size { "1080p", 1920, 1080 }, Size { "480p", 720, 480 } })
            for (bool korean : { true, false }) {
                const auto& lines = korean ? fixtures::koreanSampleLines() : fixtures::englishSampleLines();
                std::vector<fixtures::TextCaption> captions = fixtures::sampleCaptions(lines, lines.size(), 3000);
                fixtures::TextPictureRecipe recipe;
                recipe.format = format;
                recipe.canvasWidth = size.width;
                recipe.canvasHeight = size.height;
                recipe.language = korean ? "ko" : "en";
                const std::string name = std::string(korean ? "kor-" : "eng-") + size.name;
                const std::string file = writeSet(dir, name, recipe, captions);
                platform::CaptionTextReader reader("");
                auto track = loadTrack(reader, file, 0);
                reader.waitIdle();
                takeTexts(*track);
                size_t chars = 0, errors = 0;
                for (const fixtures::TextCaption& c : captions) {
                    const auto* entry = track->text.pictures->entryAt(c.startMs);
                    const std::u32string truth = codePoints(c.text);
                    const std::u32string read = codePoints(entry && entry->text ? *entry->text : "");
                    const size_t d = editDistance(read, truth);
                    chars += truth.size();
                    errors += d;
                    if (d && std::getenv("SHOW_ERRORS"))
                        std::printf("  [%s] read \"%s\" for \"%s\"\n", name.c_str(), entry && entry->text ? entry->text->c_str() : "",
                            c.text.c_str());
                }
                std::printf("%-8s %-6s %-8s %8zu %8zu %6.2f%%\n",
                    format == fixtures::TextPictureFormat::Pgs ? "PGS" : "VobSub", size.name,
                    korean ? "Korean" : "English", chars, errors, 100.0 * errors / chars);
                std::fflush(stdout);
            }
}

void wholeTrack(const std::filesystem::path& dir, size_t count)
{
    // Two hours: a caption every 4.8 s for 1500.
    const uint32_t spacing = static_cast<uint32_t>(7200000 / count);
    fixtures::TextPictureRecipe recipe;
    recipe.language = "ko";
    std::vector<fixtures::TextCaption> captions = fixtures::sampleCaptions(fixtures::koreanSampleLines(), count, spacing);
    const std::string file = writeSet(dir, "track-kor-1080p", recipe, captions);

    {
        platform::CaptionTextReader reader("");
        const double cpu = cpuSeconds();
        const auto wall = std::chrono::steady_clock::now();
        auto track = loadTrack(reader, file, 0);
        reader.waitIdle();
        std::printf("\nwhole track: %zu Korean captions of 1080p PGS read in %.1f s of CPU, %.1f s\n", count,
            cpuSeconds() - cpu, since(wall));
        std::fflush(stdout);
    }

    // The first two minutes from the middle, then from three quarters.
    platform::CaptionTextReader reader("");
    auto firstSpanRead = [&](Track& track, uint32_t position) {
        const auto wall = std::chrono::steady_clock::now();
        track.reading->setPosition(position);
        const uint32_t from = position - platform::CaptionTextReader::firstSpanBefore;
        const uint32_t to = position + platform::CaptionTextReader::firstSpan;
        for (;;) {
            takeTexts(track);
            bool all = true;
            for (const auto& e : track.text.pictures->entries())
                if (e.start >= from && e.start <= to && !e.text && !e.picture->bitmaps.empty())
                    all = false;
            if (all)
                return since(wall);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };
    const double start = firstSpanRead(*loadTrack(reader, file, 3600000), 3600000);
    auto track = loadTrack(reader, file, 3600000);
    // Let it read on a while, as a movie plays, then seek.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double seek = firstSpanRead(*track, 5400000);
    std::printf("first two minutes (%zu captions): ready %.2f s after the start (data loaded then), %.2f s after a seek\n",
        static_cast<size_t>(125000 / spacing), start, seek);
}

}

int main(int argc, char** argv)
{
    const size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1500;
    const char* base = std::getenv("BENCH_DIR");
    const std::filesystem::path dir = base ? base : "/tmp/sublumen-reading";
    std::filesystem::create_directories(dir);
    accuracy(dir);
    if (count > 0)
        wholeTrack(dir, count);
    return 0;
}
