// Opening a link from an elevated program without elevating what opens it:
// the desktop's shell window is found through the shell windows list, and
// its shell dispatch object runs ShellExecute inside Explorer, with
// Explorer's (the user's) rights. The libraries are loaded from System32
// when a link is opened, like every library the program does not import.
#include <exdisp.h>
#include <servprov.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include <string>

#include "platform/system_library_win.h"
#include "platform/window_services_win.h"

namespace platform {
namespace {

// One COM interface pointer, released at the end of its scope.
template <typename Interface>
class ComPointer {
public:
    ComPointer() = default;
    ComPointer(const ComPointer&) = delete;
    ComPointer& operator=(const ComPointer&) = delete;
    ~ComPointer() {
        if (pointer_ != nullptr) pointer_->Release();
    }
    Interface* operator->() const { return pointer_; }
    Interface** Out() { return &pointer_; }
    void** OutVoid() { return reinterpret_cast<void**>(&pointer_); }
    bool IsSet() const { return pointer_ != nullptr; }

private:
    Interface* pointer_ = nullptr;
};

// A BSTR of the system's allocator, freed at the end of its scope.
class SystemString {
public:
    explicit SystemString(const std::wstring& text) {
        auto allocate =
            SystemFunction<BSTR(WINAPI*)(const OLECHAR*)>("oleaut32.dll", "SysAllocString");
        free_ = SystemFunction<void(WINAPI*)(BSTR)>("oleaut32.dll", "SysFreeString");
        if (allocate != nullptr && free_ != nullptr) value_ = allocate(text.c_str());
    }
    SystemString(const SystemString&) = delete;
    SystemString& operator=(const SystemString&) = delete;
    ~SystemString() {
        if (value_ != nullptr) free_(value_);
    }
    BSTR Get() const { return value_; }

private:
    BSTR value_ = nullptr;
    void(WINAPI* free_)(BSTR) = nullptr;
};

// COM on this thread for the length of one call; left alone when the
// thread already has it in another model.
class ComScope {
public:
    ComScope() {
        auto initialize =
            SystemFunction<HRESULT(WINAPI*)(void*, DWORD)>("ole32.dll", "CoInitializeEx");
        uninitialize_ = SystemFunction<void(WINAPI*)()>("ole32.dll", "CoUninitialize");
        if (initialize != nullptr && uninitialize_ != nullptr) {
            HRESULT result = initialize(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
            usable_ = SUCCEEDED(result) || result == RPC_E_CHANGED_MODE;
            owned_ = SUCCEEDED(result);
        }
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    ~ComScope() {
        if (owned_) uninitialize_();
    }
    bool Usable() const { return usable_; }

private:
    void(WINAPI* uninitialize_)() = nullptr;
    bool usable_ = false;
    bool owned_ = false;
};

std::wstring WideFromAnsi(const char* text) {
    int length = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

VARIANT StringVariant(BSTR text) {
    VARIANT value;
    value.vt = VT_BSTR;
    value.bstrVal = text;
    return value;
}

// False when there is no desktop shell to ask (no Explorer, or one that
// does not offer its dispatch object); nothing was started then.
bool OpenThroughDesktopShell(const char* link, int showCommand) {
    ComScope com;
    if (!com.Usable()) return false;
    auto create = SystemFunction<HRESULT(WINAPI*)(REFCLSID, IUnknown*, DWORD, REFIID, void**)>(
        "ole32.dll", "CoCreateInstance");
    if (create == nullptr) return false;
    ComPointer<IShellWindows> windows;
    if (FAILED(create(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                      windows.OutVoid())))
        return false;
    VARIANT desktopLocation;
    desktopLocation.vt = VT_I4;
    desktopLocation.lVal = CSIDL_DESKTOP;
    VARIANT none;
    none.vt = VT_EMPTY;
    long desktopWindow = 0;
    ComPointer<IDispatch> desktop;
    if (windows->FindWindowSW(&desktopLocation, &none, SWC_DESKTOP, &desktopWindow,
                              SWFO_NEEDDISPATCH, desktop.Out()) != S_OK ||
        !desktop.IsSet())
        return false;
    ComPointer<IServiceProvider> services;
    ComPointer<IShellBrowser> browser;
    ComPointer<IShellView> view;
    ComPointer<IDispatch> viewDispatch;
    ComPointer<IShellFolderViewDual> folderView;
    ComPointer<IDispatch> application;
    ComPointer<IShellDispatch2> shell;
    if (FAILED(desktop->QueryInterface(IID_IServiceProvider, services.OutVoid())) ||
        FAILED(
            services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.OutVoid())) ||
        FAILED(browser->QueryActiveShellView(view.Out())) ||
        FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, viewDispatch.OutVoid())) ||
        FAILED(viewDispatch->QueryInterface(IID_IShellFolderViewDual, folderView.OutVoid())) ||
        FAILED(folderView->get_Application(application.Out())) ||
        FAILED(application->QueryInterface(IID_IShellDispatch2, shell.OutVoid())))
        return false;
    SystemString file(WideFromAnsi(link));
    SystemString verb(L"open");
    if (file.Get() == nullptr || verb.Get() == nullptr) return false;
    VARIANT operation = StringVariant(verb.Get());
    VARIANT show;
    show.vt = VT_I4;
    show.lVal = showCommand;
    return SUCCEEDED(shell->ShellExecute(file.Get(), none, none, operation, show));
}

}  // namespace

void ShellOpen(const char* link, int showCommand) {
    if (OpenThroughDesktopShell(link, showCommand)) return;
    auto execute = SystemFunction<decltype(&::ShellExecuteA)>("shell32.dll", "ShellExecuteA");
    if (execute != nullptr) execute(nullptr, "open", link, nullptr, nullptr, showCommand);
}

}  // namespace platform
