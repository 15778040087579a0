#include "screen.h"

#include <algorithm>
#include <array>
#include <fstream>

namespace wintest {
namespace {

void put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void chunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& data)
{
    put32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put32(out, crc32(out.data() + start, out.size() - start));
}

} // namespace

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::uint32_t adler32(const std::uint8_t* data, std::size_t size)
{
    std::uint32_t a = 1, b = 0;
    for (std::size_t i = 0; i < size; ++i) {
        a = (a + data[i]) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

std::vector<std::uint8_t> encodePng(const Image& image)
{
    std::vector<std::uint8_t> raw;
    raw.reserve(static_cast<std::size_t>(image.height) * (1 + 3 * image.width));
    for (int y = 0; y < image.height; ++y) {
        raw.push_back(0); // no filter
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t p = image.at(x, y);
            raw.push_back(static_cast<std::uint8_t>(p >> 16));
            raw.push_back(static_cast<std::uint8_t>(p >> 8));
            raw.push_back(static_cast<std::uint8_t>(p));
        }
    }
    // zlib: a header, stored blocks of at most 65535 bytes, the Adler-32.
    std::vector<std::uint8_t> z{0x78, 0x01};
    std::size_t pos = 0;
    do {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - pos);
        const bool last = pos + n == raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(static_cast<std::uint8_t>(n));
        z.push_back(static_cast<std::uint8_t>(n >> 8));
        z.push_back(static_cast<std::uint8_t>(~n));
        z.push_back(static_cast<std::uint8_t>(~n >> 8));
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(pos),
                 raw.begin() + static_cast<std::ptrdiff_t>(pos + n));
        pos += n;
    } while (pos < raw.size());
    put32(z, adler32(raw.data(), raw.size()));

    std::vector<std::uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    put32(header, static_cast<std::uint32_t>(image.width));
    put32(header, static_cast<std::uint32_t>(image.height));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8 bits, RGB, deflate, no filter, no interlace
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", z);
    chunk(png, "IEND", {});
    return png;
}

bool savePng(const Image& image, const std::string& path)
{
    if (image.pixels.empty())
        return false;
    CreateDirectoryW(winapp::widen(path.substr(0, path.find_last_of("/\\"))).c_str(), nullptr);
    const std::vector<std::uint8_t> png = encodePng(image);
    std::ofstream out(winapp::widen(path).c_str(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    return static_cast<bool>(out);
}

Image captureScreen(const RECT& rect)
{
    Image image;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return image;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    const bool copied = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    if (copied && bits) {
        image.width = width;
        image.height = height;
        const auto* p = static_cast<const std::uint32_t*>(bits);
        image.pixels.assign(p, p + static_cast<std::size_t>(width) * height);
        for (std::uint32_t& pixel : image.pixels)
            pixel &= 0xFFFFFF;
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return image;
}

namespace {

void redrawn(HWND window)
{
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    // Let the screen catch up with what was drawn.
    waitFor([] { return false; }, 150);
}

} // namespace

Image captureWindow(HWND window)
{
    redrawn(window);
    RECT rect;
    GetClientRect(window, &rect);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return captureScreen(rect);
}

Image captureFrame(HWND window)
{
    redrawn(window);
    RECT rect;
    GetWindowRect(window, &rect);
    return captureScreen(rect);
}

void saveBox(HWND box, const std::string& name)
{
    savePng(captureWindow(box), std::string(GRIDSHIFT_SCREENSHOT_DIR) + "/" + name + ".png");
}

bool haveScreen()
{
    static const bool have = [] {
        HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        if (!probe)
            return false;
        DestroyWindow(probe);
        return true;
    }();
    return have;
}

void press(HWND window, int x, int y)
{
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
}

void release(HWND window, int x, int y)
{
    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

void click(HWND window, int x, int y)
{
    press(window, x, y);
    release(window, x, y);
}

void key(HWND window, UINT vk)
{
    SendMessageW(window, WM_KEYDOWN, vk, 1);
    SendMessageW(window, WM_KEYUP, vk, 1 | 0xC0000000);
}

void type(HWND window, const std::wstring& text)
{
    for (wchar_t c : text)
        SendMessageW(window, WM_CHAR, c, 1);
}

void loopKey(HWND window, UINT vk, bool shift, bool ctrl)
{
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    const BYTE shiftBefore = keys[VK_SHIFT], ctrlBefore = keys[VK_CONTROL];
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    keys[VK_CONTROL] = ctrl ? 0x80 : 0;
    SetKeyboardState(keys);
    MSG msg{window, WM_KEYDOWN, vk, 1, static_cast<DWORD>(GetMessageTime()), {}};
    if (!winapp::preTranslate(msg))
        SendMessageW(window, WM_KEYDOWN, vk, 1);
    keys[VK_SHIFT] = shiftBefore;
    keys[VK_CONTROL] = ctrlBefore;
    SetKeyboardState(keys);
}

RECT placeInParent(HWND window)
{
    RECT rect;
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

} // namespace wintest
