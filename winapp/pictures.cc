#include "winapp/pictures.h"

namespace winapp {

Picture loadPicture(const wchar_t* resource)
{
    Picture picture;
    HBITMAP bitmap = static_cast<HBITMAP>(LoadImageW(instance(), resource, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!bitmap)
        return picture;
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    BITMAPINFO request{};
    request.bmiHeader.biSize = sizeof request.bmiHeader;
    request.bmiHeader.biWidth = info.bmWidth;
    request.bmiHeader.biHeight = -info.bmHeight; // top row first
    request.bmiHeader.biPlanes = 1;
    request.bmiHeader.biBitCount = 32;
    request.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint32_t> bgr(static_cast<std::size_t>(info.bmWidth) * info.bmHeight);
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap, 0, static_cast<UINT>(info.bmHeight), bgr.data(), &request,
                               DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    DeleteObject(bitmap);
    if (rows != info.bmHeight)
        return picture;
    picture.width = info.bmWidth;
    picture.height = info.bmHeight;
    picture.pixels.reserve(bgr.size());
    for (std::uint32_t p : bgr)
        picture.pixels.push_back(RGB(p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF));
    return picture;
}

void drawPicture(HDC dc, const Picture& picture, int x, int y, int fromX, int width, int height)
{
    for (int row = 0; row < height && row < picture.height; ++row)
        for (int column = 0; column < width && fromX + column < picture.width; ++column) {
            const COLORREF colour = picture.at(fromX + column, row);
            if (colour != kTransparent)
                SetPixelV(dc, x + column, y + row, colour);
        }
}

HICON applicationIcon()
{
    return LoadIconW(instance(), kMainIcon);
}

} // namespace winapp
