#include "driver/tests/panel_windows.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct PanelSearch {
    const char* caption;
    int count;
    HWND first;
};

BOOL CALLBACK VisitWindow(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<PanelSearch*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId()) return TRUE;
    char className[16] = {};
    char caption[64] = {};
    GetClassNameA(window, className, sizeof(className));
    GetWindowTextA(window, caption, sizeof(caption));
    if (std::strcmp(className, "#32770") == 0 && std::strcmp(caption, search->caption) == 0) {
        if (search->count++ == 0) search->first = window;
    }
    return TRUE;
}

PanelSearch FindPanels(const char* caption)
{
    PanelSearch search = {caption, 0, nullptr};
    EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&search));
    return search;
}

}  // namespace

int CountPanels(const char* caption)
{
    return FindPanels(caption).count;
}

HWND WaitForPanel(const char* caption, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        PanelSearch search = FindPanels(caption);
        // Shown means initialised: the dialog is visible only after WM_INITDIALOG.
        if (search.first != nullptr && IsWindowVisible(search.first)) return search.first;
        if (GetTickCount() - start > timeoutMs) return nullptr;
        Sleep(20);
    }
}

bool WaitUntilGone(HWND window, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);
    }
    return true;
}

void ClickButton(HWND dialog, int id)
{
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

bool WriteWindowPicture(HWND window, const std::string& path)
{
    RECT frame;
    if (!GetWindowRect(window, &frame)) return false;
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    if (width <= 0 || height <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, picture);
    BOOL copied = BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
    GdiFlush();
    SelectObject(memory, previous);
    const DWORD rowSize = (DWORD(width) * 3 + 3) & ~3u;
    const DWORD imageSize = rowSize * DWORD(height);
    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    header.bfSize = header.bfOffBits + imageSize;
    info.bmiHeader.biSizeImage = imageSize;
    bool written = false;
    if (copied && bits != nullptr) {
        if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
            written = std::fwrite(&header, sizeof(header), 1, file) == 1 &&
                      std::fwrite(&info.bmiHeader, sizeof(info.bmiHeader), 1, file) == 1 &&
                      std::fwrite(bits, imageSize, 1, file) == 1;
            written = std::fclose(file) == 0 && written;
        }
    }
    DeleteObject(picture);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return written;
}

std::string BuildTreeDirectory()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string folder(path, length);
    for (int level = 0; level < 2; ++level) folder.erase(folder.find_last_of('\\'));
    return folder + "\\";
}
