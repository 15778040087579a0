#include "winapp/select_directory.h"

#include "winapp/panel.h"
#include "winapp/pictures.h"

#include <algorithm>
#include <map>

namespace winapp {
namespace {

constexpr int kClientWidth = 424;
constexpr int kClientHeight = 255;
// Indentation of each level of the folder list, and its pictures' size.
constexpr int kIndent = 8;
constexpr int kPictureWidth = 14;
constexpr int kPictureHeight = 12;

// Drive root ("C:\") -> folder last opened on that drive, for the whole run.
std::map<std::wstring, std::wstring>& driveFolders()
{
    static std::map<std::wstring, std::wstring> folders;
    return folders;
}

std::wstring upper(std::wstring text)
{
    if (!text.empty())
        CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// The top of the path: "C:\" or "\\server\share\".
std::wstring rootOf(const std::wstring& folder)
{
    if (folder.size() >= 2 && folder[1] == L':')
        return upper(folder.substr(0, 2)) + L"\\";
    if (folder.rfind(L"\\\\", 0) == 0) {
        std::size_t cut = folder.find(L'\\', 2);
        cut = cut == std::wstring::npos ? std::wstring::npos : folder.find(L'\\', cut + 1);
        return cut == std::wstring::npos ? folder + L"\\" : folder.substr(0, cut + 1);
    }
    return {};
}

bool onDrive(const std::wstring& folder, const std::wstring& root)
{
    return !root.empty() && upper(rootOf(folder)) == upper(root);
}

// "C:", "C:\" or "C:/": a drive with no folder named.
bool isDriveTop(const std::wstring& text)
{
    return (text.size() == 2 || (text.size() == 3 && (text[2] == L'\\' || text[2] == L'/'))) && text[1] == L':' &&
           IsCharAlphaW(text[0]);
}

std::wstring currentFolder()
{
    wchar_t buffer[MAX_PATH] = {};
    const DWORD n = GetCurrentDirectoryW(MAX_PATH, buffer);
    return existingFolder(std::wstring(buffer, n));
}

bool lessIgnoringCase(const std::wstring& a, const std::wstring& b)
{
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_LESS_THAN;
}

std::vector<std::wstring> entries(const std::wstring& folder, bool folders)
{
    std::vector<std::wstring> names;
    if (folder.empty())
        return names;
    const std::wstring pattern = folder + (folder.back() == L'\\' ? L"*" : L"\\*");
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L".." || (found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN))
            continue;
        if (static_cast<bool>(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == folders)
            names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end(), lessIgnoringCase);
    return names;
}

} // namespace

std::wstring existingFolder(const std::wstring& path)
{
    if (path.empty())
        return {};
    wchar_t full[MAX_PATH] = {};
    const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    if (n == 0 || n >= MAX_PATH)
        return {};
    const DWORD attributes = GetFileAttributesW(full);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return {};
    std::wstring folder(full, n);
    while (folder.size() > 1 && (folder.back() == L'\\' || folder.back() == L'/') && folder != rootOf(folder))
        folder.pop_back();
    if (folder.size() == 2 && folder[1] == L':')
        folder += L'\\';
    if (folder.size() >= 2 && folder[1] == L':')
        folder[0] = upper(folder.substr(0, 1))[0];
    return folder;
}

FolderWalk::FolderWalk()
{
    readDrives();
}

void FolderWalk::readDrives()
{
    m_drives.clear();
    wchar_t buffer[512] = {};
    const DWORD n = GetLogicalDriveStringsW(511, buffer);
    for (const wchar_t* p = buffer; p < buffer + n && *p; p += lstrlenW(p) + 1) {
        std::wstring root = upper(p);
        std::wstring name = root.substr(0, 2);
        CharLowerBuffW(name.data(), 1);
        m_drives.push_back({name, root});
    }
}

std::wstring FolderWalk::startFolder(const std::wstring& text, const std::wstring& lastChosen) const
{
    if (text.empty()) {
        const std::wstring last = existingFolder(lastChosen);
        return last.empty() ? currentFolder() : last;
    }
    if (isDriveTop(text))
        return driveCurrentFolder(upper(text.substr(0, 2)) + L"\\");
    const std::wstring named = existingFolder(text);
    return named.empty() ? currentFolder() : named;
}

bool FolderWalk::open(const std::wstring& folder)
{
    const std::wstring full = existingFolder(folder);
    if (full.empty() || !SetCurrentDirectoryW(full.c_str()))
        return false;
    m_folder = full;
    const std::wstring root = rootOf(full);
    if (!root.empty())
        driveFolders()[upper(root)] = full;
    return true;
}

bool FolderWalk::openDrive(int index)
{
    return index >= 0 && index < static_cast<int>(m_drives.size()) &&
           open(driveCurrentFolder(m_drives[static_cast<std::size_t>(index)].root));
}

std::wstring FolderWalk::driveCurrentFolder(const std::wstring& root) const
{
    const std::wstring current = currentFolder();
    if (onDrive(current, root))
        return current;
    const auto last = driveFolders().find(upper(root));
    if (last != driveFolders().end()) {
        const std::wstring folder = existingFolder(last->second);
        if (!folder.empty())
            return folder;
    }
    return root;
}

int FolderWalk::driveIndex() const
{
    for (std::size_t i = 0; i < m_drives.size(); ++i)
        if (onDrive(m_folder, m_drives[i].root))
            return static_cast<int>(i);
    return -1;
}

std::vector<FolderWalk::Step> FolderWalk::path() const
{
    std::vector<Step> steps;
    const std::wstring root = rootOf(m_folder);
    if (root.empty())
        return steps;
    steps.push_back({root, root});
    std::wstring folder = root;
    std::size_t start = root.size();
    while (start < m_folder.size()) {
        std::size_t end = m_folder.find(L'\\', start);
        if (end == std::wstring::npos)
            end = m_folder.size();
        const std::wstring name = m_folder.substr(start, end - start);
        if (!name.empty()) {
            if (folder.back() != L'\\')
                folder += L'\\';
            folder += name;
            steps.push_back({name, folder});
        }
        start = end + 1;
    }
    return steps;
}

std::vector<std::wstring> FolderWalk::subFolders() const
{
    return entries(m_folder, true);
}

std::vector<std::wstring> FolderWalk::files() const
{
    return entries(m_folder, false);
}

namespace {

std::function<void(HWND)>& networkDialogHook()
{
    static std::function<void(HWND)> hook;
    return hook;
}

using ConnectionDialog = DWORD(WINAPI*)(HWND, DWORD);

// mpr.dll comes with Windows, but is loaded only when asked for, so the
// program imports nothing more.
ConnectionDialog systemConnectionDialog()
{
    static const ConnectionDialog dialog = []() -> ConnectionDialog {
        HMODULE mpr = LoadLibraryW(L"mpr.dll");
        FARPROC found = mpr ? GetProcAddress(mpr, "WNetConnectionDialog") : nullptr;
        return reinterpret_cast<ConnectionDialog>(reinterpret_cast<void*>(found));
    }();
    return dialog;
}

} // namespace

bool networkDialogOffered()
{
    return networkDialogHook() || systemConnectionDialog();
}

bool connectNetworkDrive(HWND owner)
{
    if (networkDialogHook()) {
        networkDialogHook()(owner);
        return true;
    }
    const ConnectionDialog dialog = systemConnectionDialog();
    if (!dialog)
        return false;
    // Whatever it answers (connected, cancelled, or no network at all), the
    // drives are read again by the caller.
    dialog(owner, RESOURCETYPE_DISK);
    return true;
}

void setNetworkDialog(std::function<void(HWND)> dialog)
{
    networkDialogHook() = std::move(dialog);
}

namespace {

// The dialog itself: a template with no controls, which it makes in pixels.
class SelectDirectoryDialog {
public:
    SelectDirectoryDialog(const std::wstring& start) : m_start(start) {}

