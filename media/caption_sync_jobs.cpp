#include "media/caption_sync_jobs.h"

#include "app/debug_log.h"
#include "app/system.h"
#include "caption/caption.h"
#include "caption/caption_saving.h"
#include "caption/node_list.h"
#include "caption/picture_caption.h"
#include "caption/sync_alignment.h"
#include "caption/text_cues.h"
#include "display/notice.h"
#include "media/caption_choice.h"
#include "media/media_stream.h"
#include "media/movie_session.h"
#include "platform/kernel.h"
#include "platform/mmstream/movie_scan.h"
#include "platform/window/window.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sublumen {

namespace {

// How long the status bar tells a job's outcome.
constexpr uint32_t noticeSeconds = 5;

enum class JobKind { Speech, Track, Save };

// Where the first caption's captions come from.
enum class Source {
    None,
    Entries, // a text caption file, or an ASF file's script: the track's entries
    Pictures, // a picture caption file: its pictures
    Stream, // a caption stream of the movie (text or pictures), read whole by the job
};

struct ShownCaption {
    Source source = Source::None;
    int32_t stream = -1;
    bool picture = false;
    std::string language;
    std::vector<CaptionSpan> spans; // Entries and Pictures
};

// The caption stream the movie reads by itself: the first decoded, -1 when none is.
int32_t decodedStream(const MediaStream& stream)
{
    std::vector<int32_t> decoded;
    stream.captionStreams(&decoded);
    return decoded.empty() ? -1 : decoded.front();
}

std::string languageOf(const MediaStream& stream, int32_t index)
{
    for (const CaptionStreamTrack& track : stream.captionStreams())
        if (track.index == index)
            return track.language;
    return "";
}

std::vector<CaptionSpan> pictureSpans(const PictureCaption& track)
{
    std::vector<CaptionSpan> spans;
    const auto& entries = track.entries();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].picture->bitmaps.empty())
            continue;
        uint32_t end = entries[i].end;
        if (i + 1 < entries.size())
            end = std::min(end, entries[i + 1].start);
        if (end == endMarker)
            end = entries[i].start + 5000;
        if (end > entries[i].start)
            spans.push_back({ entries[i].start, end });
    }
    return spans;
}

ShownCaption shownCaption(const System& sys)
{
    const MovieState& movie = sys.movie;
    ShownCaption shown;
    const MediaStream* stream = movie.currentStream.get();
    if (const Caption* caption = movie.currentCaption.get(); caption && caption->pictures) {
        // Picture captions are placed by their pictures, whether read as text yet or not.
        shown.picture = true;
        if (caption->pictures->stream >= 0) {
            shown.source = Source::Stream;
            shown.stream = caption->pictures->stream;
        } else {
            shown.source = Source::Pictures;
            shown.spans = pictureSpans(*caption->pictures);
        }
    } else if (caption) {
        if (caption->isCueTrack()) {
            shown.source = Source::Stream;
            shown.stream = caption->cueStream >= 0 ? caption->cueStream : stream ? decodedStream(*stream) : -1;
        } else {
            shown.source = Source::Entries;
            shown.spans = captionSpans(*caption);
        }
    }
    if (shown.source == Source::Stream && (shown.stream < 0 || !stream))
        shown.source = Source::None;
    if (shown.source == Source::Stream)
        shown.language = languageOf(*stream, shown.stream);
    return shown;
}

uint32_t milliseconds(platform::MediaTime t)
{
    const int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(t).count();
    return static_cast<uint32_t>(std::clamp<int64_t>(ms, 0, endMarker - 1));
}

const uint32_t indexedMilliseconds = milliseconds(platform::indexedCaptionLength);

// The captions a scan read of one stream: texts made plain, pictures with no text.
std::vector<TextCue> cuesOf(const platform::MovieScanResult& result, int32_t stream)
{
    std::vector<TextCue> cues;
    for (const platform::CaptionText& c : result.captions) {
        if (c.stream == stream)
            cues.push_back({ milliseconds(c.start), milliseconds(c.end), plainCueText(c.text, c.assLine) });
    }
    return cues;
}

std::vector<CaptionSpan> spansOf(const std::vector<TextCue>& cues, bool pictures, int32_t lateBy)
{
    std::vector<CaptionSpan> spans;
    for (const TextCue& cue : cues) {
        if (cue.end <= cue.start || (!pictures && cue.text.find_first_not_of(" \t\r\n") == std::string::npos))
            continue;
        const int64_t start = static_cast<int64_t>(cue.start) - lateBy;
        const int64_t end = static_cast<int64_t>(cue.end) - lateBy;
        if (end > 0)
            spans.push_back({ static_cast<uint32_t>(std::max<int64_t>(start, 0)), static_cast<uint32_t>(end) });
    }
    return spans;
}

}

