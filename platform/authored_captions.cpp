#include "platform/authored_captions.h"

#include "platform/authored_caption_pixels.h"

#include "platform/kernel.h"
#include "platform/resource_files.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

extern "C" {
#include <ass/ass.h>
}

namespace platform {

using authored::blendRendering;
using authored::Canvas;
using authored::flatten;
using authored::Rendering;

namespace {

template<auto Free> struct Deleter {
    template<typename T> void operator()(T* p) const { Free(p); }
};
using LibraryHandle = std::unique_ptr<ASS_Library, Deleter<ass_library_done>>;
using RendererHandle = std::unique_ptr<ASS_Renderer, Deleter<ass_renderer_done>>;
using TrackHandle = std::unique_ptr<ASS_Track, Deleter<ass_free_track>>;

// The renderer's own messages that reach the log (errors and warnings: a missing font, a broken
// override tag), and at most this many of them per track, so a hostile script cannot flood the log.
constexpr int loggedLevel = 2;
constexpr int loggedMessages = 40;

// A picture larger than this is not a frame the renderer is asked to fill.
constexpr int largestFrame = 8192;

// What the renderer keeps of the bitmaps it made, in megabytes (and half of it again for their composites):
// many frames of even a busy scene, for the captions that stay on screen a while.
constexpr int cachedBitmapsMegabytes = 32;

// Events of a stream wait for the worker's next rendering, or are handed to the track once this many wait.
constexpr size_t heldEvents = 256;


struct Event {
    int64_t start;
    int64_t duration;
    std::string line;
};


void logMessage(int level, const char* format, va_list args, void* data)
{
    if (level > loggedLevel)
        return;
    auto* count = static_cast<std::atomic<int>*>(data);
    int n = count->fetch_add(1);
    if (n > loggedMessages)
        return;
    if (n == loggedMessages) {
        platformLog("ass: further renderer messages of this track dropped\n");
        return;
    }
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    platformLog("ass: %s\n", text);
}


}

struct AuthoredCaptions::State {
    std::atomic<int> messages {0};
    LibraryHandle library;
    TrackHandle track;
    // Made by the worker at its first rendering, since looking the fonts up takes a while.
    RendererHandle renderer;
    bool rendererFailed = false;
    Canvas canvas;

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable rendered;
    // Under mutex: the events not yet handed to the track, the newest rendering wanted, the last one made.
    std::vector<Event> pending;
    bool wanted = false;
    PictureFrame wantedFrame;
    int64_t wantedTime = 0;
    uint64_t wantedSerial = 0;
    bool busy = false;
    bool quit = false;
    std::shared_ptr<const Rendering> last;
    uint64_t lastSerial = 0;
    std::chrono::milliseconds budget = defaultRenderBudget;
    // Under mutex: the filter the events are to be shown through.
    EventTextFilter filter = nullptr;
    std::thread worker;
    // The worker's: the events' texts as authored, in the track's order, and the filter they show through.
    std::vector<std::string> authoredTexts;
    EventTextFilter shownFilter = nullptr;

    ~State()
    {
        if (worker.joinable()) {
            {
                std::lock_guard lock(mutex);
                quit = true;
            }
            wake.notify_all();
            worker.join();
        }
    }

    void start() { worker = std::thread([this] { run(); }); }

    void run()
    {
        // The last rendering made (the one in last) and the one before it, which a blend may still show.
        std::shared_ptr<Rendering> previous;
        std::shared_ptr<Rendering> retired;
        for (;;) {
            std::unique_lock lock(mutex);
            wake.wait(lock, [&] { return quit || wanted || pending.size() >= heldEvents; });
            if (quit)
                return;
            if (!wanted) {
                // Captions shown in our style are never rendered; their events still go to the track
                // rather than pile up here.
                std::vector<Event> events;
                events.swap(pending);
                lock.unlock();
                const EventTextFilter wantedFilter = filter;
                lock.unlock();
                for (Event& e : events)
                    ass_process_chunk(track.get(), e.line.data(), static_cast<int>(e.line.size()), e.start, e.duration);
                filterTexts(wantedFilter);
                continue;
            }
            wanted = false;
            busy = true;
            const PictureFrame want = wantedFrame;
            const int64_t time = wantedTime;
            const uint64_t serial = wantedSerial;
            const EventTextFilter wantedFilter = filter;
            std::vector<Event> events;
            events.swap(pending);
            lock.unlock();

            for (Event& e : events)
                ass_process_chunk(track.get(), e.line.data(), static_cast<int>(e.line.size()), e.start, e.duration);
            filterTexts(wantedFilter);
            std::shared_ptr<Rendering> made = render(want, time, previous, retired);
            if (made != previous) {
                retired = std::move(previous);
                previous = made;
            }

            lock.lock();
            last = std::move(made);
            lastSerial = serial;
            busy = false;
            lock.unlock();
            rendered.notify_all();
        }
    }

