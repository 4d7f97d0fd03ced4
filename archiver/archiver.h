#pragma once

// The archiver library: LZH archives written by our own encoder and read by our own header
// reader and decoders, ZIP archives read through libarchive, driven by the command strings
// the launcher uses.
//
//   Unlha(owner, "u -d1 -y1 -h2 -jm2 [-n ]\"archive\" \"folder/\" *", ...)
//       Stores every file, folder and inner symbolic link below folder into archive under its
//       relative path; new members are written -lh7-. Symbolic links that lead outside the
//       folder, followed through the folder's other links, are skipped with a warning, and
//       so is the archive itself when it lies inside the folder (with the temporaries of
//       stores into it). Members already in the archive and gone from the folder stay,
//       unless they no longer fit it: one below what is now a file or a link, or one an
//       expansion would refuse (a link now leading out), is left out with a warning. A file
//       whose relative name, size and modification time match a member is copied over as
//       raw compressed data when it has not changed since the folder was last expanded
//       from or stored into this archive (its status-change time tells, syncstamp.h) or,
//       when it may have, the member decodes to exactly its bytes. Copied data must be
//       sound (the CRC-32 of the stored data in our own header, else the decoded CRC-16): a
//       damaged member is compressed again from the folder's file, and one the folder no
//       longer has fails the call with ArchiverBrokenArchive (ArchiverUnsupportedMethod when
//       its method cannot be decoded, so that its data cannot be shown sound). Sizes are
//       checked before anything is compressed. Files are opened without following links
//       and without blocking: a file or folder replaced during the store by a link, a FIFO
//       or anything but what the scan saw fails the call with ArchiverReadError. So does a file that
//       changes while it is read (compressed, or compared with its member): it must have
//       the size and modification time the scan saw, give exactly that many bytes, and keep
//       its size and its modification and status-change times until it has been read; its
//       bytes would otherwise match neither version. The next store takes it as it then is.
//       The store writes the whole archive anew with our own level-2 headers, whatever the
//       levels (0 to 3) of the old one: names are stored as for new members (names.h), even
//       those an old member kept in UTF-16 headers, bytes after the old end mark are dropped,
//       and modification times before 1970 or after 2106 are stored as those limits rather
//       than wrapped round.
//       The archive is replaced atomically: a temporary file beside it is written, every
//       newly compressed member is decoded again and its CRC compared, the file is flushed
//       to disk and renamed over the old archive. Any failure leaves the previous archive
//       as it was, byte for byte, and no temporary.
//       One store at a time: a store holds an exclusive lock on the archive from before it
//       reads the old archive until the new one has replaced it, and waits for another
//       store, expansion or check of the archive to end: it calls the warning callback once
//       and the progress callback with an empty member and 0 of 0 bytes every few
//       milliseconds while it waits, and fails with ArchiverLocked after 10 minutes. The
//       lock file lives in this user's lock folder (~/.cache/vadok/locks), never beside the
//       archive, and goes when nobody holds it any more; a link, a second name of another
//       file, a FIFO or a folder standing under its name is set aside with a warning and
//       never used (archivelock.h). A lock file ".<archive name>.lock" an earlier version
//       left beside the archive is removed by the next store.
//       A store records the name of its temporary in its lock file before it creates it; the
//       next store removes a temporary so recorded (its store was killed) and nothing else:
//       files that are only named like temporaries, beside the archive or in the folder,
//       are the user's.
//   Unlha(owner, "x -d1 -y1 [-n ]\"archive\" \"dest/\" *", ...)
//   UnZip(owner, "-xs [-n ]\"archive.zip\" \"dest/\"", ...)
//       An LZH expansion holds a shared lock on the archive (see the store) while it reads
//       it, waiting for a store as a store waits for it. Expands every member below dest
//       (created when missing), overwriting without asking, with modification times and
//       permission bits (less the umask; folders always with at least owner read, write and
//       search, files with at least owner read and write, so that the owner can expand over,
//       store and delete them), and stamps dest as holding what the archive holds
//       (syncstamp.h), for the next store. A failed call
//       leaves nothing behind: a dest that is missing or an empty folder is written as a
//       hidden sibling in the same folder (".<name>.expanding-<pid>-<random>"), renamed onto
//       dest only once every member was written and checked and removed on any failure; a
//       dest that holds entries is written in place, and a failure removes every file and
//       folder the call created there (what it overwrote stays overwritten). A sibling left
//       by a killed expansion is removed by the next expansion into the same folder once its
//       process is gone (expandtarget.h). The folders are made first and get their times
//       and modes last; the members of an LZH archive are decoded and written on one thread
//       per core, and the first damaged member in archive order is the one that fails the
//       call. An archive of no members (the store of an empty folder, an empty ZIP) expands
//       to an empty folder. Before anything is written every
//       member is checked (memberpaths.h): a ".." part, a NUL byte in a
//       name or a link target (ZIP ones included, where libarchive would cut the name short),
//       a member inside a symbolic link, a link with an absolute target or one that leads
//       outside dest through the archive's other links and those already below dest, or a
//       member that is no file, folder or link (a device, a FIFO or a socket, also where a
//       ZIP's Unix mode says so) fails the whole call with
//       ArchiverUnsafeEntry and nothing is written (a dest that holds entries is written in
//       place, so the links it holds count). A member path of PATH_MAX (4,096) bytes or more
//       fails with ArchiverUnsupported and an encrypted ZIP member with ArchiverEncrypted,
//       also before anything is written. ZIP names without the UTF-8 flag are decoded each
//       on its own: UTF-8 when they are valid UTF-8, else CP932 when they are valid CP932,
//       else CP437 (names.h). Declared sizes that add up to more than the
//       destination's file system has free (asked of its nearest existing folder, for a
//       relative dest the working folder at the last), or to more than any file system holds
//       (2^63 bytes, also where the free space is unknown; the sum never wraps round), fail
//       with ArchiverWriteError, also before anything is written; a member whose data comes
//       out shorter or longer than its header says fails with ArchiverBrokenArchive. So does a damaged archive: a ZIP
//       archive is what its central directory lists, and a local header that names another
//       member or uses another method, or that entries share or overlap, damages it
//       (zipdirectory.h); an LZH archive ends at its end mark and one that ends without it
//       was cut short. Bytes after the end mark (padding, text a transfer appended) are
//       ignored, unless a member header parses anywhere in them: that is a member whose
//       header was lost, and the archive is damaged. A header that claims more than 64 KiB
//       (level 3 can) is damaged, and so is one whose data would end beyond what any file
//       holds (a 64-bit size near 2^64, which would lead back to an earlier header). A member packed in a way the archiver cannot decode (say
//       -pm2- or an unknown -lh9-) fails the call with ArchiverUnsupportedMethod; the LZH
//       methods read are -lh0-, -lh1-, -lh4- to -lh7-, -lhx-, -lzs-, -lz4- and -lz5-
//       (lzhdecoder.h; nothing that writes -lh2- or -lh3- was found to test them), in the
//       headers of the LHA programs of MS-DOS, Windows, Unix, Mac, Amiga, OS-9, OS-9/68000,
//       X68000 and Atari (lzhheaderreader.h). LZH names come from the UTF-16 name and folder
//       headers where a member has them, else from the plain fields. A name that starts with
//       "/" (old programs stored absolute paths) expands below dest, as lhasa and tar expand
//       it; a name that then still climbs out is refused. A member MacLHA wrapped in
//       MacBinary expands to its data fork (macbinary.h).
//       Where the destination's file system takes names that differ only in case for one
//       (exFAT, FAT), members so named are written one after another in archive order and
//       the last one stays, with a warning naming them.
//       On a file system that holds no symbolic links (exFAT or FAT on a USB stick) each link
//       expands as a copy of what it leads to inside dest, and the links, with the modes of
//       the files and folders where the file system keeps none, are listed in
//       ".vadok-stand-ins" at the top of dest (or ".vadok-stand-ins-2" and on when the archive
//       holds files of those names, which stay ordinary files); a store from dest writes
//       them back as they were (linkstandins.h). A store from a file system that keeps no
//       modes takes each mode from that list, else from the old member, else 0644 (0755 for
//       folders); one from a file system without links stores as the old archive's link a
//       file or folder that stands in its place holding what it leads to (a copy that
//       followed the links). A file system that reports no size at all has its free space
//       taken as unknown.
//
// Paths in command strings are UTF-8 (file-system bytes), folders end in "/". Both entry
// points return ArchiverOk (0) or another code of base/codes.h; buffer and size are accepted
// for the calling convention and ignored (callers pass an empty buffer of size 0). owner is
// kept for the same reason. Calls are synchronous; they may run worker threads internally, but
// callbacks are only ever invoked on the calling thread. CheckArchive, ReadArchiveSizes and
// VerifyArchive hold a shared lock while they read, as an expansion does (CheckArchive calls
// its progress with 0 of 0 bytes while it waits, and returning false cancels); they lock
// nothing for an archive that does not exist.