class CaptionJob {
public:
    JobKind kind = JobKind::Speech;
    // The movie and the first caption it was started for.
    std::string movie;
    std::string choice;
    std::string label;
    ShownCaption shown;
    // The reference of Shift+F5: a stream to read, or the spans of the second caption (movie time).
    int32_t referenceStream = -1;
    int32_t referenceLate = 0;
    bool referencePicture = false;
    // Written by the worker before the scan counts as finished.
    Alignment alignment;
    std::atomic<bool> changed { true };
    // Last, so that the worker is gone before anything it writes to.
    std::unique_ptr<platform::MovieScan> scan;
};

void EndCaptionJob::operator()(CaptionJob* job) const { delete job; }

namespace {

void notice(System& sys, std::string text)
{
    debugLog("Caption job: %s\n", text.c_str());
    showNotice(sys, std::move(text), noticeSeconds);
}

// Ends the running job, if any; true when there was one.
bool endJob(System& sys, const char* why)
{
    CaptionJobHandle& running = sys.movie.captionJobs.running;
    if (!running)
        return false;
    debugLog("Caption job: ended (%s).\n", why);
    running.reset();
    return true;
}

// Starts job reading request, then placing its captions (sync jobs) on the worker.
void startJob(System& sys, CaptionJobHandle job, platform::MovieScanRequest request, std::vector<CaptionSpan> reference)
{
    CaptionJob* j = job.get();
    platform::MovieScan::Finish finish;
    if (j->kind != JobKind::Save) {
        finish = [j, reference = std::move(reference)](
                     platform::MovieScanResult& result, const std::atomic<bool>& cancelled) {
            if (result.outcome == platform::ScanOutcome::Cancelled
                || result.outcome == platform::ScanOutcome::CannotOpen
                || result.outcome == platform::ScanOutcome::NoSound)
                return;
            // Captions taken from the movie's index have their times only: none is left out for want of text.
            const bool timesOnly = result.fromIndex;
            std::vector<CaptionSpan> spans = j->shown.source == Source::Stream
                ? spansOf(cuesOf(result, j->shown.stream), j->shown.picture || timesOnly, 0)
                : j->shown.spans;
            std::vector<uint8_t> activity;
            if (j->kind == JobKind::Speech) {
                activity = std::move(result.speech);
            } else {
                std::vector<CaptionSpan> against = j->referenceStream >= 0
                    ? spansOf(cuesOf(result, j->referenceStream), j->referencePicture || timesOnly, j->referenceLate)
                    : reference;
                if (timesOnly) {
                    // The index tells no ends: both sides end by its rule, so that neither side's lengths
                    // pull the placement.
                    spans = spansEndedWithin(std::move(spans), indexedMilliseconds);
                    against = spansEndedWithin(std::move(against), indexedMilliseconds);
                }
                activity = activityOfSpans(against);
            }
            j->alignment = alignCaptions(activity, std::move(spans), [&] { return cancelled.load(); });
        };
    }
    HWND window = sys.window.mainWindow;
    auto wake = [j, window] {
        j->changed.store(true);
        if (window)
            platform::postMessageFromThread(window, WM_CAPTIONJOB, 0, 0);
    };
    j->scan = std::make_unique<platform::MovieScan>(std::move(request), std::move(finish), std::move(wake));
    sys.movie.captionJobs.running = std::move(job);
}

// A new job for the shown movie and first caption; none (with the reason told) when there is nothing to
// work on.
CaptionJobHandle newJob(System& sys, JobKind kind, const char* refusal)
{
    MovieState& movie = sys.movie;
    if (!movie.currentStream) {
        debugLog("Caption job: no movie.\n");
        return nullptr;
    }
    CaptionJobHandle job(new CaptionJob);
    job->kind = kind;
    job->movie = movie.currentItem.movie;
    job->choice = movie.captionChoice;
    job->label = movie.currentItem.caption;
    job->shown = shownCaption(sys);
    if (job->shown.source == Source::None) {
        notice(sys, std::string(refusal) + ": 자막 없음");
        return nullptr;
    }
    return job;
}

std::string signedSeconds(int32_t ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%+.1f초", ms / 1000.0);
    return text;
}

// The outcome of a finished sync job, applied when the captions were placed.
void finishSync(System& sys, CaptionJob& job)
{
    const platform::MovieScanResult& scan = job.scan->result();
    const bool speech = job.kind == JobKind::Speech;
    switch (scan.outcome) {
    case platform::ScanOutcome::CannotOpen:
        notice(sys, "싱크 못 맞춤: 영화를 읽을 수 없음");
        return;
    case platform::ScanOutcome::NoSound:
        notice(sys, "싱크 못 맞춤: 소리를 읽을 수 없음");
        return;
    case platform::ScanOutcome::Cancelled:
        return;
    case platform::ScanOutcome::ReadFailed:
        debugLog("Caption sync: the movie could be read up to %u ms only.\n", milliseconds(scan.soundRead));
        break;
    case platform::ScanOutcome::Done:
        break;
    }
    if (speech && scan.soundErrors)
        debugLog("Caption sync: %d packets of sound could not be decoded.\n", scan.soundErrors);
    const Alignment& a = job.alignment;
    debugLog(
        "Caption sync: verdict %d, clarity %.1f, coverage %.2f.\n", static_cast<int>(a.verdict), a.clarity, a.coverage);
    switch (a.verdict) {
    case AlignmentVerdict::Cancelled:
        return;
    case AlignmentVerdict::TooFewCaptions:
        notice(sys, "싱크 못 맞춤: 자막이 너무 적음");
        return;
    case AlignmentVerdict::NoActivity:
        notice(sys, speech ? "싱크 못 맞춤: 말소리를 찾지 못함" : "싱크 못 맞춤: 기준 자막이 비어 있음");
        return;
    case AlignmentVerdict::NoFit:
        notice(sys, speech ? "싱크 못 맞춤: 자막이 말소리와 맞지 않음" : "싱크 못 맞춤: 자막이 기준 자막과 맞지 않음");
        return;
    case AlignmentVerdict::Fitted:
        break;
    }
    setMovieSync(sys.movie, a.shift, a.rate, a.pieces);
    std::string text = "싱크 맞춤: " + signedSeconds(a.shift);
    if (a.rate != 1.0) {
        char rate[32];
        std::snprintf(rate, sizeof rate, " 속도 %.3f", a.rate);
        text += rate;
    }
    if (!a.pieces.empty())
        text += " 구간 " + std::to_string(a.pieces.size() + 1);
    debugLog("Caption sync: shift %d, rate %.6f, pieces %s.\n", a.shift, a.rate, syncPiecesText(a.pieces).c_str());
    notice(sys, std::move(text));
}

// The movie's sync as a move of caption times, the list's own shift kept.
CaptionTimeMove shownTimeMove(const MovieState& movie)
{
    return captionTimeMove(movie.currentItem.timeshift, movie.captionRate, movie.syncPieces, movie.listTimeshift);
}

// After a save: the saved file is shown, and the sync is back at the list's own shift since the file
// carries the rest.
void showSaved(System& sys, const CaptionSaving& saving, bool sameFile)
{
    MovieState& movie = sys.movie;
    const std::string shownClass = movie.currentCaption ? movie.currentCaption->shownClassName() : "";
    setMovieSync(movie, movie.listTimeshift, 1.0, {});
    if (sameFile) {
        closeFirstCaption(sys);
        openCaptionFile(sys, saving.path.c_str());
        if (!shownClass.empty() && movie.currentCaption)
            movie.currentCaption->showClassNamed(shownClass);
    } else {
        showFirstCaptionFile(sys, saving.path);
    }
    const size_t slash = saving.path.rfind('/');
    notice(sys, "자막 저장: " + saving.path.substr(slash == std::string::npos ? 0 : slash + 1));
}

void tellSaving(System& sys, const CaptionSaving& saving, bool sameFile)
{
    if (saving.saved) {
        if (!saving.detail.empty())
            debugLog("Caption save: %s: %s.\n", saving.path.c_str(), saving.detail.c_str());
        showSaved(sys, saving, sameFile);
        return;
    }
    debugLog("Caption save: %s not saved: %s.\n", saving.path.c_str(), saving.detail.c_str());
    notice(sys, "자막 저장 실패: " + saving.failure);
}

// Picture captions are saved as the text read from them, a new SubRip file beside the movie, once every
// caption is read: a file with holes would pass for a whole one.
void savePictureText(System& sys, const PictureCaption& pictures)
{
    const MovieState& movie = sys.movie;
    size_t unread = 0;
    std::vector<TextCue> cues;
    const auto& entries = pictures.entries();
    for (size_t i = 0; i < entries.size(); ++i) {
        const PictureCaption::Entry& e = entries[i];
        // A caption without bitmaps clears the screen.
        if (e.picture->bitmaps.empty())
            continue;
        if (!e.text) {
            ++unread;
            continue;
        }
        uint32_t end = e.end;
        if (i + 1 < entries.size())
            end = std::min(end, entries[i + 1].start);
        // The last one stays until the movie ends.
        if (end == endMarker)
            end = std::max(movie.movieDuration, e.start + 1);
        if (e.text->find_first_not_of(" \t\r\n") != std::string::npos && end > e.start)
            cues.push_back({ e.start, end, *e.text });
    }
    if (unread > 0 || (pictures.scan && !pictures.scan->finished())) {
        debugLog("Caption save: %zu of the picture captions not read yet.\n", unread);
        notice(sys, "자막 저장 실패: 그림 자막 읽는 중");
        return;
    }
    if (cues.empty()) {
        notice(sys, "자막 저장 실패: 그림 자막에서 읽은 글자 없음");
        return;
    }
    tellSaving(sys, saveCuesAsSubRip(subRipPathFor(movie.currentItem.movie, pictures.language), std::move(cues),
                        shownTimeMove(movie)),
        false);
}

void finishSave(System& sys, CaptionJob& job)
{
    const platform::MovieScanResult& scan = job.scan->result();
    if (scan.outcome == platform::ScanOutcome::Cancelled)
        return;
    if (scan.outcome != platform::ScanOutcome::Done) {
        notice(sys, "자막 저장 실패: 자막을 읽을 수 없음");
        return;
    }
    const std::string path = subRipPathFor(job.movie, job.shown.language);
    tellSaving(sys, saveCuesAsSubRip(path, cuesOf(scan, job.shown.stream), shownTimeMove(sys.movie)), false);
}

// Starts a sync job of kind; a second press while one runs ends it instead.
void startSync(System& sys, JobKind kind)
{
    if (endJob(sys, "pressed again"))
        return;
    const char* refusal = "싱크 못 맞춤";
    CaptionJobHandle job = newJob(sys, kind, refusal);
    if (!job)
        return;
    MovieState& movie = sys.movie;
    MediaStream& stream = *movie.currentStream;
    platform::MovieScanRequest request;
    request.path = job->movie;
    std::vector<CaptionSpan> reference;
    if (job->shown.source == Source::Stream)
        request.captionStreams.push_back(job->shown.stream);
    if (kind == JobKind::Speech) {
        request.audioStream = stream.heardAudio();
        if (request.audioStream < 0) {
            notice(sys, std::string(refusal) + ": 소리 없음");
            return;
        }
    } else if (const Caption* second = movie.secondCaption.get(); second && !movie.secondChoice.empty()) {
        // The second caption as shown: its captions at stream time = caption time - its own shift.
        job->referenceLate = movie.secondShift;
        if (second->isCueTrack() && second->cueStream >= 0) {
            job->referenceStream = second->cueStream;
        } else {
            for (const CaptionSpan& s : captionSpans(*second)) {
                const int64_t start = static_cast<int64_t>(s.start) - movie.secondShift;
                const int64_t end = static_cast<int64_t>(s.end) - movie.secondShift;
                if (end > 0)
                    reference.push_back(
                        { static_cast<uint32_t>(std::max<int64_t>(start, 0)), static_cast<uint32_t>(end) });
            }
        }
    } else {
        // The first caption stream of the movie that is not the one shown.
        for (const CaptionStreamTrack& track : stream.captionStreams()) {
            if (job->shown.source != Source::Stream || track.index != job->shown.stream) {
                job->referenceStream = track.index;
                job->referencePicture = track.picture;
                break;
            }
        }
        if (job->referenceStream < 0) {
            notice(sys, std::string(refusal) + ": 기준 자막 없음");
            return;
        }
    }
    if (job->referenceStream >= 0 && job->referenceStream != job->shown.stream)
        request.captionStreams.push_back(job->referenceStream);
    // Another track is placed by its captions' times alone: the movie's index may give them at once.
    request.captionTimesOnly = kind == JobKind::Track;
    // Captions that come from files alone need nothing read from the movie.
    if (request.audioStream < 0 && request.captionStreams.empty())
        request.path.clear();
    debugLog("Caption sync: %s to %s started.\n", job->label.c_str(),
        kind == JobKind::Speech ? "the speech" : "another track");
    startJob(sys, std::move(job), std::move(request), std::move(reference));
}

}

