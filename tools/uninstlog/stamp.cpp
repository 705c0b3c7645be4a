// uninstlog stamp: the log's name in the uninstaller's tail, exactly as the program reads it back.
#include "uninstlog.h"
#include "startup/startup.h"
#include <stdio.h>

enum {
    NAME_MAX_BYTES = TAIL_SIZE - 2,    // the tail's first byte is never read and its last ends the name
    DOS_HEADER = 64,
    PE_SIGNATURE = 0x00004550,         // "PE\0\0"
    MACHINE_I386 = 0x14C,
    MACHINE_AMD64 = 0x8664,
    FILE_IS_LIBRARY = 0x2000,          // IMAGE_FILE_DLL
    MAGIC_PE32 = 0x10B,
    MAGIC_PE32_PLUS = 0x20B,
    SUBSYSTEM_GUI = 2,
    SECTION_HEADER = 40,
    SECTION_SHARED = 0x10000000,       // IMAGE_SCN_MEM_SHARED
    SYMBOL_SIZE = 18,
    DIRECTORY_RESOURCES = 2,
    DIRECTORY_CERTIFICATES = 4,
    RESOURCE_DIALOG = 5,               // RT_DIALOG
    RESOURCE_ICON_GROUP = 14,          // RT_GROUP_ICON
    DIALOG_ID = 101,                   // the uninstall dialog
    ICON_ID = 104                      // its icon
};

static bool Get16(const std::string& b, size_t at, unsigned& out)
{
    if (at + 2 > b.size() || at + 2 < at)
        return false;
    out = (unsigned char)b[at] | (unsigned)(unsigned char)b[at + 1] << 8;
    return true;
}

static bool Get32(const std::string& b, size_t at, unsigned& out)
{
    if (at + 4 > b.size() || at + 4 < at)
        return false;
    out = (unsigned char)b[at] | (unsigned)(unsigned char)b[at + 1] << 8 | (unsigned)(unsigned char)b[at + 2] << 16 |
          (unsigned)(unsigned char)b[at + 3] << 24;
    return true;
}

struct Section {
    std::string name;
    unsigned virtualAddress, virtualSize, rawSize, rawOffset, flags;
};

// File offset of a virtual address, through the section that holds it.
static bool OffsetOf(const std::vector<Section>& sections, unsigned address, size_t& offset)
{
    for (const Section& s : sections) {
        unsigned span = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
        if (address >= s.virtualAddress && address - s.virtualAddress < span && address - s.virtualAddress < s.rawSize) {
            offset = (size_t)s.rawOffset + (address - s.virtualAddress);
            return true;
        }
    }
    return false;
}

// The entry with this id in a resource directory: the offset of what it points to, below the resources' start.
static bool ResourceEntry(const std::string& b, size_t resources, size_t directory, unsigned id, bool wantDirectory, size_t& found)
{
    unsigned named, ids;
    if (!Get16(b, resources + directory + 12, named) || !Get16(b, resources + directory + 14, ids))
        return false;
    for (unsigned i = 0; i < named + ids; i++) {
        unsigned name, target;
        size_t entry = resources + directory + 16 + 8 * (size_t)i;
        if (!Get32(b, entry, name) || !Get32(b, entry + 4, target))
            return false;
        if (name == id && ((target & 0x80000000u) != 0) == wantDirectory) {
            found = target & 0x7FFFFFFFu;
            return true;
        }
    }
    return false;
}

static bool HasResource(const std::string& b, size_t resources, unsigned type, unsigned id)
{
    size_t typeDirectory, entry;
    return ResourceEntry(b, resources, 0, type, true, typeDirectory) && ResourceEntry(b, resources, typeDirectory, id, true, entry);
}