#include "base/codes.h"
#include "base/seams.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vadok {

// Progress of a call without "-n ": the member being handled, bytes of member data done
// and the total for the call.
using ArchiverProgressCallback = std::function<void(
    const std::string& member, std::uint64_t bytesDone, std::uint64_t bytesTotal)>;
// Things that did not fail the call but that a user should know (a skipped link), with or
// without "-n ".
using ArchiverWarningCallback = std::function<void(const std::string& message)>;

// Installs the callbacks used by later calls (process-wide); an empty function removes one.
void SetArchiverProgressCallback(ArchiverProgressCallback callback);
void SetArchiverWarningCallback(ArchiverWarningCallback callback);

int Unlha(void* owner, const std::string& command, char* buffer, int size);
// The same call with what a test acts out (base/seams.h).
int Unlha(const std::string& command, const ArchiverSeams& seams);

// The lock file in this user's lock folder that the stores, expansions and checks of
// archivePath take turns on while one of them runs; "" when there is no lock folder.
std::string ArchiveLockPath(const std::string& archivePath);
int UnZip(void* owner, const std::string& command, char* buffer, int size);

// What CheckArchive found: ArchiverOk, ArchiverCancelled, or the code of the first problem
// (ArchiverCannotOpen, ArchiverBrokenArchive) with what is wrong and where: the first
// damaged member in archive order, by its name as the archive stores it (UTF-8 as an
// expansion would name it; empty when its header itself is unreadable) and the offset of its
// header in the file.
struct ArchiveCheck {
    int code = 0; // an ArchiverCode
    ArchiveDamage damage = ArchiveDamage::None;
    std::string member;
    std::uint64_t offset = 0;
    std::string detail; // in English, for a log
};