void setMovieSync(MovieState& movie, int32_t shift, double rate, SyncPieces pieces)
{
    movie.currentItem.timeshift = shift;
    movie.captionRate = rate;
    if (rate == 1.0)
        movie.memoryFields.erase(captionRateField);
    else
        movie.memoryFields[captionRateField] = captionRateText(rate);
    if (pieces.empty())
        movie.memoryFields.erase(syncPiecesField);
    else
        movie.memoryFields[syncPiecesField] = syncPiecesText(pieces);
    movie.syncPieces = std::move(pieces);
    movie.syncSnap.reset();
    movie.syncSnapMovie.clear();
}

void syncCaptions(System& sys, CommandArgument argument)
{
    startSync(sys, argument.value == 0 ? JobKind::Speech : JobKind::Track);
}

void saveShownCaptions(System& sys)
{
    MovieState& movie = sys.movie;
    if (movie.captionJobs.running) {
        notice(sys, "자막 저장 실패: 싱크 맞추는 중");
        return;
    }
    const char* refusal = "자막 저장 실패";
    CaptionJobHandle job = newJob(sys, JobKind::Save, refusal);
    if (!job)
        return;
    if (job->shown.picture) {
        savePictureText(sys, *movie.currentCaption->pictures);
        return;
    }
    if (job->shown.source == Source::Stream) {
        // The stream's captions are read whole from the movie first.
        platform::MovieScanRequest request;
        request.path = job->movie;
        request.captionStreams.push_back(job->shown.stream);
        debugLog("Caption save: stream %d of %s.\n", job->shown.stream, job->movie.c_str());
        startJob(sys, std::move(job), std::move(request), {});
        return;
    }
    const Caption& caption = *movie.currentCaption;
    if (movie.captionChoice == "asf") {
        // The script inside an ASF file becomes a SubRip file beside it.
        std::vector<TextCue> cues;
        for (const ListNode* node = caption.entries; node && node->next; node = node->next) {
            const auto* entry = static_cast<const CaptionEntry*>(node->data);
            const auto* next = static_cast<const CaptionEntry*>(node->next->data);
            cues.push_back({ entry->start, std::min(next->start, endMarker - 1),
                platform::textToUtf8(entry->text, caption.textEncoding) });
        }
        const std::string path = subRipPathFor(job->movie, "");
        tellSaving(sys, saveCuesAsSubRip(path, std::move(cues), shownTimeMove(movie)), false);
        return;
    }
    tellSaving(sys, saveCaptionFile(movie.currentItem.caption, caption, shownTimeMove(movie)), true);
}

