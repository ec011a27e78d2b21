// The program's small application and dialog layer: one application object
// whose start-up hook the entry point calls once, and dialogs built from
// resource templates with a static message map per class.
#pragma once

#include <windows.h>

#include <cstddef>

class CDialog;

// The root of the framework's classes; every class answers its run-time name.
class CObject {
public:
    virtual ~CObject() = default;
    virtual const char* GetRuntimeClassName() const { return "CObject"; }

protected:
    CObject() = default;
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;
};

// One routing rule: a notification from a control id goes to a handler.
struct MessageMapEntry {
    WORD notification;  // BN_CLICKED for button clicks
    int controlId;
    void (CDialog::*handler)();
};

// A class's static table of rules, chained to its base class's table.
struct MessageMap {
    const MessageMap* base;
    const MessageMapEntry* entries;
    size_t count;
};

// Something that receives commands through its message map.
class CCmdTarget : public CObject {
public:
    const char* GetRuntimeClassName() const override { return "CCmdTarget"; }
    virtual const MessageMap* GetMessageMap() const;

protected:
    // The first entry of the map chain that matches, or null.
    const MessageMapEntry* FindCommandEntry(WORD notification, int controlId) const;
};

class CWinThread : public CCmdTarget {
public:
    const char* GetRuntimeClassName() const override { return "CWinThread"; }
};

// The one application object. Constructing it registers it; the entry point
// calls InitInstance once and ends the program when it returns.
class CWinApp : public CWinThread {
public:
    CWinApp();
    ~CWinApp() override;
    const char* GetRuntimeClassName() const override { return "CWinApp"; }

    // The framework's start-up hook; the base has nothing of its own to set up.
    virtual bool InitInstance();
    // Called once InitInstance has returned; answers the process's exit code.
    virtual int ExitInstance() { return 0; }

    // Lets dialogs host ActiveX controls. The program's templates hold none,
    // so recording the request is all that is needed.
    void EnableControlContainer() { m_controlContainerEnabled = true; }

    static CWinApp* Current() { return s_current; }

protected:
    bool m_controlContainerEnabled = false;

private:
    static CWinApp* s_current;
};

// A window owned by an object; m_hWnd is null while no window exists.
class CWnd : public CCmdTarget {
public:
    const char* GetRuntimeClassName() const override { return "CWnd"; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
    BOOL DestroyWindow() { return ::DestroyWindow(m_hWnd); }
    BOOL InvalidateRect(BOOL erase) { return ::InvalidateRect(m_hWnd, nullptr, erase); }
    BOOL UpdateWindow() { return ::UpdateWindow(m_hWnd); }
    BOOL SetWindowText(const char* text) { return ::SetWindowTextA(m_hWnd, text); }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    BOOL SetDlgItemText(int id, const char* text) { return ::SetDlgItemTextA(m_hWnd, id, text); }
    BOOL ShowDlgItem(int id, int command) { return ::ShowWindow(GetDlgItem(id), command); }
    void SetIcon(HICON icon, BOOL big) {
        ::SendMessageA(m_hWnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                       reinterpret_cast<LPARAM>(icon));
    }
    HWND SetActiveWindow() { return ::SetActiveWindow(m_hWnd); }
    BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
    BOOL GetWindowRect(RECT* rect) const { return ::GetWindowRect(m_hWnd, rect); }
    BOOL SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
        return ::SetWindowPos(m_hWnd, insertAfter, x, y, cx, cy, flags);
    }

    // Centres the window on its owner when that is visible and not minimised,
    // otherwise on the work area of the primary monitor.
    void CenterWindow();

protected:
    HWND m_hWnd = nullptr;
};

// A dialog from a resource template, modal (DoModal) or modeless (Create).
class CDialog : public CWnd {
public:
    CDialog(UINT templateId, HWND parent) : m_templateId(templateId), m_parent(parent) {}
    ~CDialog() override;
    const char* GetRuntimeClassName() const override { return "CDialog"; }

    // Runs the dialog modally; answers IDOK or IDCANCEL (-1 when it could not be created).
    INT_PTR DoModal();
    // Creates the dialog modelessly; nonzero once the window exists.
    BOOL Create(UINT templateId, HWND parent);

    virtual BOOL OnInitDialog() { return TRUE; }
    // The window moved to a display of another scale (the system has
    // scaled the dialog already).
    virtual void OnDpiChanged() {}
    virtual void OnOK() { EndDialogWith(IDOK); }
    virtual void OnCancel() { EndDialogWith(IDCANCEL); }

protected:
    void EndDialogWith(INT_PTR result);

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    BOOL HandleInitDialog();
    bool HandleCommand(WORD notification, int controlId);
    // A hidden dialog that OnInitDialog left where the template put it, and
    // whose template asks for no placement of its own, is centred.
    void CenterIfUnplaced(const RECT& before);

    UINT m_templateId;
    HWND m_parent;
    bool m_modal = false;
};