// Bytes of member data decoded so far and in all; returning false cancels the check.
using ArchiveCheckProgress = std::function<bool(std::uint64_t bytesDone, std::uint64_t bytesTotal)>;

// Checks one LZH archive without expanding anything: reads every header (with its checksum
// or CRC), decodes every member on one thread per core and compares its size and CRC, and
// checks that the archive ends at its end mark. Safe to call from any thread and from
// several at once; it installs nothing process-wide. progress, when given, is called on the
// calling thread: at the start, about every 100 ms while members are decoded, and once at
// the end.
ArchiveCheck CheckArchive(const std::string& archivePath, const ArchiveCheckProgress& progress = {});

// An LZH archive's size as its headers give it: the number of members (files, folders and
// links) and the sum of their original sizes (the largest 64-bit number where they add up to
// more), without decoding or even reading any member's
// data. code is ArchiverOk, ArchiverCannotOpen, or ArchiverBrokenArchive with damage saying
// what is wrong with the headers. Safe to call from several threads at once.
struct ArchiveSizes {
    int code = 0; // an ArchiverCode
    ArchiveDamage damage = ArchiveDamage::None;
    std::uint64_t members = 0;
    std::uint64_t originalBytes = 0;
};
ArchiveSizes ReadArchiveSizes(const std::string& archivePath);

