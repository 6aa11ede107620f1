#include "platform/speech_service.h"

#include "platform/kernel.h"

#include <libspeechd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <pthread.h>

namespace platform {

namespace {

int64_t steadyMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A service that could not be reached is tried again no sooner than this.
constexpr int64_t retryAfter = 5000;

// libspeechd's callbacks carry no context of ours: the one message whose start the log awaits is
// process-wide, as the player's one speech connection is. The start may come before spd_say has
// answered with the message's number, so the last start seen is kept too.
std::mutex beginMutex;
int awaitedMessage = -1;
int64_t awaitedAskedAt = 0;
int lastBegun = -1;
int64_t lastBegunAt = 0;
// The last message of ours and whether it has ended: only one still to be said or being said must be cut
// off before the next, which costs a round trip to the service. An end that comes before its number is
// known leaves it taken as unended: one cut-off too many, never one too few.
int lastMessage = -1;
bool lastEnded = true;

void logLatency(int64_t askedAt, int64_t begunAt)
{
    platformLog("speech: began %lld ms after it was asked\n", static_cast<long long>(begunAt - askedAt));
}

// On libspeechd's own thread, which must never wait for ours: it brings spd_say its answer.
void onEnd(size_t message, size_t, SPDNotificationType)
{
    std::lock_guard lock(beginMutex);
    if (static_cast<int>(message) == lastMessage)
        lastEnded = true;
}

void onBegin(size_t message, size_t, SPDNotificationType)
{
    std::lock_guard lock(beginMutex);
    if (static_cast<int>(message) == awaitedMessage) {
        logLatency(awaitedAskedAt, steadyMilliseconds());
        awaitedMessage = -1;
        return;
    }
    lastBegun = static_cast<int>(message);
    lastBegunAt = steadyMilliseconds();
}

bool lastUnended()
{
    std::lock_guard lock(beginMutex);
    return !lastEnded;
}

void awaitBegin(int message, int64_t askedAt)
{
    std::lock_guard lock(beginMutex);
    lastMessage = message;
    lastEnded = false;
    if (message == lastBegun) {
        logLatency(askedAt, lastBegunAt);
        return;
    }
    awaitedMessage = message;
    awaitedAskedAt = askedAt;
}

// A caption's lines are one utterance.
std::string spokenForm(std::string text)
{
    for (char& c : text)
        if (c == '\n' || c == '\r' || c == '\t')
            c = ' ';
    return text;
}

}

struct SpeechService::Connection {
    SPDConnection* spd = nullptr;
    std::string language;
};

SpeechService::SpeechService()
    : worker_([this] { run(); })
{
}

SpeechService::~SpeechService()
{
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void SpeechService::say(std::string text, std::string language)
{
    {
        std::lock_guard lock(mutex_);
        pending_ = true;
        cancelPending_ = true;
        text_ = spokenForm(std::move(text));
        language_ = std::move(language);
        askedAt_ = steadyMilliseconds();
    }
    wake_.notify_all();
}

void SpeechService::cancel()
{
    {
        std::lock_guard lock(mutex_);
        pending_ = false;
        cancelPending_ = true;
    }
    wake_.notify_all();
}

void SpeechService::prepare()
{
    {
        std::lock_guard lock(mutex_);
        connectPending_ = true;
    }
    wake_.notify_all();
}

SpeechService::State SpeechService::state() const
{
    std::lock_guard lock(mutex_);
    return state_;
}

bool SpeechService::connect()
{
    if (connection_)
        return true;
    const int64_t now = steadyMilliseconds();
    if (now < retryAt_)
        return false;
    char* error = nullptr;
    // The default address ($SPEECHD_ADDRESS, else the user's runtime folder), starting the service there
    // when nothing answers.
    SPDConnection* spd = spd_open2("sublumen", "captions", nullptr, SPD_MODE_THREADED, nullptr, 1, &error);
    if (!spd) {
        platformLog("speech: no speech service (%s); tried again in %lld s at the earliest\n",
            error ? error : "no answer", static_cast<long long>(retryAfter / 1000));
        std::free(error);
        retryAt_ = now + retryAfter;
        return false;
    }
    std::free(error);
    spd->callback_begin = onBegin;
    spd->callback_end = onEnd;
    spd->callback_cancel = onEnd;
    spd_set_notification_on(spd, SPD_BEGIN);
    spd_set_notification_on(spd, SPD_END);
    spd_set_notification_on(spd, SPD_CANCEL);
    connection_ = new Connection { spd, "" };
    platformLog("speech: connected to the speech service\n");
    return true;
}

void SpeechService::disconnect()
{
    if (!connection_)
        return;
    spd_close(connection_->spd);
    delete connection_;
    connection_ = nullptr;
}

void SpeechService::run()
{
    // A service gone away closes its socket: writing to it must fail, not end the process.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return quit_ || pending_ || cancelPending_ || connectPending_; });
        if (quit_)
            break;
        const bool speak = pending_;
        const bool cut = cancelPending_;
        const bool reach = connectPending_ && !speak;
        std::string text = std::move(text_);
        std::string language = std::move(language_);
        const int64_t askedAt = askedAt_;
        pending_ = false;
        cancelPending_ = false;
        connectPending_ = false;
        lock.unlock();

        State result = State::Ready;
        if (reach && !connect())
            result = State::Unavailable;
        if (cut && connection_ && lastUnended() && spd_cancel(connection_->spd) != 0) {
            platformLog("speech: the speech service went away\n");
            disconnect();
        }
        if (speak) {
            if (!connect()) {
                result = State::Unavailable;
            } else {
                if (language != connection_->language && spd_set_language(connection_->spd, language.c_str()) == 0)
                    connection_->language = language;
                const int message = spd_say(connection_->spd, SPD_TEXT, text.c_str());
                if (message >= 0)
                    awaitBegin(message, askedAt);
                if (message < 0) {
                    platformLog("speech: the speech service went away\n");
                    disconnect();
                    retryAt_ = steadyMilliseconds() + retryAfter;
                    result = State::Unavailable;
                }
            }
        }
        lock.lock();
        if (speak || reach)
            state_ = result;
    }
    lock.unlock();
    if (connection_)
        spd_cancel(connection_->spd);
    disconnect();
}

}
