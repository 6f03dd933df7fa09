#include "update/PeImage.h"

#include <string.h>

namespace {

// The largest PE section table the loader accepts.
const WORD kMaxSections = 96;
const DWORD kVersionSignature = 0xFEEF04BD;
const WCHAR kVersionKey[] = L"VS_VERSION_INFO";
const WORD kVersionInfoName = 1;

// At an offset, whatever the file position. A synchronous read still leaves the position after the bytes
// read: nothing may write through the handle after it without setting the position first.
bool ReadAt(HANDLE file, LONGLONG offset, void* buffer, DWORD size)
{
    OVERLAPPED at = {};
    at.Offset = DWORD(offset);
    at.OffsetHigh = DWORD(offset >> 32);
    DWORD read = 0;
    return offset >= 0 && ReadFile(file, buffer, size, &read, &at) && read == size;
}

WORD RunningMachine()
{
    const BYTE* image = reinterpret_cast<const BYTE*>(GetModuleHandleA(nullptr));
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    return reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew)->FileHeader.Machine;
}

class CPeReader
{
public:
    explicit CPeReader(HANDLE file) : m_file(file) {}

    bool Read(PeFacts& facts)
    {
        LARGE_INTEGER size;
        IMAGE_DOS_HEADER dos;
        if (!GetFileSizeEx(m_file, &size))
            return false;
        if (size.QuadPart < LONGLONG(sizeof dos))
            return true;
        DWORD signature = 0;
        if (!ReadAt(m_file, 0, &dos, sizeof dos))
            return false;
        if (dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0 ||
            !ReadAt(m_file, dos.e_lfanew, &signature, sizeof signature) || signature != IMAGE_NT_SIGNATURE ||
            !ReadAt(m_file, dos.e_lfanew + LONGLONG(sizeof signature), &m_header, sizeof m_header) ||
            !ReadOptionalHeader(dos.e_lfanew + LONGLONG(sizeof signature + sizeof m_header)))
            return true;
        facts.isProgram = true;
        facts.machine = m_header.Machine;
        const IMAGE_DATA_DIRECTORY security = Directory(IMAGE_DIRECTORY_ENTRY_SECURITY);
        facts.signatureBlock = security.Size != 0;
        facts.whole = m_header.Machine == RunningMachine() &&
                      (m_header.Characteristics & IMAGE_FILE_EXECUTABLE_IMAGE) &&
                      !(m_header.Characteristics & IMAGE_FILE_DLL) && m_header.NumberOfSections != 0 &&
                      m_header.NumberOfSections <= kMaxSections && ReadSections() && End() <= size.QuadPart;
        facts.hasVersion = facts.whole && ReadFixedVersion(facts.versionMS, facts.versionLS);
        return true;
    }

private:
    bool ReadOptionalHeader(LONGLONG offset)
    {
        m_sectionsAt = offset + m_header.SizeOfOptionalHeader;
        const DWORD size = m_header.SizeOfOptionalHeader < sizeof m_optional ? m_header.SizeOfOptionalHeader
                                                                             : DWORD(sizeof m_optional);
        return size >= sizeof m_optional.h32.Magic && ReadAt(m_file, offset, &m_optional, size) &&
               (m_optional.h32.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC ||
                m_optional.h32.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC);
    }

    IMAGE_DATA_DIRECTORY Directory(int index) const
    {
        const bool is32 = m_optional.h32.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC;
        const DWORD count = is32 ? m_optional.h32.NumberOfRvaAndSizes : m_optional.h64.NumberOfRvaAndSizes;
        if (DWORD(index) >= count)
            return IMAGE_DATA_DIRECTORY{};
        return is32 ? m_optional.h32.DataDirectory[index] : m_optional.h64.DataDirectory[index];
    }

    bool ReadSections()
    {
        for (WORD i = 0; i < m_header.NumberOfSections; ++i) {
            if (!ReadAt(m_file, m_sectionsAt + LONGLONG(i) * sizeof(IMAGE_SECTION_HEADER), &m_sections[i],
                        sizeof(IMAGE_SECTION_HEADER)))
                return false;
        }
        return true;
    }

