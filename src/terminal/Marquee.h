#pragma once

#include <QtGlobal>

#include <vector>

// The scrolling message of the idle screen: copies of the message travel right to left across the message
// strip, 5 pixels a tick, their colour shifting from red to blue. Copies are kept oldest first.
namespace marquee {

constexpr int Step = 5;
constexpr int EntryLeft = 787;      // a new copy enters beyond the strip's right edge
constexpr int NextCopyBelow = 600;  // a new copy follows once the last one's right edge has passed this
constexpr int FirstCopyFallbackLeft = 50;

struct Copy {
    int left;
    int width;
    int right() const { return left + width; }
};

struct Colour {
    quint8 red;
    quint8 blue;
};

// Red = integer part of 255 (L + W) / (W + 787), blue = 255 - red, both as bytes: pure red at the entry,
// pure blue once the right edge reaches 0.
Colour colourOf(const Copy& copy);

// The first copy of a scrolling message: right-aligned in the strip when it fits, otherwise at 50.
Copy firstCopy(int stripWidth, int width);

// One tick: every copy moves 5 pixels left; a new copy of `newCopyWidth` enters when the last copy's right
// edge is below 600 (and moves in the same tick); the oldest is dropped once its right edge is below 0.
// Returns how many copies were dropped from the front; a copy appended shows as the last element.
int tick(std::vector<Copy>& copies, int newCopyWidth);

}  // namespace marquee
