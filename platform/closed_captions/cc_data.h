// The closed caption data of digital video (ATSC A/53 cc_data): triplets of a flags byte (cc_valid,
// cc_type) and two data bytes, which video decoders hand over with each picture and which the coded
// pictures carry in MPEG-2 user data and in H.264 and HEVC SEI messages.
#pragma once

#include "platform/closed_captions/cea608_decoder.h"
#include "platform/closed_captions/cea708_decoder.h"

#include <cstdint>
#include <span>
#include <vector>

namespace platform {

// One pair of line 21 data: field 0 (CC1, CC2) or field 1 (CC3, CC4).
struct Line21Pair {
    int field = 0;
    uint8_t data[2] = {0, 0};
};

// The valid pairs of a picture's triplets, for each decoder in the order sent; a cut triplet at the end
// is left out.
void splitCcData(std::span<const uint8_t> triplets, std::vector<Line21Pair>& line21, std::vector<DtvccPair>& dtvcc);

enum class VideoCoding { Mpeg2, H264, Hevc };

// Appends the cc_data triplets a coded picture carries (A/53 "GA94" user data or SEI) to triplets.
// H.264 and HEVC packets may hold start codes or 4-byte lengths before their units.
void findCcData(VideoCoding coding, std::span<const uint8_t> packet, std::vector<uint8_t>& triplets);

}
