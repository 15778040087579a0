#pragma once

// How the diagonal spin button looks, apart from any painting library: the
// lines of each face and where the two marks go. A front end fills the face
// with the button-face colour, draws these lines (both ends included) in the
// colours they name, then the marks.

#include "spinedit/spin_press.h"

#include <array>
#include <vector>

namespace spinedit {

enum class FaceColour { Frame, Light, Dark };

struct FaceLine {
    FaceColour colour;
    int x1, y1, x2, y2;
};

// A frame, the diagonal from the lower-left to the upper-right corner, and a
// bevel just inside each half: light on the edges facing up or left, dark on
// those facing down or right, the other way round on the pressed half.
std::vector<FaceLine> faceLines(int width, int height, TSpinPress pressed);

struct GlyphCorner {
    int x, y;
};
// The marks' top-left corners: centred on the middle of each half, rounded
// half to even, the upper one a pixel further in when its half is pressed.
GlyphCorner upGlyphCorner(int width, int height, int glyphWidth, int glyphHeight, TSpinPress pressed);
GlyphCorner downGlyphCorner(int width, int height, int glyphWidth, int glyphHeight);

// The built-in marks, "#" for a black pixel.
inline constexpr std::array<const char*, 3> kUpGlyph = {"..#..", ".###.", "#####"};
inline constexpr std::array<const char*, 3> kDownGlyph = {"#####", ".###.", "..#.."};

} // namespace spinedit
