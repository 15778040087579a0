#include "spinedit/spin_face.h"

#include <cmath>

namespace spinedit {
namespace {

// Top-left corner of a glyph centred on `centre`, rounded half to even.
int glyphCorner(double centre, int extent)
{
    return static_cast<int>(std::nearbyint(centre - extent / 2.0));
}

} // namespace

std::vector<FaceLine> faceLines(int w, int h, TSpinPress pressed)
{
    using enum FaceColour;
    const bool top = pressed == TSpinPress::spTop;
    const bool bottom = pressed == TSpinPress::spBottom;
    std::vector<FaceLine> lines = {
        {Frame, 0, 0, w - 1, 0},
        {Frame, 0, h - 1, w - 1, h - 1},
        {Frame, 0, 0, 0, h - 1},
        {Frame, w - 1, 0, w - 1, h - 1},
        {Frame, 0, h - 1, w - 1, 0},
        {top ? Dark : Light, 1, 1, w - 3, 1},
        {top ? Dark : Light, 1, 1, 1, h - 3},
    };
    if (!top)
        lines.push_back({Dark, 1, h - 3, w - 3, 1});
    lines.push_back({bottom ? Dark : Light, 2, h - 2, w - 2, 2});
    if (bottom)
        lines.push_back({Dark, 3, h - 2, w - 2, 3});
    lines.push_back({bottom ? Light : Dark, 2, h - 2, w - 2, h - 2});
    lines.push_back({bottom ? Light : Dark, w - 2, 2, w - 2, h - 2});
    return lines;
}

GlyphCorner upGlyphCorner(int w, int h, int glyphWidth, int glyphHeight, TSpinPress pressed)
{
    // A pressed upper half sinks its mark one pixel further.
    const int shift = pressed == TSpinPress::spTop ? 2 : 1;
    return {glyphCorner(w / 4.0, glyphWidth) + shift, glyphCorner(h / 4.0, glyphHeight) + shift};
}

GlyphCorner downGlyphCorner(int w, int h, int glyphWidth, int glyphHeight)
{
    return {glyphCorner(3 * w / 4.0, glyphWidth) - 1, glyphCorner(3 * h / 4.0, glyphHeight) - 1};
}

} // namespace spinedit
