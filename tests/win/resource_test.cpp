// Reads the built program's own resources back: dialog templates, icon group,
// manifest and version block. The dialogs are checked for what makes them
// work, not for where each control sits: every control the code addresses is
// there once, every control lies inside its dialog, no two controls shown at
// once cover each other, and the texts and styles the user meets are right.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "resource.h"
#include "version.h"
#include "test_support.h"

namespace {

class Image {
public:
    Image() {
        std::string path = testing_support::ProgramFolder() + "\\..\\" + RIZEZUVU_EXE_NAME;
        module_ = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    }
    ~Image() {
        if (module_ != nullptr) ::FreeLibrary(module_);
    }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    bool Loaded() const { return module_ != nullptr; }

    std::string Resource(LPCSTR type, int id) const {
        HRSRC found = ::FindResourceA(module_, MAKEINTRESOURCEA(id), type);
        if (found == nullptr) return std::string();
        HGLOBAL loaded = ::LoadResource(module_, found);
        const char* data = static_cast<const char*>(::LockResource(loaded));
        return std::string(data, ::SizeofResource(module_, found));
    }

private:
    HMODULE module_ = nullptr;
};

// A cursor over a resource's bytes; reading past the end gives zeros and
// marks the reader as overrun.
class TemplateReader {
public:
    explicit TemplateReader(const std::string& bytes) : bytes_(bytes) {}
    WORD Word() {
        WORD value = 0;
        if (offset_ + 2 <= bytes_.size()) std::memcpy(&value, bytes_.data() + offset_, 2);
        offset_ += 2;
        return value;
    }
    DWORD Dword() {
        DWORD low = Word();
        return low | (static_cast<DWORD>(Word()) << 16);
    }
    short Short() { return static_cast<short>(Word()); }
    BYTE Byte() {
        BYTE value = offset_ < bytes_.size() ? static_cast<BYTE>(bytes_[offset_]) : 0;
        ++offset_;
        return value;
    }
    // A string, or "#ordinal" for an ordinal.
    std::string StringOrOrdinal() {
        WORD first = Word();
        if (first == 0xFFFF) return "#" + std::to_string(Word());
        std::wstring text;
        for (WORD c = first; c != 0 && !Overran(); c = Word()) text += static_cast<wchar_t>(c);
        return Narrow(text);
    }
    std::string String() {
        std::wstring text;
        for (WORD c = Word(); c != 0 && !Overran(); c = Word()) text += static_cast<wchar_t>(c);
        return Narrow(text);
    }
    void AlignDword() { offset_ = (offset_ + 3) & ~static_cast<size_t>(3); }
    void Skip(size_t count) { offset_ += count; }
    bool Overran() const { return offset_ > bytes_.size(); }

private:
    // In the program's own code page (Windows-1252), as its texts are written.
    static std::string Narrow(const std::wstring& text) {
        char out[512] = "";
        ::WideCharToMultiByte(1252, 0, text.c_str(), -1, out, sizeof out, nullptr, nullptr);
        return out;
    }
    const std::string& bytes_;
    size_t offset_ = 0;
};

struct Item {
    DWORD exStyle, style;
    short x, y, cx, cy;
    int id;
    std::string windowClass, title;
};

struct Dialog {
    WORD version, signature;
    DWORD exStyle, style;
    short cx, cy;  // the client area, in dialog units
    std::string title;
    WORD pointSize;
    std::string typeface;
    std::vector<Item> items;
    bool whole;  // the template was read to its last control without running out
};

// The predefined classes a template names by ordinal, by name.
std::string ClassName(const std::string& windowClass) {
    if (windowClass == "#128") return "Button";
    if (windowClass == "#130") return "Static";
    return windowClass;
}

// An extended dialog template (DLGTEMPLATEEX and its DLGITEMTEMPLATEEX items).
Dialog ParseDialog(const std::string& bytes) {
    TemplateReader reader(bytes);
    Dialog d;
    d.version = reader.Word();
    d.signature = reader.Word();
    reader.Dword();  // help id
    d.exStyle = reader.Dword();
    d.style = reader.Dword();
    WORD count = reader.Word();
    reader.Short();  // x
    reader.Short();  // y
    d.cx = reader.Short();
    d.cy = reader.Short();
    reader.StringOrOrdinal();  // menu
    reader.StringOrOrdinal();  // window class
    d.title = reader.String();
    d.pointSize = reader.Word();
    reader.Word();  // weight
    reader.Byte();  // italic
    reader.Byte();  // character set
    d.typeface = reader.String();
    for (WORD i = 0; i < count && !reader.Overran(); ++i) {
        reader.AlignDword();
        Item item;
        reader.Dword();  // help id
        item.exStyle = reader.Dword();
        item.style = reader.Dword();
        item.x = reader.Short();
        item.y = reader.Short();
        item.cx = reader.Short();
        item.cy = reader.Short();
        item.id = static_cast<int>(reader.Dword());
        item.windowClass = ClassName(reader.StringOrOrdinal());
        item.title = reader.StringOrOrdinal();
        reader.Skip(reader.Word());  // creation data
        d.items.push_back(item);
    }
    d.whole = !reader.Overran() && d.items.size() == count;
    return d;
}

bool SameClass(const std::string& a, const std::string& b) {
    return ::lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// The part of a control's style that says what kind of button or static it is.
DWORD Kind(const Item& item) {
    if (SameClass(item.windowClass, "Button")) return item.style & BS_TYPEMASK;
    if (SameClass(item.windowClass, "Static")) return item.style & SS_TYPEMASK;
    return 0;
}

bool Overlap(const Item& a, const Item& b) {
    return a.x < b.x + b.cx && b.x < a.x + a.cx && a.y < b.y + b.cy && b.y < a.y + a.cy;
}

std::string Describe(const Item& item) {
    return item.windowClass + " " + std::to_string(item.id) + " \"" + item.title + "\"";
}

// A control the code addresses by its id: what it must be for the code and
// the user.
struct ControlRule {
    int id;
    const char* windowClass;
    const char* text;  // the template's text, exactly
    DWORD kind;        // the button or static kind (Kind above)
    DWORD flags;       // style bits it must have
};

struct DialogRule {
    const char* name;  // names the test cases
    int templateId;
    const char* title;  // exactly
    DWORD styleRequired;
    DWORD styleForbidden;
    DWORD exStyleRequired;
    std::vector<ControlRule> controls;
    // Controls the code shows at most one of at a time: they may share a place.
    std::vector<int> shownOneAtATime;
    // Whether the user can act on the dialog (a button, a tab stop).
    bool takesInput;
};

// Names the case in GoogleTest's messages.
void PrintTo(const DialogRule& rule, std::ostream* out) { *out << rule.name; }

const std::vector<DialogRule>& DialogRules() {
    static const std::vector<DialogRule> rules = {
        // The message box: a title bar with the configured title and a close
        // box (Escape and the close box end it with IDCANCEL); OK is the
        // default button, so Enter presses it, and the first tab stop.
        // CMsg::ChooseButtons shows Download or Help, never both.
        {"Message",
         IDD_MSG,
         "Orvexa Update",
         WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
         WS_CHILD,
         0,
         {
             {IDOK, "Button", "OK", BS_DEFPUSHBUTTON, WS_VISIBLE | WS_TABSTOP},
             // Wraps its text (SS_LEFT, not SS_LEFTNOWORDWRAP).
             {IDC_MSG_TEXT, "Static", "", SS_LEFT, WS_VISIBLE},
             {IDC_DOWNLOAD, "Button", "Download Orvexa", BS_PUSHBUTTON, WS_TABSTOP},
             {ID_HELP, "Button", "Help", BS_PUSHBUTTON, WS_TABSTOP},
         },
         {IDC_DOWNLOAD, ID_HELP},
         true},
        // The status window: no title bar, no taskbar button (a tool
        // window), nothing to press. It is created hidden, so that the
        // framework centres it before it is shown.
        {"Status",
         IDD_STATUS,
         "",
         WS_POPUP,
         WS_CHILD | WS_CAPTION | WS_VISIBLE,
         WS_EX_TOOLWINDOW,
         {
             // One line, centred on the icon's height.
             {IDC_STATUS_TEXT, "Static", "Updating remote database\x85", SS_LEFT,
              WS_VISIBLE | SS_CENTERIMAGE},
             {IDC_STATUS_PROGRESS, PROGRESS_CLASSA, "", 0, WS_VISIBLE},
         },
         {},
         false},
    };
    return rules;
}

class DialogTemplate : public testing::TestWithParam<DialogRule> {
protected:
    void SetUp() override {
        ASSERT_TRUE(image_.Loaded());
        std::string bytes = image_.Resource(RT_DIALOG, GetParam().templateId);
        ASSERT_FALSE(bytes.empty()) << GetParam().name;
        dialog_ = ParseDialog(bytes);
        ASSERT_TRUE(dialog_.whole);
        // An extended template (DIALOGEX), the only kind ParseDialog reads.
        ASSERT_EQ(dialog_.version, 1);
        ASSERT_EQ(dialog_.signature, 0xFFFF);
    }
    bool ShownOneAtATime(const Item& a, const Item& b) const {
        const std::vector<int>& group = GetParam().shownOneAtATime;
        auto in = [&group](int id) {
            for (int member : group)
                if (member == id) return true;
            return false;
        };
        return in(a.id) && in(b.id);
    }

    Image image_;
    Dialog dialog_;
};

// Every control the code addresses is there exactly once (GetDlgItem finds
// only the first of two), of the class, kind, text and style it needs.
TEST_P(DialogTemplate, HoldsEachControlTheCodeAddresses) {
    for (const ControlRule& rule : GetParam().controls) {
        SCOPED_TRACE("control " + std::to_string(rule.id));
        const Item* found = nullptr;
        int count = 0;
        for (const Item& item : dialog_.items) {
            if (item.id != rule.id) continue;
            ++count;
            found = &item;
        }
        ASSERT_EQ(count, 1);
        EXPECT_TRUE(SameClass(found->windowClass, rule.windowClass)) << found->windowClass;
        EXPECT_EQ(found->title, rule.text);
        EXPECT_EQ(Kind(*found), rule.kind);
        EXPECT_EQ(found->style & rule.flags, rule.flags);
        EXPECT_EQ(found->style & WS_CHILD, static_cast<DWORD>(WS_CHILD));
    }
}

// Each control has a size and lies inside the client area the template asks
// for, so nothing is cut off by the frame.
TEST_P(DialogTemplate, EveryControlLiesInsideTheClientArea) {
    ASSERT_GT(dialog_.cx, 0);
    ASSERT_GT(dialog_.cy, 0);
    for (const Item& item : dialog_.items) {
        SCOPED_TRACE(Describe(item));
        EXPECT_GT(item.cx, 0);
        EXPECT_GT(item.cy, 0);
        EXPECT_GE(item.x, 0);
        EXPECT_GE(item.y, 0);
        EXPECT_LE(item.x + item.cx, dialog_.cx);
        EXPECT_LE(item.y + item.cy, dialog_.cy);
    }
}

// No two controls that can be seen at once cover each other. The template
// holds no group box, so there is no control meant to contain others.
TEST_P(DialogTemplate, NoTwoVisibleControlsOverlap) {
    for (size_t i = 0; i < dialog_.items.size(); ++i) {
        const Item& a = dialog_.items[i];
        if ((a.style & WS_VISIBLE) == 0) continue;
        for (size_t j = i + 1; j < dialog_.items.size(); ++j) {
            const Item& b = dialog_.items[j];
            if ((b.style & WS_VISIBLE) == 0 || ShownOneAtATime(a, b)) continue;
            EXPECT_FALSE(Overlap(a, b)) << Describe(a) << " and " << Describe(b);
        }
    }
}

// The program's icon beside the text: the one icon control, which
// platform::FitDialogIcons redraws at the window's scale.
TEST_P(DialogTemplate, ShowsTheProgramsIcon) {
    int icons = 0;
    for (const Item& item : dialog_.items) {
        if (!SameClass(item.windowClass, "Static") || Kind(item) != SS_ICON) continue;
        ++icons;
        EXPECT_EQ(item.title, "#" + std::to_string(IDI_APP));
        EXPECT_NE(item.style & WS_VISIBLE, 0u);
    }
    EXPECT_EQ(icons, 1);
}

// The title, the window's styles, and the system's dialog font (DS_SHELLFONT
// with "MS Shell Dlg" maps to the system's own face).
TEST_P(DialogTemplate, TitleStylesAndFont) {
    const DialogRule& rule = GetParam();
    EXPECT_EQ(dialog_.title, rule.title);
    EXPECT_EQ(dialog_.style & rule.styleRequired, rule.styleRequired);
    EXPECT_EQ(dialog_.style & rule.styleForbidden, 0u);
    EXPECT_EQ(dialog_.exStyle & rule.exStyleRequired, rule.exStyleRequired);
    EXPECT_EQ(dialog_.style & DS_SHELLFONT, static_cast<DWORD>(DS_SHELLFONT));
    EXPECT_EQ(dialog_.typeface, "MS Shell Dlg");
    EXPECT_EQ(dialog_.pointSize, 8);
}

// A window with nothing to press has no button and no tab stop; one that
// takes input has a default button.
TEST_P(DialogTemplate, InputOnlyWhereTheDialogTakesIt) {
    bool defaultButton = false;
    for (const Item& item : dialog_.items) {
        bool button = SameClass(item.windowClass, "Button");
        if (!GetParam().takesInput) {
            EXPECT_FALSE(button) << Describe(item);
            EXPECT_EQ(item.style & WS_TABSTOP, 0u) << Describe(item);
        }
        if (button && Kind(item) == BS_DEFPUSHBUTTON) defaultButton = true;
    }
    EXPECT_EQ(defaultButton, GetParam().takesInput);
}

INSTANTIATE_TEST_SUITE_P(Resources, DialogTemplate, testing::ValuesIn(DialogRules()),
                         [](const testing::TestParamInfo<DialogRule>& rule) {
                             return std::string(rule.param.name);
                         });

// Each size the system draws the small (16) and large (32 pixel) icon at, at
// 100, 125, 150, 200 and 300 percent, is in the group, so none is stretched.
TEST(Resources, IconGroupHasEachSizeTheSystemDraws) {
    Image image;
    ASSERT_TRUE(image.Loaded());
    std::string group = image.Resource(RT_GROUP_ICON, IDI_APP);
    ASSERT_GE(group.size(), 6u);
    TemplateReader reader(group);
    EXPECT_EQ(reader.Word(), 0);
    EXPECT_EQ(reader.Word(), 1);  // icons
    WORD count = reader.Word();
    std::vector<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        int width = reader.Byte();
        int height = reader.Byte();
        EXPECT_EQ(width, height);
        sizes.push_back(width == 0 ? 256 : width);
        reader.Skip(12);
    }
    ASSERT_FALSE(reader.Overran());
    for (int base : {16, 32}) {
        for (int percent : {100, 125, 150, 200, 300}) {
            int size = ::MulDiv(base, percent, 100);
            EXPECT_NE(std::find(sizes.begin(), sizes.end(), size), sizes.end()) << size;
        }
    }
}

TEST(Resources, ManifestAsksForAdministratorCommonControls6AndDisplayScale) {
    Image image;
    ASSERT_TRUE(image.Loaded());
    std::string manifest = image.Resource(RT_MANIFEST, 1);
    EXPECT_NE(manifest.find("level=\"requireAdministrator\" uiAccess=\"false\""),
              std::string::npos);
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos);
    // Drawn at the display's scale, not stretched as a bitmap.
    EXPECT_NE(manifest.find(">true/pm</dpiAware>"), std::string::npos);
    EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos);
    // Run as what it is, not in a compatibility context: Vista to 10 and 11.
    for (const char* id :
         {"{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
          "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
        EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"") + id + "\"/>"), std::string::npos)
            << id;
}

