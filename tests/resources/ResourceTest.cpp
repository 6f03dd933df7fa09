// The built Quorel.exe read back through the platform's own resource and version functions.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Files.h"

namespace {

const WORD kLangZhCn = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);

class ModuleResources : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_path = ProductExe();
        m_module = LoadLibraryExA(m_path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        if (m_module == nullptr)
            m_module = LoadLibraryExA(m_path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(m_module, nullptr) << m_path;
    }
    void TearDown() override
    {
        if (m_module != nullptr)
            FreeLibrary(m_module);
    }

    std::vector<BYTE> Resource(LPCSTR type, int id)
    {
        HRSRC info = FindResourceExA(m_module, type, MAKEINTRESOURCEA(id), kLangZhCn);
        if (info == nullptr)
            return {};
        HGLOBAL handle = LoadResource(m_module, info);
        const BYTE* data = static_cast<const BYTE*>(LockResource(handle));
        return std::vector<BYTE>(data, data + SizeofResource(m_module, info));
    }

    std::string m_path;
    HMODULE m_module = nullptr;
};

// Reads a dialog template field by field.
class TemplateReader
{
public:
    explicit TemplateReader(const std::vector<BYTE>& data) : m_data(data) {}

    WORD Word() { WORD w = 0; Take(&w, 2); return w; }
    DWORD Dword() { DWORD d = 0; Take(&d, 4); return d; }
    short Short() { return static_cast<short>(Word()); }

    // A string or an ordinal (0xFFFF followed by the ordinal), as UTF-8 or "#ordinal".
    std::string SzOrOrd()
    {
        WORD first = Word();
        if (first == 0xFFFF)
            return "#" + std::to_string(Word());
        std::wstring text;
        for (WORD ch = first; ch != 0; ch = Word())
            text += static_cast<wchar_t>(ch);
        return Utf8(text);
    }
    void AlignDword() { m_pos = (m_pos + 3) & ~size_t(3); }
    bool Overrun() const { return m_overrun; }

    static std::string Utf8(const std::wstring& text)
    {
        char buf[512] = {};
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, buf, sizeof buf, nullptr, nullptr);
        return buf;
    }

private:
    void Take(void* out, size_t n)
    {
        if (m_pos + n > m_data.size()) {
            m_overrun = true;
            return;
        }
        memcpy(out, &m_data[m_pos], n);
        m_pos += n;
    }
    const std::vector<BYTE>& m_data;
    size_t m_pos = 0;
    bool m_overrun = false;
};

std::string VersionString(const std::vector<BYTE>& block, const char* name)
{
    std::string query = std::string("\\StringFileInfo\\080404b0\\") + name;
    char* value = nullptr;
    UINT len = 0;
    if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &len))
        return "<missing>";
    return std::string(value, len ? strnlen(value, len) : 0);
}

TEST_F(ModuleResources, VersionResourceHasEveryField)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(m_path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(m_path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &len));
    unsigned a = 0, b = 0, c = 0, d = 0;
    ASSERT_EQ(sscanf(QUOREL_PRODUCT_VERSION, "%u.%u.%u.%u", &a, &b, &c, &d), 4);
    EXPECT_EQ(fixed->dwFileVersionMS, (a << 16) | b);
    EXPECT_EQ(fixed->dwFileVersionLS, (c << 16) | d);
    EXPECT_EQ(fixed->dwProductVersionMS, (a << 16) | b);
    EXPECT_EQ(fixed->dwProductVersionLS, (c << 16) | d);
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, 0x4u);
    EXPECT_EQ(fixed->dwFileType, 0x1u);
    EXPECT_EQ(fixed->dwFileSubtype, 0u);

    const std::string commas = std::to_string(a) + ", " + std::to_string(b) + ", " + std::to_string(c) + ", " +
                               std::to_string(d);
    EXPECT_EQ(VersionString(block, "Comments"), "");
    EXPECT_EQ(VersionString(block, "CompanyName"), QUOREL_PRODUCT_VENDOR_HOST);
    EXPECT_GT(VersionString(block, "FileDescription").size(), 20u);
    EXPECT_EQ(VersionString(block, "FileVersion"), commas);
    EXPECT_EQ(VersionString(block, "InternalName"), "Zelmora");
    EXPECT_GT(VersionString(block, "LegalCopyright").size(), 4u);
    EXPECT_EQ(VersionString(block, "LegalTrademarks"), "");
    EXPECT_EQ(VersionString(block, "OriginalFilename"), "Quorel.exe");
    EXPECT_EQ(VersionString(block, "PrivateBuild"), "");
    EXPECT_EQ(VersionString(block, "ProductName"), "Zelmora");
    EXPECT_EQ(VersionString(block, "ProductVersion"), commas);
    EXPECT_EQ(VersionString(block, "SpecialBuild"), "");

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &len));
    ASSERT_EQ(len, 4u);
    EXPECT_EQ(translation[0], 0x0804);
    EXPECT_EQ(translation[1], 0x04B0);
}