    std::optional<std::wstring> run(HWND owner)
    {
        const INT_PTR result = DialogBoxIndirectParamW(instance(), dialogTemplate(), owner,
                                                       &SelectDirectoryDialog::proc, reinterpret_cast<LPARAM>(this));
        if (result == IDOK)
            return m_walk.folder();
        return std::nullopt;
    }

private:
    static const DLGTEMPLATE* dialogTemplate()
    {
        // DLGTEMPLATE, then no menu, the default class, the title, and the
        // font's size and name: words, aligned as the header leaves them.
        static const std::vector<WORD> words = [] {
            std::vector<WORD> w(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
            auto* t = reinterpret_cast<DLGTEMPLATE*>(w.data());
            t->style = DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;
            t->cx = 100;
            t->cy = 100;
            w.push_back(0); // menu
            w.push_back(0); // class
            for (const wchar_t* c = kSelectDirectoryTitle; *c; ++c)
                w.push_back(static_cast<WORD>(*c));
            w.push_back(0);
            w.push_back(8);
            for (const wchar_t* c = L"MS Sans Serif"; *c; ++c)
                w.push_back(static_cast<WORD>(*c));
            w.push_back(0);
            return w;
        }();
        return reinterpret_cast<const DLGTEMPLATE*>(words.data());
    }

    static INT_PTR CALLBACK proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_INITDIALOG)
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        auto* self = reinterpret_cast<SelectDirectoryDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
        if (!self)
            return FALSE;
        return static_cast<INT_PTR>(guarded([&] { return self->handle(dialog, message, wParam, lParam); }, FALSE));
    }

