// MD5 of buffers and local files: known answers, files larger than one read,
// and the files that count as not there (absent, a folder, unreadable, held
// by another program without sharing reads).
#include "catalog/hash_os.h"

#include <gtest/gtest.h>

#include <string>

#include "app/text.h"
#include "catalog/local_state.h"
#include "tests/support/test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>
#endif

namespace {

struct KnownAnswer {
    std::string input;
    std::u16string digest;
};

const KnownAnswer KnownAnswers[] = {
    {"", u"D41D8CD98F00B204E9800998ECF8427E"},
    {"abc", u"900150983CD24FB0D6963F7D28E17F72"},
    {"The quick brown fox jumps over the lazy dog", u"9E107D9D372BB6826BD81D3542A419D6"},
};

// Bytes that repeat neither with the 64 KiB read size nor with MD5's blocks.
std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 1000) % 256);
    return bytes;
}

// Taken once with md5sum over Pattern(200001).
const char16_t PatternDigest200001[] = u"FC5B442B473C1C7725760CF0CCF3D211";

struct FileHash {
    int result;
    std::u16string digest;
};

FileHash HashFile(const std::u16string& path) {
    char16_t digest[DIGEST_CAPACITY];
    TextCopy(digest, DIGEST_CAPACITY, u"left over from before");
    int result = HashLocalFile(path.c_str(), digest);
    return {result, digest};
}

std::u16string HashOf(const std::string& bytes) {
    char16_t digest[DIGEST_CAPACITY];
    TextCopy(digest, DIGEST_CAPACITY, u"left over from before");
    EXPECT_TRUE(HashBytes(bytes.data(), bytes.size(), digest));
    return digest;
}

}  // namespace

TEST(Hash, BuffersGiveTheKnownAnswersInUpperCase) {
    for (const KnownAnswer& answer : KnownAnswers) {
        EXPECT_EQ(HashOf(answer.input), answer.digest) << '"' << answer.input << '"';
    }
}

TEST(Hash, FilesGiveTheKnownAnswers) {
    TempFolder folder;
    int index = 0;
    for (const KnownAnswer& answer : KnownAnswers) {
        std::string name = "answer" + std::to_string(index++) + ".lua";
        WriteFileBytes(folder / name, answer.input);
        FileHash hash = HashFile(folder.ProgramPath(name));
        EXPECT_EQ(hash.result, 1) << name;
        EXPECT_EQ(hash.digest, answer.digest) << '"' << answer.input << '"';
    }
}

TEST(Hash, FilesLongerThanOneReadAreHashedWhole) {
    TempFolder folder;
    for (size_t size : {size_t(65535), size_t(65536), size_t(65537), size_t(131072),
                        size_t(200001)}) {
        std::string bytes = Pattern(size);
        WriteFileBytes(folder / "big.bin", bytes);
        FileHash hash = HashFile(folder.ProgramPath("big.bin"));
        EXPECT_EQ(hash.result, 1) << size;
        EXPECT_EQ(hash.digest, HashOf(bytes)) << size;
        EXPECT_EQ(hash.digest.size(), 32u) << size;
    }
    EXPECT_EQ(HashFile(folder.ProgramPath("big.bin")).digest, PatternDigest200001);
    EXPECT_EQ(HashOf(Pattern(200001)), PatternDigest200001);
}

TEST(Hash, NamesOutsideAsciiReachTheFile) {
    TempFolder folder;
    const std::string name = "Skript \xC3\xA9\xE6\x97\xA5\xE6\x9C\xAC.lua";
    WriteFileBytes(folder / name, "abc");
    FileHash hash = HashFile(folder.ProgramPath(name));
    EXPECT_EQ(hash.result, 1);
    EXPECT_EQ(hash.digest, u"900150983CD24FB0D6963F7D28E17F72");
}

TEST(Hash, AnAbsentFileOrAFolderCannotBeOpenedAndLeavesTheDigestEmpty) {
    TempFolder folder;
    fs::create_directories(folder / "lib");
    for (const char* name : {"absent.lua", "no-such-folder/absent.lua", "lib"}) {
        FileHash hash = HashFile(folder.ProgramPath(name));
        EXPECT_EQ(hash.result, 0) << name;
        EXPECT_EQ(hash.digest, u"") << name;
    }
}

#ifdef _WIN32