// Reads into memory, without writing anything to disk, the files of an archive whose names
// wanted accepts and whose size is at most maxSize, and hands each to take, on the calling
// thread, in archive order: its name as an expansion would name it (UTF-8, "/" between
// folders) and its bytes as an expansion would write them. The rest is not decoded, where
// the format allows it (located LZH members are skipped by their offsets). An LZH archive is
// read under the shared lock an expansion takes (waiting as CheckArchive waits, without
// progress). Returns ArchiverOk, ArchiverCancelled when take returned false, or the code of
// the first problem, with error saying what; the files handed over before it stay handed
// over. zip chooses the ZIP reader; otherwise the archive is LZH.
using ArchiveMemberFilter = std::function<bool(const std::string& name)>;
using ArchiveMemberSink = std::function<bool(const std::string& name, std::string&& bytes)>;
int ReadArchiveMembers(const std::string& archivePath, bool zip, std::uint64_t maxSize,
                       const ArchiveMemberFilter& wanted, const ArchiveMemberSink& take,
                       std::string* error = nullptr);

// Checks, before the launcher deletes an expanded folder, that archivePath holds all of
// folder as it stands on disk: every file, folder and stored symbolic link below folder has
// a member of the same kind and relative name, or, where it stands in for a link of the
// archive (a copy an expansion made on a file system without links), the member that link
// leads to; every file's member has the file's size and decodes completely with a correct
// CRC that equals the CRC of the file on disk; every other member decodes too. The folder's
// list of stand-ins is left aside and never read: what it says is not what is checked.
// Links skipped by the store (pointing outside) are not required. Returns ArchiverOk or
// the code of the first problem (ArchiverIncomplete when something is missing or differs).
int VerifyArchive(const std::string& archivePath, const std::string& folder);

// Copies everything below source into dest (made when missing) as an expansion of an archive
// of source would write it there: folders, files with their modes and modification times,
// and symbolic links; on a file system without links or modes (exFAT or FAT on a USB stick)
// each link becomes a copy of what it leads to and the links and modes are listed, as an
// expansion lists them, so that the first store from dest writes them back. What a store
// leaves out stays out (links that lead out of source, special files; in warnings). Nothing
// is followed through a link. All or nothing, as an expansion: a missing or empty dest is
// written as a hidden sibling and moved into place once complete, and any failure leaves no
// trace. code is ArchiverOk, or ArchiverCannotOpen (source), ArchiverCannotCreate (dest),
// ArchiverReadError (a file of source could not be read, error says why, or changed while it
// was copied, error 0), ArchiverWriteError (error says why: the file system refused a name,
// ran out of space, ...) or the scan's ArchiverUnsupported, with path naming the file.
struct FolderCopy {
    int code = 0;
    std::string path; // relative to source; "" for the folders themselves
    int error = 0;    // errno
    std::vector<std::string> warnings;
    bool linksListed = false; // links dest cannot hold were listed there instead of made
};
FolderCopy CopyFolder(const std::string& source, const std::string& dest);

// For a version-up from such a copy: after the files names at the top of from were moved to
// the top of to, what the list of stand-ins at the top of listFolder (from or a folder above
// it) says of them (links, modes) goes into the list at the top of toTop (the folder the
// store reads: to or a folder above it), so that the first store from toTop writes them back
// as they were. All four end in "/". ArchiverOk, or ArchiverWriteError when that list cannot
// be written. IsStandInListName tells the names such lists go under, which a version-up
// never moves: the list of the copy is not the list of to.
int CarryStandIns(const std::string& listFolder, const std::string& from, const std::string& toTop,
                  const std::string& to, const std::vector<std::string>& names);
bool IsStandInListName(const std::string& name);

} // namespace vadok