void takeCaptionJob(System& sys)
{
    MovieState& movie = sys.movie;
    CaptionJobHandle& running = movie.captionJobs.running;
    if (!running)
        return;
    CaptionJob& job = *running;
    const bool sync = job.kind != JobKind::Save;
    if (!movie.currentStream || job.movie != movie.currentItem.movie) {
        endJob(sys, "the movie changed");
        notice(sys, sync ? "싱크 못 맞춤: 영화가 바뀜" : "자막 저장 실패: 영화가 바뀜");
        return;
    }
    const bool finished = job.scan->finished();
    // The track shown is compared whole only once the job is done: a file loaded again is the same caption.
    if (job.choice != movie.captionChoice || job.label != movie.currentItem.caption
        || (finished && job.shown.source == Source::Entries && job.shown.spans != shownCaption(sys).spans)) {
        endJob(sys, "the caption changed");
        notice(sys, sync ? "싱크 못 맞춤: 자막이 바뀜" : "자막 저장 실패: 자막이 바뀜");
        return;
    }
    if (!finished)
        return;
    CaptionJobHandle done = std::move(running);
    if (sync)
        finishSync(sys, *done);
    else
        finishSave(sys, *done);
}

bool captionJobFrameWanted(System& sys)
{
    CaptionJobs& jobs = sys.movie.captionJobs;
    return jobs.running && jobs.running->changed.exchange(false);
}

std::string captionJobText(const System& sys)
{
    const CaptionJobs& jobs = sys.movie.captionJobs;
    if (!jobs.running)
        return "";
    const char* what = jobs.running->kind == JobKind::Save ? "자막 읽는 중" : "싱크 맞추는 중";
    return std::string(what) + " " + std::to_string(jobs.running->scan->progress()) + "%";
}

}
