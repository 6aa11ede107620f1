#include "platform/speech_service.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using testing_support::ScratchDir;

namespace {

// A speech service that takes the connection and reads what it is sent, but never answers: its library
// waits for an answer with no time limit, and the player must still end.
TEST(SpeechService, EndsWhenTheServiceNeverAnswers)
{
    ScratchDir dir;
    const std::string path = dir.file("speechd.sock");
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof(address.sun_path));
    path.copy(address.sun_path, path.size());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    std::atomic<int> taken { -1 };
    std::thread silent([&] {
        const int client = accept(listener, nullptr, nullptr);
        taken = client;
        char buffer[256];
        while (client >= 0 && read(client, buffer, sizeof(buffer)) > 0) {
        }
    });

    const char* old = std::getenv("SPEECHD_ADDRESS");
    const std::string kept = old ? old : "";
    setenv("SPEECHD_ADDRESS", ("unix_socket:" + path).c_str(), 1);
    const auto start = std::chrono::steady_clock::now();
    {
        platform::SpeechService speech;
        speech.say("들리나요?", "ko");
        for (int i = 0; i < 500 && taken < 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_GE(taken, 0) << "the service was never reached";
        EXPECT_EQ(speech.state(), platform::SpeechService::State::Unknown);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    old ? setenv("SPEECHD_ADDRESS", kept.c_str(), 1) : unsetenv("SPEECHD_ADDRESS");

    // The service goes: the worker left behind is answered with the broken socket and ends too.
    shutdown(taken, SHUT_RDWR);
    silent.join();
    close(taken);
    close(listener);
}

}