TEST_F(ModuleResources, MainDialogTemplate)
{
    std::vector<BYTE> data = Resource(RT_DIALOG, 102);
    ASSERT_FALSE(data.empty());
    TemplateReader r(data);
    EXPECT_EQ(r.Word(), 1);          // dlgVer
    EXPECT_EQ(r.Word(), 0xFFFF);     // signature: DIALOGEX
    EXPECT_EQ(r.Dword(), 0u);        // help id
    EXPECT_EQ(r.Dword(), 0x00040010u);
    EXPECT_EQ(r.Dword(), 0x90C800C0u);
    EXPECT_EQ(r.Word(), 1);          // one item
    EXPECT_EQ(r.Short(), 0);
    EXPECT_EQ(r.Short(), 0);
    EXPECT_EQ(r.Short(), 517);
    EXPECT_EQ(r.Short(), 445);
    EXPECT_EQ(r.SzOrOrd(), "");      // no menu
    EXPECT_EQ(r.SzOrOrd(), "");      // no class
    EXPECT_EQ(r.SzOrOrd(), std::string("Zelmora ") + QUOREL_PRODUCT_VENDOR_HOST);
    EXPECT_EQ(r.Word(), 9);          // point size
    EXPECT_EQ(r.Word(), 0);          // weight
    WORD italicCharset = r.Word();
    EXPECT_EQ(LOBYTE(italicCharset), 0);
    EXPECT_EQ(HIBYTE(italicCharset), 1);
    EXPECT_EQ(r.SzOrOrd(), u8"宋体");

    r.AlignDword();
    EXPECT_EQ(r.Dword(), 0u);        // help id
    EXPECT_EQ(r.Dword(), 0u);        // extended style
    EXPECT_EQ(r.Dword(), 0x50000000u);
    EXPECT_EQ(r.Short(), 0);
    EXPECT_EQ(r.Short(), 0);
    EXPECT_EQ(r.Short(), 517);
    EXPECT_EQ(r.Short(), 444);
    EXPECT_EQ(r.Dword(), 1000u);
    EXPECT_EQ(r.SzOrOrd(), "{8856F961-340A-11D0-A96B-00C04FD705A2}");
    EXPECT_EQ(r.SzOrOrd(), "");
    EXPECT_EQ(r.Word(), 0);          // no creation data
    EXPECT_FALSE(r.Overrun());
}

TEST_F(ModuleResources, AboutBoxTemplate)
{
    std::vector<BYTE> data = Resource(RT_DIALOG, 100);
    ASSERT_FALSE(data.empty());
    TemplateReader r(data);
    EXPECT_EQ(r.Dword(), 0x80C800C0u);
    EXPECT_EQ(r.Dword(), 0u);
    EXPECT_EQ(r.Word(), 4);
    EXPECT_EQ(r.Short(), 0);
    EXPECT_EQ(r.Short(), 0);
    EXPECT_EQ(r.Short(), 235);
    EXPECT_EQ(r.Short(), 55);
    EXPECT_EQ(r.SzOrOrd(), "");
    EXPECT_EQ(r.SzOrOrd(), "");
    EXPECT_EQ(r.SzOrOrd(), u8"关于 Tovrask");
    EXPECT_EQ(r.Word(), 9);
    EXPECT_EQ(r.SzOrOrd(), u8"宋体");

    struct Item { DWORD style; short x, y, cx, cy; WORD id; const char* cls; const char* text; };
    const Item expected[] = {
        {0x50000003, 11, 17, 20, 20, 0xFFFF, "#130", "#128"},
        {0x50020080, 40, 10, 119, 8, 0xFFFF, "#130", "Tovrask"},
        {0x50020000, 40, 25, 166, 8, 0xFFFF, "#130", nullptr},
        {0x50030001, 178, 7, 50, 14, IDOK, "#128", u8"确定"},
    };
    for (const Item& item : expected) {
        SCOPED_TRACE(item.style);
        r.AlignDword();
        EXPECT_EQ(r.Dword(), item.style);
        EXPECT_EQ(r.Dword(), 0u);
        EXPECT_EQ(r.Short(), item.x);
        EXPECT_EQ(r.Short(), item.y);
        EXPECT_EQ(r.Short(), item.cx);
        EXPECT_EQ(r.Short(), item.cy);
        EXPECT_EQ(r.Word(), item.id);
        EXPECT_EQ(r.SzOrOrd(), item.cls);
        std::string text = r.SzOrOrd();
        if (item.text != nullptr)
            EXPECT_EQ(text, item.text);
        else
            EXPECT_GT(text.size(), 6u) << "the rights notice";
        EXPECT_EQ(r.Word(), 0);
    }
    EXPECT_FALSE(r.Overrun());
}