    // Events the track took since the last call keep their authored texts aside; each event's text is then
    // its authored one through wantedFilter (which, when it is the filter already shown, only new events
    // pass through). libass frees the texts with free().
    void filterTexts(EventTextFilter wantedFilter)
    {
        const size_t count = static_cast<size_t>(std::max(track->n_events, 0));
        const size_t known = authoredTexts.size() > count ? count : authoredTexts.size();
        for (size_t i = known; i < count; ++i)
            authoredTexts.emplace_back(track->events[i].Text ? track->events[i].Text : "");
        const size_t from = wantedFilter == shownFilter ? known : 0;
        shownFilter = wantedFilter;
        for (size_t i = from; i < count; ++i) {
            const std::string& authored = authoredTexts[i];
            const std::string text = wantedFilter ? wantedFilter(authored) : authored;
            ASS_Event& event = track->events[i];
            if (event.Text && text == event.Text)
                continue;
            char* copy = static_cast<char*>(std::malloc(text.size() + 1));
            if (!copy)
                continue;
            std::memcpy(copy, text.c_str(), text.size() + 1);
            std::free(event.Text);
            event.Text = copy;
        }
    }

    // The rendering at time over want; previous itself when nothing changed since it was made. A new one
    // takes over the memory of retired once no blend holds that any more.
    std::shared_ptr<Rendering> render(const PictureFrame& want, int64_t time,
        const std::shared_ptr<Rendering>& previous, std::shared_ptr<Rendering>& retired)
    {
        if (!renderer) {
            if (rendererFailed)
                return nullptr;
            renderer.reset(ass_renderer_init(library.get()));
            if (!renderer) {
                rendererFailed = true;
                platformLog("ass: the renderer cannot start; captions as authored are not shown\n");
                return nullptr;
            }
            setUpRenderer(renderer.get());
        }
        const bool resized = !previous || !previous->sameFrame(want);
        if (resized) {
            ass_set_frame_size(renderer.get(), want.width, want.height);
            ass_set_storage_size(renderer.get(), want.pictureWidth, want.pictureHeight);
        }
        int changed = 0;
        ASS_Image* image = ass_render_frame(renderer.get(), track.get(), time, &changed);
        if (!resized && changed == 0)
            return previous;

        std::shared_ptr<Rendering> reused;
        // Blends take only last, which retired no longer is; once the worker holds its only reference no
        // blend reads it or can come to. The fence orders its reuse after the release of the others.
        if (retired && retired.use_count() == 1) {
            std::atomic_thread_fence(std::memory_order_acquire);
            reused = std::move(retired);
        }
        return flatten(image, want, canvas, std::move(reused));
    }
};

void setUpRenderer(ASS_Renderer* renderer)
{
    // The renderer's own limits let its caches grow by about 190 MB over a scene of moving signs, whose
    // glyphs and bitmaps are new on every frame and never asked for again.
    ass_set_cache_limits(renderer, 0, cachedBitmapsMegabytes);
    const std::string config = resourceFile("fonts.conf");
    ass_set_fonts(renderer, nullptr, "sans-serif", ASS_FONTPROVIDER_AUTODETECT, config.empty() ? nullptr : config.c_str(), 1);
}

AuthoredCaptions::AuthoredCaptions(std::unique_ptr<State> state)
    : state_(std::move(state))
{
    state_->start();
}

AuthoredCaptions::~AuthoredCaptions() = default;

namespace {

std::unique_ptr<AuthoredCaptions::State> newState()
{
    auto state = std::make_unique<AuthoredCaptions::State>();
    state->library.reset(ass_library_init());
    if (!state->library) {
        platformLog("ass: the library cannot start; captions as authored are not shown\n");
        return nullptr;
    }
    ass_set_message_cb(state->library.get(), logMessage, &state->messages);
    // Fonts embedded in a script's [Fonts] section are used like attached ones.
    ass_set_extract_fonts(state->library.get(), 1);
    return state;
}

}

std::unique_ptr<AuthoredCaptions> AuthoredCaptions::fromScript(std::string_view utf8)
{
    std::unique_ptr<State> state = newState();
    if (!state)
        return nullptr;
    std::string text(utf8);
    state->track.reset(ass_read_memory(state->library.get(), text.data(), text.size(), nullptr));
    if (!state->track) {
        platformLog("ass: no script found in the caption file; it is shown in our style only\n");
        return nullptr;
    }
    return std::unique_ptr<AuthoredCaptions>(new AuthoredCaptions(std::move(state)));
}

std::unique_ptr<AuthoredCaptions> AuthoredCaptions::fromStream(const AuthoredStyle& style)
{
    std::unique_ptr<State> state = newState();
    if (!state)
        return nullptr;
    static const CaptionFonts noFonts;
    size_t fontBytes = 0;
    for (const CaptionFont& font : style.fonts ? *style.fonts : noFonts) {
        if (font.data.empty() || font.data.size() > maximumFontBytes || fontBytes + font.data.size() > maximumFontsBytes) {
            platformLog("ass: attached font \"%s\" of %zu bytes not used\n", font.name.c_str(), font.data.size());
            continue;
        }
        fontBytes += font.data.size();
        ass_add_font(state->library.get(), font.name.c_str(), font.data.data(), static_cast<int>(font.data.size()));
    }
    state->track.reset(ass_new_track(state->library.get()));
    if (!state->track) {
        platformLog("ass: no track could be made; captions as authored are not shown\n");
        return nullptr;
    }
    std::string header = style.header;
    if (!header.empty())
        ass_process_codec_private(state->track.get(), header.data(), static_cast<int>(header.size()));
    return std::unique_ptr<AuthoredCaptions>(new AuthoredCaptions(std::move(state)));
}

void AuthoredCaptions::addEvent(int64_t start, int64_t duration, std::string_view line)
{
    std::lock_guard lock(state_->mutex);
    state_->pending.push_back({ start, duration, std::string(line) });
    if (state_->pending.size() >= heldEvents)
        state_->wake.notify_one();
}

void AuthoredCaptions::setEventTextFilter(EventTextFilter filter)
{
    std::lock_guard lock(state_->mutex);
    if (state_->filter == filter)
        return;
    state_->filter = filter;
}

void AuthoredCaptions::setRenderBudget(std::chrono::milliseconds budget)
{
    std::lock_guard lock(state_->mutex);
    state_->budget = budget;
}

void AuthoredCaptions::blend(PixelView target, const PictureFrame& frame, int64_t time)
{
    if (frame.width <= 0 || frame.height <= 0 || frame.width > largestFrame || frame.height > largestFrame
        || frame.pictureWidth <= 0 || frame.pictureHeight <= 0)
        return;
    State& s = *state_;
    std::shared_ptr<const Rendering> shown;
    {
        std::unique_lock lock(s.mutex);
        const bool waitFor = !s.busy;
        s.wanted = true;
        s.wantedFrame = frame;
        s.wantedTime = time;
        const uint64_t serial = ++s.wantedSerial;
        s.wake.notify_one();
        // While the worker is still on an earlier rendering, the last one is shown without waiting.
        if (waitFor)
            s.rendered.wait_for(lock, s.budget, [&] { return s.lastSerial >= serial; });
        shown = s.last;
    }
    if (!shown || !shown->sameFrame(frame))
        return;
    blendRendering(target, *shown, frame.left, frame.top);
}

}
