// File-name suffixes of the movies the media backend can open.
#pragma once

namespace platform {

// 0 when the demuxers know no such suffix, else a rank: 1.. for the common movie containers, then the
// common sound files, in the order a movie beside a caption file is preferred, and a larger one for any other container the
// demuxers list. Captions, still images and plain text never count. The suffix is without its dot,
// any case.
int movieSuffixRank(const char* suffix);

}