TEST_F(ModuleResources, BrowserInitialStateIsTheControlsPersistedStream)
{
    std::vector<BYTE> data = Resource(MAKEINTRESOURCEA(240), 102);
    ASSERT_EQ(data.size(), 2u + 2u + 4u + 160u + 2u);
    TemplateReader r(data);
    EXPECT_EQ(r.Word(), 1000);
    EXPECT_EQ(r.Word(), 0x0376);
    EXPECT_EQ(r.Dword(), 160u);
    const BYTE* stream = &data[8];
    auto dword = [&](size_t at) { DWORD v; memcpy(&v, stream + at, 4); return v; };
    EXPECT_EQ(dword(4), 0x4Cu);
    EXPECT_EQ(dword(8), 20532u);
    EXPECT_EQ(dword(12), 17621u);
    EXPECT_EQ(dword(52), 1u);
    GUID view;
    memcpy(&view, stream + 56, sizeof view);
    const GUID kView = {0x0057D0E0, 0x3573, 0x11CF, {0xAE, 0x69, 0x08, 0x00, 0x2B, 0x2E, 0x12, 0x62}};
    EXPECT_TRUE(IsEqualGUID(view, kView));
    EXPECT_EQ(dword(80), 0x4Cu);   // an empty shell-link location
    GUID link;
    memcpy(&link, stream + 84, sizeof link);
    const GUID kShellLink = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    EXPECT_TRUE(IsEqualGUID(link, kShellLink));
    EXPECT_EQ(dword(100), 0x80u);
    EXPECT_EQ(dword(140), 1u);     // SW_SHOWNORMAL
    EXPECT_EQ(data[168], 0);
    EXPECT_EQ(data[169], 0);
}

TEST_F(ModuleResources, AboutEntryTextIsCodePage936)
{
    char text[64] = {};
    ASSERT_GT(LoadStringA(m_module, 101, text, sizeof text), 0);
    EXPECT_STREQ(text, "关于 Tovrask(&A)...");
    EXPECT_EQ(static_cast<unsigned char>(text[0]), 0xB9);   // 关 in GBK is B9 D8
    EXPECT_EQ(static_cast<unsigned char>(text[1]), 0xD8);
}

TEST_F(ModuleResources, IconGroupsHoldThreeSizesAt32Bits)
{
    for (int group : {128, 129}) {
        SCOPED_TRACE(group);
        std::vector<BYTE> dir = Resource(RT_GROUP_ICON, group);
        ASSERT_GE(dir.size(), 6u + 3 * 14u);
        WORD count;
        memcpy(&count, &dir[4], 2);
        EXPECT_EQ(count, 3);
        for (int size : {16, 32, 48}) {
            int id = LookupIconIdFromDirectoryEx(dir.data(), TRUE, size, size, LR_DEFAULTCOLOR);
            ASSERT_GT(id, 0);
            std::vector<BYTE> image = Resource(RT_ICON, id);
            ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
            BITMAPINFOHEADER header;
            memcpy(&header, image.data(), sizeof header);
            EXPECT_EQ(header.biWidth, size);
            EXPECT_EQ(header.biHeight, size * 2);
            EXPECT_EQ(header.biBitCount, 32);
            HICON icon = CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), TRUE, 0x00030000,
                                                  size, size, LR_DEFAULTCOLOR);
            EXPECT_NE(icon, nullptr);
            if (icon)
                DestroyIcon(icon);
        }
    }
}

}  // namespace
