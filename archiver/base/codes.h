#pragma once

// The answers of the archiver's calls and what is wrong with a damaged archive: every room
// answers in these, and the launcher reads them through archiver.h.

namespace vadok {

enum ArchiverCode : int {
    ArchiverOk = 0,
    ArchiverBadCommand = 0x8001,    // unknown command or switch, missing or malformed path
    ArchiverCannotOpen = 0x8002,    // archive or source folder missing or unreadable
    ArchiverCannotCreate = 0x8003,  // temporary archive or destination cannot be created
    ArchiverBrokenArchive = 0x8004, // damaged, truncated or unreadable archive
    ArchiverUnsafeEntry = 0x8005,   // a member would land outside the destination
    ArchiverWriteError = 0x8006,    // writing failed (disk full, I/O error)
    ArchiverReadError = 0x8007,     // a source file could not be read or changed while read
    ArchiverVerifyFailed = 0x8008,  // the written archive did not read back correctly
    ArchiverUnsupported = 0x8009,   // a file of 4 GiB or more, a name too long for a header or
                                    // holding the byte 0xFF (LZH's folder separator); on
                                    // expansion a member path of PATH_MAX (4,096) bytes or more,
                                    // which is not unsafe but which no file system call takes
    ArchiverIncomplete = 0x800A,    // the archive lacks a file of the folder or a member is bad
    ArchiverCancelled = 0x800B,     // the caller's progress callback asked to stop
    ArchiverLocked = 0x800C,        // another store, or an expansion or check, held the archive
                                    // for longer than the call waits
    ArchiverUnsupportedMethod = 0x800D, // a member is packed in a way this archiver cannot decode
    ArchiverEncrypted = 0x800E,     // a member is encrypted; nothing is written
};

// What is wrong with a damaged archive, for a message to the user.
enum class ArchiveDamage {
    None,
    Unreadable,        // the file cannot be opened or read
    NotAnArchive,      // it does not start with an LZH member header
    HeaderDamaged,     // a member header fails its check or contradicts itself, or bytes other
                       // than padding follow the end mark (a member whose header was lost)
    DataDamaged,       // a member's data does not decode to its size and CRC
    CutShort,          // the file ends inside a member or before the end mark
    UnsupportedMethod, // a member is packed in a way this archiver cannot decode
};

} // namespace vadok
