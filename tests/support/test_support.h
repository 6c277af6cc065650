// Helpers shared by the tests of both builds: temporary folders on the real
// disk, whole-file reads and writes, and program-form paths (UTF-16 with
// backslashes, as the program keeps them on every platform).
#ifndef UPDATER_TESTS_SUPPORT_TEST_SUPPORT_H
#define UPDATER_TESTS_SUPPORT_TEST_SUPPORT_H

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

// The program form of a native path.
std::u16string ProgramPathOf(const fs::path& path);

// A fresh, empty folder, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const fs::path& Path() const { return path_; }
    fs::path operator/(const std::string& relative) const { return path_ / fs::u8path(relative); }
    // The program form of a path inside the folder ("" for the folder itself).
    std::u16string ProgramPath(const std::string& relative = "") const;

private:
    fs::path path_;
};

void WriteFileBytes(const fs::path& path, const std::string& bytes);
std::string ReadFileBytes(const fs::path& path);

// UTF-16 of a UTF-8 literal, for building expected texts.
std::u16string Utf16(const std::string& utf8);
// A text of count copies of c.
std::u16string Repeat(char16_t c, size_t count);

// True in the Windows build when it runs under Wine rather than Windows.
bool RunningUnderWine();

// A symbolic link at link to the file or folder target, as the system's own
// file calls meet it. Wine's CreateSymbolicLinkW makes nothing, so under
// Wine the link is a Unix one, made by ln on the Unix side. False when none
// can be made here.
bool MakeSymbolicLink(const fs::path& link, const fs::path& target);
// Removes the link itself (Wine's own calls cannot remove a Unix link whose
// target is gone, and would delete a file it points to).
void RemoveSymbolicLink(const fs::path& link);

#endif  // UPDATER_TESTS_SUPPORT_TEST_SUPPORT_H