namespace {

// Another program's handle on the file, for as long as the object lives.
class HeldFile {
public:
    HeldFile(const std::u16string& path, DWORD access, DWORD share)
        : handle_(CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), access, share,
                              nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~HeldFile() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

}  // namespace

// Our open asks to read and lets others read and write. It fails exactly when
// a handle already open does not share reading, or holds access we do not
// share (deleting).
TEST(Hash, AFileHeldWithoutSharingReadsCannotBeOpened) {
    TempFolder folder;
    WriteFileBytes(folder / "held.lua", "abc");
    const std::u16string path = folder.ProgramPath("held.lua");
    struct Holder {
        const char* what;
        DWORD access;
        DWORD share;
    };
    const Holder refusing[] = {
        {"reader sharing nothing", GENERIC_READ, 0},
        {"writer sharing nothing", GENERIC_WRITE, 0},
        {"writer sharing writes only", GENERIC_WRITE, FILE_SHARE_WRITE},
        {"deleter sharing everything", DELETE,
         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE},
    };
    for (const Holder& holder : refusing) {
        HeldFile held(path, holder.access, holder.share);
        ASSERT_TRUE(held.IsOpen()) << holder.what;
        FileHash hash = HashFile(path);
        EXPECT_EQ(hash.result, 0) << holder.what;
        EXPECT_EQ(hash.digest, u"") << holder.what;
    }
}

TEST(Hash, AFileHeldWhileSharingReadsIsHashed) {
    TempFolder folder;
    WriteFileBytes(folder / "held.lua", "abc");
    const std::u16string path = folder.ProgramPath("held.lua");
    struct Holder {
        const char* what;
        DWORD access;
        DWORD share;
    };
    const Holder sharing[] = {
        {"reader denying writers", GENERIC_READ, FILE_SHARE_READ},
        {"writer sharing reads", GENERIC_WRITE, FILE_SHARE_READ},
        {"reader and writer sharing both", GENERIC_READ | GENERIC_WRITE,
         FILE_SHARE_READ | FILE_SHARE_WRITE},
    };
    for (const Holder& holder : sharing) {
        HeldFile held(path, holder.access, holder.share);
        ASSERT_TRUE(held.IsOpen()) << holder.what;
        FileHash hash = HashFile(path);
        EXPECT_EQ(hash.result, 1) << holder.what;
        EXPECT_EQ(hash.digest, u"900150983CD24FB0D6963F7D28E17F72") << holder.what;
    }
}

#else  // POSIX

// A FIFO opened for reading would wait for a writer; the check worker must
// not. Should the hash block anyway, the test opens the other end itself so
// that it ends, and fails.
TEST(Hash, AFifoInPlaceOfTheFileIsNotReadAndDoesNotBlock) {
    TempFolder folder;
    const std::string fifo = (folder / "pipe.lua").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::u16string path = folder.ProgramPath("pipe.lua");
    std::promise<FileHash> promise;
    std::future<FileHash> result = promise.get_future();
    std::thread worker([&] { promise.set_value(HashFile(path)); });
    bool finished = result.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!finished) {
        int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) close(writer);
    }
    worker.join();
    ASSERT_TRUE(finished) << "hashing a FIFO blocked";
    FileHash hash = result.get();
    EXPECT_EQ(hash.result, 0);
    EXPECT_EQ(hash.digest, u"");
}

TEST(Hash, WhatCannotBeOpenedForReadingCountsAsNotThere) {
    TempFolder folder;
    // A socket cannot be opened at all, not even by root.
    const std::string socketPath = (folder / "socket.lua").string();
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    // A link that leads nowhere is an absent file.
    fs::create_symlink(folder / "gone.lua", folder / "dangling.lua");

    for (const char* name : {"socket.lua", "dangling.lua"}) {
        FileHash hash = HashFile(folder.ProgramPath(name));
        EXPECT_EQ(hash.result, 0) << name;
        EXPECT_EQ(hash.digest, u"") << name;
    }
    close(listener);

    // Permissions bind everybody but root, who reads whatever the mode says.
    WriteFileBytes(folder / "locked.lua", "abc");
    ASSERT_EQ(chmod((folder / "locked.lua").c_str(), 0), 0);
    if (geteuid() != 0) {
        EXPECT_EQ(HashFile(folder.ProgramPath("locked.lua")).result, 0);
    } else {
        EXPECT_EQ(HashFile(folder.ProgramPath("locked.lua")).digest,
                  u"900150983CD24FB0D6963F7D28E17F72");
    }
}

TEST(Hash, ALinkToAFileHashesTheFile) {
    TempFolder folder;
    WriteFileBytes(folder / "real.lua", "abc");
    fs::create_symlink(folder / "real.lua", folder / "link.lua");
    FileHash hash = HashFile(folder.ProgramPath("link.lua"));
    EXPECT_EQ(hash.result, 1);
    EXPECT_EQ(hash.digest, u"900150983CD24FB0D6963F7D28E17F72");
}

#endif
