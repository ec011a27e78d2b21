#include "platform/framework_win.h"

#include <exception>

CWinApp* CWinApp::s_current = nullptr;

const MessageMap* CCmdTarget::GetMessageMap() const {
    static const MessageMap map = {nullptr, nullptr, 0};
    return &map;
}

const MessageMapEntry* CCmdTarget::FindCommandEntry(WORD notification, int controlId) const {
    for (const MessageMap* map = GetMessageMap(); map != nullptr; map = map->base) {
        for (size_t i = 0; i < map->count; ++i) {
            const MessageMapEntry& entry = map->entries[i];
            if (entry.notification == notification && entry.controlId == controlId) return &entry;
        }
    }
    return nullptr;
}

CWinApp::CWinApp() { s_current = this; }

CWinApp::~CWinApp() {
    if (s_current == this) s_current = nullptr;
}

bool CWinApp::InitInstance() { return true; }

void CWnd::CenterWindow() {
    RECT window;
    if (!::GetWindowRect(m_hWnd, &window)) return;
    RECT area;
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    if (owner != nullptr && ::IsWindowVisible(owner) && !::IsIconic(owner)) {
        ::GetWindowRect(owner, &area);
    } else {
        ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    }
    int width = window.right - window.left;
    int height = window.bottom - window.top;
    int left = area.left + ((area.right - area.left) - width) / 2;
    int top = area.top + ((area.bottom - area.top) - height) / 2;
    ::SetWindowPos(m_hWnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

CDialog::~CDialog() {
    if (m_hWnd != nullptr) ::DestroyWindow(m_hWnd);
}

INT_PTR CDialog::DoModal() {
    m_modal = true;
    INT_PTR result =
        ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_templateId), m_parent,
                          &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    m_modal = false;
    return result;
}

BOOL CDialog::Create(UINT templateId, HWND parent) {
    m_templateId = templateId;
    m_parent = parent;
    m_modal = false;
    HWND window =
        ::CreateDialogParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), parent,
                             &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    return window != nullptr;
}

void CDialog::EndDialogWith(INT_PTR result) {
    if (m_modal) {
        ::EndDialog(m_hWnd, result);
    } else {
        ::DestroyWindow(m_hWnd);
    }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Exceptions must not unwind through the system's dialog manager.
    try {
        CDialog* self;
        if (message == WM_INITDIALOG) {
            self = reinterpret_cast<CDialog*>(lParam);
            ::SetWindowLongPtrA(window, DWLP_USER, lParam);
            self->m_hWnd = window;
            return self->HandleInitDialog();
        }
        self = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(window, DWLP_USER));
        if (self == nullptr) return FALSE;
        switch (message) {
            case WM_COMMAND:
                return self->HandleCommand(HIWORD(wParam), LOWORD(wParam));
            case WM_DPICHANGED:
                self->OnDpiChanged();
                return FALSE;
            case WM_NCDESTROY:
                self->m_hWnd = nullptr;
                ::SetWindowLongPtrA(window, DWLP_USER, 0);
                return FALSE;
            default:
                return FALSE;
        }
    } catch (const std::exception&) {
        return FALSE;
    } catch (...) {
        return FALSE;
    }
}

BOOL CDialog::HandleInitDialog() {
    RECT before = {};
    ::GetWindowRect(m_hWnd, &before);
    BOOL result = OnInitDialog();
    CenterIfUnplaced(before);
    return result;
}

void CDialog::CenterIfUnplaced(const RECT& before) {
    if (::IsWindowVisible(m_hWnd)) return;
    if ((::GetWindowLongA(m_hWnd, GWL_STYLE) &
         (WS_CHILD | DS_CENTER | DS_CENTERMOUSE | DS_ABSALIGN)) != 0) {
        return;
    }
    RECT now;
    if (!::GetWindowRect(m_hWnd, &now) || !::EqualRect(&now, &before)) return;
    CenterWindow();
}

bool CDialog::HandleCommand(WORD notification, int controlId) {
    if (const MessageMapEntry* entry = FindCommandEntry(notification, controlId)) {
        (this->*(entry->handler))();
        return true;
    }
    if (controlId == IDOK) {
        OnOK();
        return true;
    }
    if (controlId == IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}
