// Reads the built program's own resources back: dialog templates, icon group,
// manifest and version block.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "resource.h"
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

// A cursor over an extended dialog template.
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
    // A string or "#ordinal".
    std::string StringOrOrdinal() {
        WORD first = Word();
        if (first == 0xFFFF) return "#" + std::to_string(Word());
        std::wstring text;
        for (WORD c = first; c != 0; c = Word()) text += static_cast<wchar_t>(c);
        return Narrow(text);
    }
    std::string String() {
        std::wstring text;
        for (WORD c = Word(); c != 0; c = Word()) text += static_cast<wchar_t>(c);
        return Narrow(text);
    }
    void AlignDword() { offset_ = (offset_ + 3) & ~static_cast<size_t>(3); }
    void Skip(size_t count) { offset_ += count; }

private:
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
    short x, y, cx, cy;
    std::string menu, windowClass, title;
    WORD pointSize, weight;
    BYTE italic, charset;
    std::string typeface;
    std::vector<Item> items;
};

Dialog ParseDialog(const std::string& bytes) {
    TemplateReader reader(bytes);
    Dialog d;
    d.version = reader.Word();
    d.signature = reader.Word();
    reader.Dword();  // help id
    d.exStyle = reader.Dword();
    d.style = reader.Dword();
    WORD count = reader.Word();
    d.x = reader.Short();
    d.y = reader.Short();
    d.cx = reader.Short();
    d.cy = reader.Short();
    d.menu = reader.StringOrOrdinal();
    d.windowClass = reader.StringOrOrdinal();
    d.title = reader.String();
    d.pointSize = reader.Word();
    d.weight = reader.Word();
    d.italic = reader.Byte();
    d.charset = reader.Byte();
    d.typeface = reader.String();
    for (WORD i = 0; i < count; ++i) {
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
        item.windowClass = reader.StringOrOrdinal();
        item.title = reader.StringOrOrdinal();
        reader.Skip(reader.Word());
        d.items.push_back(item);
    }
    return d;
}

constexpr DWORD kButton = 0x80;
const std::string kButtonClass = "#128";
const std::string kStaticClass = "#130";

void ExpectItem(const Item& item, int id, const std::string& windowClass, const std::string& title,
                short x, short y, short cx, short cy, DWORD style) {
    SCOPED_TRACE("control " + std::to_string(id) + " " + title);
    EXPECT_EQ(item.id, id);
    EXPECT_EQ(item.windowClass, windowClass);
    EXPECT_EQ(item.title, title);
    EXPECT_EQ(item.x, x);
    EXPECT_EQ(item.y, y);
    EXPECT_EQ(item.cx, cx);
    EXPECT_EQ(item.cy, cy);
    EXPECT_EQ(item.style, style);
    EXPECT_EQ(item.exStyle, 0u);
}

// An extended template at the origin with the program's one font.
void ExpectHeader(const Dialog& d, DWORD style, DWORD exStyle, short cx, short cy,
                  const std::string& title) {
    EXPECT_EQ(d.version, 1);
    EXPECT_EQ(d.signature, 0xFFFF);
    EXPECT_EQ(d.style, style);
    EXPECT_EQ(d.exStyle, exStyle);
    EXPECT_EQ(d.x, 0);
    EXPECT_EQ(d.y, 0);
    EXPECT_EQ(d.cx, cx);
    EXPECT_EQ(d.cy, cy);
    EXPECT_EQ(d.title, title);
    EXPECT_EQ(d.pointSize, 8);
    EXPECT_EQ(d.weight, 400);
    EXPECT_EQ(d.italic, 0);
    EXPECT_EQ(d.charset, DEFAULT_CHARSET);
    EXPECT_EQ(d.typeface, "MS Shell Dlg");
}

TEST(Resources, MessageDialogTemplate) {
    Image image;
    ASSERT_TRUE(image.Loaded());
    Dialog d = ParseDialog(image.Resource(RT_DIALOG, IDD_MSG));
    ExpectHeader(d, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SHELLFONT,
                 0, 343, 54, "Orvexa Update");
    ASSERT_EQ(d.items.size(), 5u);
    const DWORD child = WS_CHILD | WS_VISIBLE;
    ExpectItem(d.items[0], IDOK, kButtonClass, "OK", 115, 37, 50, 14,
               child | WS_TABSTOP | BS_DEFPUSHBUTTON);
    ExpectItem(d.items[1], -1, kStaticClass, "#129", 5, 11, 20, 20, child | SS_ICON);
    ExpectItem(d.items[2], IDC_MSG_TEXT, kStaticClass, "", 33, 7, 305, 24,
               child | WS_GROUP | SS_LEFT);
    ExpectItem(d.items[3], IDC_DOWNLOAD, kButtonClass, "Download Orvexa", 170, 37, 77, 14,
               child | WS_TABSTOP | BS_PUSHBUTTON);
    ExpectItem(d.items[4], ID_HELP, kButtonClass, "Help", 178, 37, 50, 14,
               child | WS_TABSTOP | BS_PUSHBUTTON);
}

TEST(Resources, StatusDialogTemplate) {
    Image image;
    ASSERT_TRUE(image.Loaded());
    Dialog d = ParseDialog(image.Resource(RT_DIALOG, IDD_STATUS));
    ExpectHeader(d, WS_POPUP | WS_SYSMENU | DS_MODALFRAME | DS_SHELLFONT, WS_EX_TOOLWINDOW, 188, 47,
                 "");
    ASSERT_EQ(d.items.size(), 3u);
    const DWORD child = WS_CHILD | WS_VISIBLE;
    ExpectItem(d.items[0], IDC_STATUS_TEXT, kStaticClass, "Updating remote database\x85", 54, 20,
               103, 8, child | WS_GROUP | SS_LEFT | SS_CENTERIMAGE);
    ExpectItem(d.items[1], -1, kStaticClass, "#129", 29, 14, 21, 20, child | SS_ICON);
    // The progress bar under the text, within the window's size (windres
    // writes the class name in capitals; class names ignore case).
    ExpectItem(d.items[2], IDC_STATUS_PROGRESS, "MSCTLS_PROGRESS32", "", 54, 31, 103, 6, child);
}

TEST(Resources, IconGroupHasEverySizeFrom100To300Percent) {
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
        sizes.push_back(reader.Byte());
        reader.Skip(13);
    }
    EXPECT_EQ(sizes, (std::vector<int>{16, 20, 24, 32, 40, 48, 64, 96}));
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

TEST(Resources, VersionBlockIs1600) {
    Image image;
    ASSERT_TRUE(image.Loaded());
    std::string block = image.Resource(RT_VERSION, 1);
    ASSERT_FALSE(block.empty());
    std::vector<char> copy(block.begin(), block.end());
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueA(copy.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010006u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010006u);
    char* text = nullptr;
    ASSERT_TRUE(::VerQueryValueA(copy.data(), "\\StringFileInfo\\040904b0\\FileVersion",
                                 reinterpret_cast<void**>(&text), &length));
    EXPECT_STREQ(text, "1.6.0.0");
}

}  // namespace
