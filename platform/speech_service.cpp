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

struct Connection {
    SPDConnection* spd = nullptr;
    std::string language;
};

}

struct SpeechService::Worker {
    void run();
    bool connect();
    void disconnect();

    std::mutex mutex;
    std::condition_variable wake;
    // The request waiting for the worker: a text to say, or a cut-off alone.
    bool pending = false;
    bool cancelPending = false;
    bool connectPending = false;
    std::string text;
    std::string language;
    int64_t askedAt = 0;  // steady milliseconds, for the log's latency
    bool quit = false;
    bool ended = false;
    State state = State::Unknown;
    // Owned by the worker thread.
    Connection* connection = nullptr;
    int64_t retryAt = 0;
};

// How long the end waits for a worker that is still talking to the service.
constexpr auto endWait = std::chrono::seconds(3);

SpeechService::SpeechService()
    : worker_(std::make_shared<Worker>())
    , thread_([worker = worker_] { worker->run(); })
{
}

SpeechService::~SpeechService()
{
    std::unique_lock lock(worker_->mutex);
    worker_->quit = true;
    worker_->wake.notify_all();
    if (worker_->wake.wait_for(lock, endWait, [&] { return worker_->ended; })) {
        lock.unlock();
        thread_.join();
        return;
    }
    // The service took a request and never answered: its library waits for the answer with no time limit.
    platformLog("speech: the speech service does not answer; its connection is left to the end of the process\n");
    lock.unlock();
    thread_.detach();
}

void SpeechService::say(std::string text, std::string language)
{
    {
        std::lock_guard lock(worker_->mutex);
        worker_->pending = true;
        worker_->cancelPending = true;
        worker_->text = spokenForm(std::move(text));
        worker_->language = std::move(language);
        worker_->askedAt = steadyMilliseconds();
    }
    worker_->wake.notify_all();
}

void SpeechService::cancel()
{
    {
        std::lock_guard lock(worker_->mutex);
        worker_->pending = false;
        worker_->cancelPending = true;
    }
    worker_->wake.notify_all();
}

void SpeechService::prepare()
{
    {
        std::lock_guard lock(worker_->mutex);
        worker_->connectPending = true;
    }
    worker_->wake.notify_all();
}

SpeechService::State SpeechService::state() const
{
    std::lock_guard lock(worker_->mutex);
    return worker_->state;
}

bool SpeechService::Worker::connect()
{
    if (connection)
        return true;
    const int64_t now = steadyMilliseconds();
    if (now < retryAt)
        return false;
    char* error = nullptr;
    // The default address ($SPEECHD_ADDRESS, else the user's runtime folder), starting the service there
    // when nothing answers.
    SPDConnection* spd = spd_open2("sublumen", "captions", nullptr, SPD_MODE_THREADED, nullptr, 1, &error);
    if (!spd) {
        platformLog("speech: no speech service (%s); tried again in %lld s at the earliest\n",
            error ? error : "no answer", static_cast<long long>(retryAfter / 1000));
        std::free(error);
        retryAt = now + retryAfter;
        return false;
    }
    std::free(error);
    spd->callback_begin = onBegin;
    spd->callback_end = onEnd;
    spd->callback_cancel = onEnd;
    spd_set_notification_on(spd, SPD_BEGIN);
    spd_set_notification_on(spd, SPD_END);
    spd_set_notification_on(spd, SPD_CANCEL);
    connection = new Connection { spd, "" };
    platformLog("speech: connected to the speech service\n");
    return true;
}

void SpeechService::Worker::disconnect()
{
    if (!connection)
        return;
    spd_close(connection->spd);
    delete connection;
    connection = nullptr;
}

void SpeechService::Worker::run()
{
    // A service gone away closes its socket: writing to it must fail, not end the process.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    std::unique_lock lock(mutex);
    for (;;) {
        wake.wait(lock, [&] { return quit || pending || cancelPending || connectPending; });
        if (quit)
            break;
        const bool speak = pending;
        const bool cut = cancelPending;
        const bool reach = connectPending && !speak;
        const std::string said = std::move(text);
        const std::string saidIn = std::move(language);
        const int64_t asked = askedAt;
        pending = false;
        cancelPending = false;
        connectPending = false;
        lock.unlock();

        State result = State::Ready;
        if (reach && !connect())
            result = State::Unavailable;
        if (cut && connection && lastUnended() && spd_cancel(connection->spd) != 0) {
            platformLog("speech: the speech service went away\n");
            disconnect();
        }
        if (speak) {
            if (!connect()) {
                result = State::Unavailable;
            } else {
                if (saidIn != connection->language && spd_set_language(connection->spd, saidIn.c_str()) == 0)
                    connection->language = saidIn;
                const int message = spd_say(connection->spd, SPD_TEXT, said.c_str());
                if (message >= 0)
                    awaitBegin(message, asked);
                if (message < 0) {
                    platformLog("speech: the speech service went away\n");
                    disconnect();
                    retryAt = steadyMilliseconds() + retryAfter;
                    result = State::Unavailable;
                }
            }
        }
        lock.lock();
        if (speak || reach)
            state = result;
    }
    lock.unlock();
    if (connection)
        spd_cancel(connection->spd);
    disconnect();
    lock.lock();
    ended = true;
    wake.notify_all();
}

}
