#pragma once

#include <cstdint>
#include <memory>

namespace platform {

// Stand-ins for the Windows private-profile functions, with the behaviour the program relies
// on. Section, key, value and default are CP932 bytes (see Cp932.h); the file name is the file
// system's own bytes (QFile::encodeName), since a folder may hold what CP932 cannot.
//
// File format: "[section]" lines and "key=value" lines below them. Section and key names match
// without regard to ASCII letter case; blanks around names and values are ignored; one pair of
// matching quotes around a value is removed when it is read. Lines of any other form are kept
// as they are. The first section and the first key of a name count. Lines end in CR LF (a bare
// LF is read too). Files above 64 MiB are not read and not rewritten, nor is anything but a
// regular file: a FIFO, a device or a folder reads as a file that cannot be read, without waiting.

// Copies the value of key in section into buffer, or defaultValue when the file, the section
// or the key does not exist (also when section or key is null: the listing forms of the
// original are not provided). The text is cut to size - 1 bytes without splitting a double-byte
// character and NUL-terminated. Returns the number of bytes copied, without the NUL.
std::uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer,
    std::uint32_t size, const char* fileName);

// Sets key in section to value, creating the file, the section and the key as needed; an
// existing key keeps its place, everything else in the file is kept byte for byte. A null value
// removes the key, a null key the whole section. The file is replaced atomically where a rename
// may replace it, else written in place (writeFileAtomically in AtomicFile.h). Returns false when
// the write is refused; a refused replacement leaves the file as it was.
bool WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* fileName);

// The calls a form makes on one file, made as one: while a batch lives, the two functions above
// called on this thread with its file name work on one copy of the file, read when the batch
// began. A write there changes the copy and says only whether it could (false when the file
// could not be read); commit() puts the copy in place as one replacement.
// A batch for saving first takes the file's lock, QLockFile "<file>.lock" beside it, so that
// copies of the program closing at once save one after the other, each a whole file of its own.
// A lock left by a process that is gone marks a save killed after it took it: commit() then
// removes what that save left (removeLeftoverSaves).
class ProfileBatch {
public:
    enum Purpose { Reading, Saving };
    ProfileBatch(const char* fileName, Purpose purpose);
    ~ProfileBatch();
    ProfileBatch(const ProfileBatch&) = delete;
    ProfileBatch& operator=(const ProfileBatch&) = delete;

    // False when the file could not be read or the replacement was refused; true, writing
    // nothing, when no write changed the copy.
    bool commit();

    struct State;

private:
    std::unique_ptr<State> state_;
};

} // namespace platform
