// Picture captions read as text while the movie plays: the captions of the first and the second caption
// that are pictures (a .sup or VobSub file, a PGS, DVD or DVB stream) go to the player's one reader
// (platform/caption_text_reader.h), which reads those of the next two minutes from where each is played
// first; what it read becomes the text of the caption's entry in its track, so study mode, the stepping
// and sync keys, saving and the second caption work on it as on any caption. A stream is read ahead of
// the play by its own reading of the movie (platform/mmstream/picture_stream_scan.h).
#pragma once

namespace sublumen {

struct System;

// Once per composed frame, after the stream's captions were taken: hands the reader the captions it has
// not had, tells it and the stream's reading where the movie is played, and puts the texts read into the
// tracks. When the reader's data is missing the player says so once (logged, and the notice
// "그림 자막을 글자로 읽을 수 없음" for three seconds) and the captions stay pictures.
void followPictureReading(System& sys);

}
