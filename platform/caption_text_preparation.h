// Picture captions made ready for the text reader: the fill of the letters told apart from their outline
// and shadow by the palette, black on white, at the size the reader reads best, with a white border.
// As authored (white letters in a dark outline over clear pixels) the reader gets most Korean wrong.
#pragma once

#include "platform/mmstream/caption_pictures.h"
#include "platform/text_recognition.h"

#include <vector>

namespace platform {

// How tall a line of the letters' fill is made for the reader, from its highest ink to its lowest, and
// the white margin around each picture.
constexpr int readerLineHeight = 36;
constexpr int readerBorder = 20;
// Raised whenever the preparation changes what the reader is given, so that texts kept from an older one
// are read again.
constexpr uint32_t preparationVersion = 1;

// How much of the letters' fill each colour of bitmap's palette is, 0 to 1. The visible colours split
// into a light and a dark group (when they differ enough to); the fill is the group whose pixels touch
// the clear background least, as an outline and a shadow lie around the letters and the fill inside
// them; a colour between the groups (an edge between fill and outline) counts by where its brightness
// lies between the commonest colour of each, and every colour by its opacity. A palette of one shade is
// all fill.
std::vector<float> fillOfPalette(const CaptionBitmap& bitmap);

// The lines of text of picture for the reader, in reading order (top to bottom, then left to right): each
// bitmap's lines, black letters on white, scaled so that the bitmap's lines are readerLineHeight tall,
// with readerBorder around. Lines too short to be letters, and lines past the first sixteen, are left out.
std::vector<GreyPicture> prepareForReading(const CaptionPicture& picture);

}
