// A movie's picture caption stream read ahead of the play, so that its captions can be read as text
// before they are shown and every caption tool sees the whole track: on a worker thread of the lowest
// priority the movie is opened a second time, every other stream left unread, and the stream is read from
// a little before where the movie is played on to the end, then from the start; a jump of the play into
// what is not read yet moves the reading there.
#pragma once

#include "platform/mmstream/caption_pictures.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace platform {

class PictureStreamScan {
public:
    // Reads the stream numbered index of the movie at path, starting from position (milliseconds of the
    // movie's time). What cannot be read is logged and ends the reading.
    PictureStreamScan(std::string path, int index, uint32_t position);
    // Stops the reading, at once.
    ~PictureStreamScan();
    PictureStreamScan(const PictureStreamScan&) = delete;
    PictureStreamScan& operator=(const PictureStreamScan&) = delete;

    // Where the movie is played now.
    void setPosition(uint32_t time);
    // Appends the captions read since the last call.
    void takePictures(std::vector<CaptionPictureHandle>& pictures);
    // Whether the whole stream was read, or the reading ended for good.
    bool finished() const;

    // Reads the whole stream numbered index of the movie at path on the calling thread, handing each
    // caption to take in file order; not opened, with the failure, when it cannot be read.
    static PictureCaptionFile readWhole(
        const std::string& path, int index, const std::function<void(CaptionPictureHandle)>& take);

    struct State;

private:
    std::shared_ptr<State> state_;
    std::thread worker_;
};

}