    HWND control(const wchar_t* cls, const wchar_t* text, DWORD style, int left, int top, int width, int height,
                 int id = 0, DWORD exStyle = 0)
    {
        HWND window = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, scaled(left), scaled(top),
                                      scaled(width), scaled(height), m_dialog,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance(), nullptr);
        SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(formFont()), FALSE);
        return window;
    }

    void build()
    {
        // Each label goes just before what it names, so its access key reaches it.
        control(L"STATIC", L"Directory &Name:", 0, 8, 6, 200, 13);
        control(L"STATIC", L"", SS_PATHELLIPSIS | SS_NOPREFIX, 8, 24, 408, 13, kDirLabelId);
        control(L"STATIC", L"&Directories:", 0, 8, 44, 200, 13);
        m_dirList = control(L"LISTBOX", L"",
                            WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS |
                                LBS_NOINTEGRALHEIGHT,
                            8, 60, 200, 150, kDirListId, WS_EX_CLIENTEDGE);
        SendMessageW(m_dirList, LB_SETITEMHEIGHT, 0, scaled(16));
        // The files are for information only: grey, and never selected.
        HWND filesLabel = control(L"STATIC", L"&Files: (*.*)", 0, 216, 44, 200, 13);
        EnableWindow(filesLabel, FALSE);
        m_fileList = control(L"LISTBOX", L"", WS_VSCROLL | LBS_NOSEL | LBS_NOINTEGRALHEIGHT, 216, 60, 200, 104,
                             kFileListId, WS_EX_CLIENTEDGE);
        control(L"STATIC", L"D&rives:", 0, 216, 172, 200, 13);
        m_driveCombo = control(L"COMBOBOX", L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 216, 189, 200, 150,
                               kDriveComboId);
        listDrives();
        // Offered only where the system has a dialog for connecting network drives.
        control(L"BUTTON", L"Ne&twork...", WS_TABSTOP, 8, 222, 75, 25, kNetworkId);
        ShowWindow(GetDlgItem(m_dialog, kNetworkId), networkDialogOffered() ? SW_SHOW : SW_HIDE);
        control(L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, 260, 222, 75, 25, IDOK);
        control(L"BUTTON", L"Cancel", WS_TABSTOP, 341, 222, 75, 25, IDCANCEL);
        m_openPicture = loadPicture(kOpenFolder);
        m_closedPicture = loadPicture(kClosedFolder);
    }

    void listDrives()
    {
        SendMessageW(m_driveCombo, CB_RESETCONTENT, 0, 0);
        for (const Drive& drive : m_walk.drives())
            SendMessageW(m_driveCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(drive.name.c_str()));
    }

    // Its inside takes its pixel size; the whole window is centred on the
    // screen, as the main window and the boxes are.
    void place()
    {
        const DWORD style = static_cast<DWORD>(GetWindowLongW(m_dialog, GWL_STYLE));
        const DWORD exStyle = static_cast<DWORD>(GetWindowLongW(m_dialog, GWL_EXSTYLE));
        RECT frame{0, 0, scaled(kClientWidth), scaled(kClientHeight)};
        AdjustWindowRectEx(&frame, style, FALSE, exStyle);
        SetWindowPos(m_dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        centreOnScreen(m_dialog);
    }

    void openFolder(const std::wstring& folder)
    {
        // A folder that went away or may not be entered leaves the dialog where it was.
        if (!m_walk.open(folder))
            beep();
        showFolder();
    }

    void showFolder()
    {
        SetDlgItemTextW(m_dialog, kDirLabelId, m_walk.folder().c_str());
        SendMessageW(m_dirList, WM_SETREDRAW, FALSE, 0);
        SendMessageW(m_dirList, LB_RESETCONTENT, 0, 0);
        m_items.clear();
        int level = 0;
        for (const FolderWalk::Step& step : m_walk.path()) {
            m_items.push_back({step.folder, level++, true});
            SendMessageW(m_dirList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(step.name.c_str()));
        }
        const int open = static_cast<int>(m_items.size()) - 1;
        std::wstring prefix = m_walk.folder();
        if (!prefix.empty() && prefix.back() != L'\\')
            prefix += L'\\';
        for (const std::wstring& name : m_walk.subFolders()) {
            m_items.push_back({prefix + name, level, false});
            SendMessageW(m_dirList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        }
        SendMessageW(m_dirList, LB_SETCURSEL, static_cast<WPARAM>(open), 0);
        SendMessageW(m_dirList, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(m_dirList, nullptr, TRUE);

        SendMessageW(m_fileList, LB_RESETCONTENT, 0, 0);
        for (const std::wstring& name : m_walk.files())
            SendMessageW(m_fileList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        SendMessageW(m_driveCombo, CB_SETCURSEL, static_cast<WPARAM>(m_walk.driveIndex()), 0);
    }

    void drawItem(const DRAWITEMSTRUCT& item) const
    {
        if (item.itemID == static_cast<UINT>(-1) || item.itemID >= m_items.size())
            return;
        const Item& entry = m_items[item.itemID];
        HDC dc = item.hDC;
        const bool selected = item.itemState & ODS_SELECTED;
        FillRect(dc, &item.rcItem, GetSysColorBrush(COLOR_WINDOW));
        const int left = item.rcItem.left + 2 + scaled(kIndent) * entry.level;
        const int height = item.rcItem.bottom - item.rcItem.top;
        drawPicture(dc, entry.open ? m_openPicture : m_closedPicture, left,
                    item.rcItem.top + (height - kPictureHeight) / 2, 0, kPictureWidth, kPictureHeight);
        wchar_t name[MAX_PATH] = {};
        SendMessageW(m_dirList, LB_GETTEXT, item.itemID, reinterpret_cast<LPARAM>(name));
        RECT text{left + kPictureWidth + 4, item.rcItem.top, item.rcItem.right, item.rcItem.bottom};
        HGDIOBJ oldFont = SelectObject(dc, formFont());
        SIZE extent{};
        GetTextExtentPoint32W(dc, name, lstrlenW(name), &extent);
        RECT mark{text.left - 1, text.top, std::min<LONG>(text.left + extent.cx + 2, text.right), text.bottom};
        if (selected)
            FillRect(dc, &mark, GetSysColorBrush(COLOR_HIGHLIGHT));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        DrawTextW(dc, name, -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, oldFont);
        if (item.itemState & ODS_FOCUS)
            DrawFocusRect(dc, &mark);
    }

    LRESULT handle(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
    {
        switch (message) {
        case WM_INITDIALOG:
            m_dialog = dialog;
            build();
            place();
            if (!m_walk.open(m_start) && !m_walk.open(currentFolder()))
                m_walk.open(L"C:\\");
            showFolder();
            SetFocus(m_dirList);
            return FALSE;
        case WM_DRAWITEM:
            if (wParam == kDirListId) {
                drawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
                return TRUE;
            }
            return FALSE;
        case WM_CTLCOLORLISTBOX:
            if (reinterpret_cast<HWND>(lParam) == m_fileList) {
                HDC dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
                SetBkColor(dc, GetSysColor(COLOR_WINDOW));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
            }
            return FALSE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
            case kDirListId:
                if (HIWORD(wParam) == LBN_DBLCLK)
                    openHighlighted();
                return TRUE;
            case kDriveComboId:
                if (HIWORD(wParam) == CBN_SELCHANGE) {
                    const int index = static_cast<int>(SendMessageW(m_driveCombo, CB_GETCURSEL, 0, 0));
                    if (!m_walk.openDrive(index))
                        beep();
                    showFolder();
                }
                return TRUE;
            case kNetworkId:
                if (HIWORD(wParam) == BN_CLICKED) {
                    connectNetworkDrive(dialog);
                    m_walk.readDrives();
                    listDrives();
                    showFolder();
                }
                return TRUE;
            case IDOK:
                // Enter on a highlighted folder opens it, as a double click
                // does; on the open folder itself it is "OK".
                if (GetFocus() == m_dirList && highlighted() && *highlighted() != m_walk.folder()) {
                    openHighlighted();
                    return TRUE;
                }
                EndDialog(dialog, IDOK);
                return TRUE;
            case IDCANCEL:
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            default:
                return FALSE;
            }
        default:
            return FALSE;
        }
    }

    const std::wstring* highlighted() const
    {
        const LRESULT row = SendMessageW(m_dirList, LB_GETCURSEL, 0, 0);
        if (row == LB_ERR || static_cast<std::size_t>(row) >= m_items.size())
            return nullptr;
        return &m_items[static_cast<std::size_t>(row)].folder;
    }

    void openHighlighted()
    {
        if (const std::wstring* folder = highlighted())
            openFolder(std::wstring(*folder));
    }

    struct Item {
        std::wstring folder;
        int level;
        bool open; // on the open folder's path
    };

    std::wstring m_start;
    FolderWalk m_walk;
    HWND m_dialog = nullptr;
    HWND m_dirList = nullptr;
    HWND m_fileList = nullptr;
    HWND m_driveCombo = nullptr;
    std::vector<Item> m_items;
    Picture m_openPicture;
    Picture m_closedPicture;
};

} // namespace

std::optional<std::wstring> selectDirectory(HWND owner, const std::wstring& text, const std::wstring& lastChosen)
{
    SelectDirectoryDialog dialog(FolderWalk().startFolder(text, lastChosen));
    return dialog.run(owner);
}

} // namespace winapp