std::string NotOurExecutable(const std::string& b, size_t* imageEnd)
{
    const std::string notWindows = "it is not a Windows executable";
    unsigned peOffset, signature, machine, sectionCount, symbolTable, symbolCount, optionalSize, characteristics, magic;
    if (b.size() < DOS_HEADER || b[0] != 'M' || b[1] != 'Z' || !Get32(b, 0x3C, peOffset) || !Get32(b, peOffset, signature) ||
        signature != PE_SIGNATURE)
        return notWindows;
    size_t header = (size_t)peOffset + 4;
    if (!Get16(b, header, machine) || !Get16(b, header + 2, sectionCount) || !Get32(b, header + 8, symbolTable) ||
        !Get32(b, header + 12, symbolCount) || !Get16(b, header + 16, optionalSize) || !Get16(b, header + 18, characteristics))
        return notWindows;
    if (machine != MACHINE_I386 && machine != MACHINE_AMD64)
        return "it is built for another processor";
    if (characteristics & FILE_IS_LIBRARY)
        return "it is a library, not the uninstaller";
    size_t optional = header + 20;
    unsigned subsystem, headersSize, directoryCount;
    if (!Get16(b, optional, magic) || (magic != MAGIC_PE32 && magic != MAGIC_PE32_PLUS) || !Get16(b, optional + 68, subsystem) ||
        !Get32(b, optional + 60, headersSize))
        return notWindows;
    size_t directories = optional + (magic == MAGIC_PE32 ? 96 : 112);
    if (!Get32(b, directories - 4, directoryCount))
        return notWindows;
    unsigned resourceAddress = 0, resourceSize = 0, certificateOffset = 0, certificateSize = 0;
    if (directoryCount > DIRECTORY_RESOURCES && (!Get32(b, directories + 8 * DIRECTORY_RESOURCES, resourceAddress) ||
                                                 !Get32(b, directories + 8 * DIRECTORY_RESOURCES + 4, resourceSize)))
        return notWindows;
    if (directoryCount > DIRECTORY_CERTIFICATES && (!Get32(b, directories + 8 * DIRECTORY_CERTIFICATES, certificateOffset) ||
                                                    !Get32(b, directories + 8 * DIRECTORY_CERTIFICATES + 4, certificateSize)))
        return notWindows;
    std::vector<Section> sections;
    size_t end = headersSize;
    size_t table = optional + optionalSize;
    for (unsigned i = 0; i < sectionCount; i++) {
        size_t at = table + SECTION_HEADER * (size_t)i;
        Section s;
        if (at + SECTION_HEADER > b.size() || !Get32(b, at + 8, s.virtualSize) || !Get32(b, at + 12, s.virtualAddress) ||
            !Get32(b, at + 16, s.rawSize) || !Get32(b, at + 20, s.rawOffset) || !Get32(b, at + 36, s.flags))
            return notWindows;
        s.name = b.substr(at, 8).c_str();
        if (s.rawSize > 0 && (size_t)s.rawOffset + s.rawSize > end)
            end = (size_t)s.rawOffset + s.rawSize;
        sections.push_back(s);
    }
    if (symbolTable != 0) {
        size_t strings = (size_t)symbolTable + (size_t)symbolCount * SYMBOL_SIZE;
        unsigned stringsSize = 4;
        Get32(b, strings, stringsSize);
        if (strings + stringsSize > end)
            end = strings + stringsSize;
    }
    if (end > b.size())
        return "it is cut short: its sections reach beyond its end";
    if (certificateSize != 0)
        return "it is signed: a signature stands after the tail and hides the name, so stamp before signing or not at all";
    if (subsystem != SUBSYSTEM_GUI)
        return "it is a console program, not the uninstaller";
    bool shared = false;
    for (const Section& s : sections)
        if (s.name == ".shared" && (s.flags & SECTION_SHARED))
            shared = true;
    size_t resources = 0;
    if (!shared || resourceSize == 0 || !OffsetOf(sections, resourceAddress, resources) || !HasResource(b, resources, RESOURCE_DIALOG, DIALOG_ID) ||
        !HasResource(b, resources, RESOURCE_ICON_GROUP, ICON_ID))
        return "it is not the uninstaller: it lacks the shared instance section, the uninstall dialog or its icon";
    *imageEnd = end;
    return std::string();
}

std::string RefusedLogName(const std::string& name)
{
    if (name.empty())
        return "the name is empty: the program would read no name and look for uninstal.ini";
    if (name.size() > NAME_MAX_BYTES)
        return "the name has " + std::to_string(name.size()) + " characters; the tail holds at most " + std::to_string(NAME_MAX_BYTES);
    for (unsigned char c : name) {
        if (c < 32 || c == 127)
            return "the name holds a control character";
        if (c == '/')
            return "the name holds a slash: the program's paths use the backslash only";
        if (c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' || c == '*')
            return std::string("the character ") + (char)c + " cannot stand in a file name (the name is joined to the uninstaller's folder)";
    }
    if (name[0] == '\\')
        return "the name starts with a backslash, which the program drops when it joins the name to its folder";
    if (name.back() == '\\')
        return "the name ends with a backslash, so it names a folder";
    for (const std::string& part : PathParts(name)) {
        if (part.empty())
            return "the name holds two backslashes in a row";
        if (part != "." && part != ".." && (part.back() == '.' || part.back() == ' '))
            return "\"" + part + "\" ends with a dot or a blank, which Windows drops, so the file would have another name";
    }
    return std::string();
}

// The name the program reads from the file's last 256 bytes.
static std::string NameInTail(const std::string& bytes)
{
    if (bytes.size() < TAIL_SIZE)
        return "uninstal.ini";
    char name[TAIL_SIZE];
    TakeLogNameFromTail(bytes.data() + bytes.size() - TAIL_SIZE, name, sizeof name);
    return name;
}

int StampCommand(const std::vector<std::string>& arguments)
{
    if (arguments.size() != 2) {
        fprintf(stderr, "usage: uninstlog stamp UNINST.EXE LOGNAME\n");
        return STATUS_UNREADABLE;
    }
    const std::string& file = arguments[0];
    const std::string& name = arguments[1];
    std::string bytes, error;
    if (!ReadWholeFile(file, bytes, error)) {
        fprintf(stderr, "uninstlog: %s\n", error.c_str());
        return STATUS_UNREADABLE;
    }
    size_t imageEnd = 0;
    std::string refused = NotOurExecutable(bytes, &imageEnd);
    if (!refused.empty()) {
        fprintf(stderr, "uninstlog: %s refused: %s\n", file.c_str(), refused.c_str());
        return STATUS_WARNINGS;
    }
    refused = RefusedLogName(name);
    std::string stamped = bytes.substr(0, imageEnd);
    // The name starts after the last zero byte before it, so one must stand there.
    if (refused.empty() && (stamped.empty() || stamped.back() != 0) && name.size() < NAME_MAX_BYTES)
        stamped += '\0';
    stamped += name;
    stamped += '\0';
    if (refused.empty() && NameInTail(stamped) != name)
        refused = "the program would not read it back whole";
    if (!refused.empty()) {
        fprintf(stderr, "uninstlog: name refused: %s\n", refused.c_str());
        return STATUS_WARNINGS;
    }
    std::string before = NameInTail(bytes);
    if (!WriteWholeFile(file, stamped, error)) {
        fprintf(stderr, "uninstlog: %s\n", error.c_str());
        return STATUS_UNREADABLE;
    }
    Emit(file + ": the uninstaller now reads its log from " + Quoted(name) + " beside it (before: " + Quoted(before) + ")\n");
    return STATUS_DONE;
}
