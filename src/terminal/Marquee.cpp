#include "terminal/Marquee.h"

namespace marquee {

Colour colourOf(const Copy& copy) {
    const int red = 255 * copy.right() / (copy.width + EntryLeft);
    return {static_cast<quint8>(red), static_cast<quint8>(255 - red)};
}

Copy firstCopy(int stripWidth, int width) {
    return {width <= stripWidth ? stripWidth - width : FirstCopyFallbackLeft, width};
}

int tick(std::vector<Copy>& copies, int newCopyWidth) {
    int dropped = 0;
    for (size_t i = 0; i < copies.size(); ++i) {
        copies[i].left -= Step;
        if (i + 1 == copies.size() && copies[i].right() < NextCopyBelow) {
            copies.push_back({EntryLeft, newCopyWidth});
        }
        if (i == 0 && copies[0].right() < 0) {
            copies.erase(copies.begin());
            ++dropped;
            --i;  // the copy that became first is moved in this same tick (wraps to 0 on increment)
        }
    }
    return dropped;
}

}  // namespace marquee
