// A list of stand-ins that nobody's expansion wrote: planted in an application's folder, it
// goes through a store, an expansion (where links may be refused, as on a stick, so that the
// expansion writes a list of its own beside it), a second store and the read-back check that
// lets the launcher delete the folder. Whatever the list says, every file of the application
// must come back with its bytes.

#include "fuzzbodies.h"
#include "fuzzsupport.h"

#include "archiver/archiver.h"
#include "archiver/files/linkstandins.h"

#include <fstream>
#include <iterator>

namespace vadok::archiver::fuzz {

namespace {

const struct {
    const char* path;
    const char* content;
} kFiles[] = {
    {"save/mygame.sav", "the user's saved game"},
    {"bin/tool", "#!/bin/sh\necho tool\n"},
    {"data/a.txt", "a"},
    {"data/sub/b.txt", "b"},
    {"readme.txt", "read me"},
};

std::string contentOf(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    if (!in)
        return "(missing)";
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The command strings of the launcher's own store and expansion.
int store(const std::filesystem::path& archive, const std::filesystem::path& folder) {
    return Unlha(nullptr,
                 "u -d1 -y1 -h2 -jm2 -n \"" + archive.string() + "\" \"" + folder.string() + "/\" *",
                 nullptr, 0);
}

int expand(const std::filesystem::path& archive, const std::filesystem::path& folder,
           const ArchiverSeams& seams = {}) {
    return Unlha("x -d1 -y1 -n \"" + archive.string() + "\" \"" + folder.string() + "/\" *", seams);
}

} // namespace

void standInList(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return;
    const bool onAStick = (data[0] & 1) != 0;
    Scratch scratch;
    const auto src = scratch.root / "src";
    for (const auto& f : kFiles) {
        std::filesystem::create_directories((src / f.path).parent_path());
        writeBytes(src / f.path, std::string(f.content));
    }
    std::filesystem::create_symlink("bin/tool", src / "tool");
    // The store reads it as the folder's list, whatever the bytes.
    writeBytes(src / kStandInListName, data + 1, size - 1);

    const auto archive = scratch.root / "app.lzh";
    if (store(archive, src) != ArchiverOk)
        return;
    const auto out = scratch.root / "out";
    // An archive our store wrote must expand.
    if (expand(archive, out, ArchiverSeams{onAStick}) != ArchiverOk)
        fault();
    // The launcher deletes the expanded folder once the store and its read-back check pass.
    if (store(archive, out) != ArchiverOk || VerifyArchive(archive.string(), out.string()) != ArchiverOk)
        return;
    const auto again = scratch.root / "again";
    if (expand(archive, again) != ArchiverOk)
        fault();
    for (const auto& f : kFiles)
        if (contentOf(again / f.path) != f.content)
            fault();
    if (contentOf(again / "tool") != kFiles[1].content)
        fault();
}

} // namespace vadok::archiver::fuzz