    // Where the file must reach to hold the headers, every section and the signature block, whose
    // address is a file offset rather than an address in memory.
    LONGLONG End() const
    {
        const IMAGE_DATA_DIRECTORY security = Directory(IMAGE_DIRECTORY_ENTRY_SECURITY);
        LONGLONG end = m_optional.h32.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC ? m_optional.h32.SizeOfHeaders
                                                                             : m_optional.h64.SizeOfHeaders;
        if (security.Size != 0 && LONGLONG(security.VirtualAddress) + security.Size > end)
            end = LONGLONG(security.VirtualAddress) + security.Size;
        for (WORD i = 0; i < m_header.NumberOfSections; ++i) {
            const LONGLONG sectionEnd = LONGLONG(m_sections[i].PointerToRawData) + m_sections[i].SizeOfRawData;
            if (m_sections[i].SizeOfRawData != 0 && sectionEnd > end)
                end = sectionEnd;
        }
        return end;
    }

    LONGLONG FileOffset(DWORD rva) const
    {
        for (WORD i = 0; i < m_header.NumberOfSections; ++i) {
            const IMAGE_SECTION_HEADER& s = m_sections[i];
            const DWORD extent = s.Misc.VirtualSize > s.SizeOfRawData ? s.Misc.VirtualSize : s.SizeOfRawData;
            if (rva >= s.VirtualAddress && rva - s.VirtualAddress < extent)
                return LONGLONG(rva - s.VirtualAddress) + s.PointerToRawData;
        }
        return -1;
    }

    // The entry of a resource directory with that id, or the first one for id 0; offsets are from the
    // start of the resource section, as the format keeps them.
    bool FindEntry(LONGLONG root, DWORD directory, WORD id, DWORD& next)
    {
        IMAGE_RESOURCE_DIRECTORY header;
        if (!ReadAt(m_file, root + directory, &header, sizeof header))
            return false;
        const DWORD count = DWORD(header.NumberOfNamedEntries) + header.NumberOfIdEntries;
        for (DWORD i = 0; i < count; ++i) {
            IMAGE_RESOURCE_DIRECTORY_ENTRY entry;
            if (!ReadAt(m_file, root + directory + sizeof header + LONGLONG(i) * sizeof entry, &entry, sizeof entry))
                return false;
            if (id == 0 || (!entry.NameIsString && entry.Id == id)) {
                next = entry.OffsetToData;
                return true;
            }
        }
        return false;
    }

    // Type, name, language: the version resource's fixed part, as GetFileVersionInfo finds it.
    bool ReadFixedVersion(DWORD& ms, DWORD& ls)
    {
        const IMAGE_DATA_DIRECTORY resources = Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE);
        const LONGLONG root = FileOffset(resources.VirtualAddress);
        DWORD level = 0;
        if (resources.Size == 0 || root < 0 || !FindEntry(root, 0, WORD(LOWORD(RT_VERSION)), level) ||
            !(level & IMAGE_RESOURCE_DATA_IS_DIRECTORY) ||
            !FindEntry(root, level & ~IMAGE_RESOURCE_DATA_IS_DIRECTORY, kVersionInfoName, level) ||
            !(level & IMAGE_RESOURCE_DATA_IS_DIRECTORY) ||
            !FindEntry(root, level & ~IMAGE_RESOURCE_DATA_IS_DIRECTORY, 0, level) ||
            (level & IMAGE_RESOURCE_DATA_IS_DIRECTORY))
            return false;
        IMAGE_RESOURCE_DATA_ENTRY data;
        // VS_VERSIONINFO: three sizes and types, the key "VS_VERSION_INFO", padding to 32 bits, the fixed part.
        struct
        {
            WORD length;
            WORD valueLength;
            WORD type;
            WCHAR key[16];
            WORD padding;
            VS_FIXEDFILEINFO fixed;
        } info;
        if (!ReadAt(m_file, root + level, &data, sizeof data) || data.Size < sizeof info)
            return false;
        const LONGLONG at = FileOffset(data.OffsetToData);
        if (!ReadAt(m_file, at, &info, sizeof info) || info.valueLength < sizeof info.fixed ||
            memcmp(info.key, kVersionKey, sizeof kVersionKey) != 0 || info.fixed.dwSignature != kVersionSignature)
            return false;
        ms = info.fixed.dwFileVersionMS;
        ls = info.fixed.dwFileVersionLS;
        return true;
    }

    HANDLE m_file;
    IMAGE_FILE_HEADER m_header = {};
    union {
        IMAGE_OPTIONAL_HEADER32 h32;
        IMAGE_OPTIONAL_HEADER64 h64;
    } m_optional = {};
    LONGLONG m_sectionsAt = 0;
    IMAGE_SECTION_HEADER m_sections[kMaxSections] = {};
};

}  // namespace

bool ReadPeFacts(HANDLE file, PeFacts& facts)
{
    facts = PeFacts();
    CPeReader reader(file);
    return reader.Read(facts);
}