// The version block, in numbers and in text, and the manifest's identity say
// the version the log lines and ovpack give.
TEST(Resources, VersionBlockAndManifestSayTheToolsVersion) {
    Image image;
    ASSERT_TRUE(image.Loaded());
    unsigned fields[4] = {};
    ASSERT_EQ(
        std::sscanf(kToolVersion, "%u.%u.%u.%u", &fields[0], &fields[1], &fields[2], &fields[3]),
        4);
    const DWORD high = (fields[0] << 16) | fields[1];
    const DWORD low = (fields[2] << 16) | fields[3];

    std::string block = image.Resource(RT_VERSION, 1);
    ASSERT_FALSE(block.empty());
    std::vector<char> copy(block.begin(), block.end());
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueA(copy.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);
    for (const char* name : {"FileVersion", "ProductVersion"}) {
        char* text = nullptr;
        std::string query = std::string("\\StringFileInfo\\040904b0\\") + name;
        ASSERT_TRUE(
            ::VerQueryValueA(copy.data(), query.c_str(), reinterpret_cast<void**>(&text), &length))
            << name;
        EXPECT_STREQ(text, kToolVersion) << name;
    }

    std::string manifest = image.Resource(RT_MANIFEST, 1);
    EXPECT_NE(manifest.find(std::string("version=\"") + kToolVersion + "\" processorArchitecture"),
              std::string::npos);
}

}  // namespace
