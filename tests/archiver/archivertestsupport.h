#pragma once

// Helpers shared by the archiver tests: a temporary folder, file trees described as data and
// compared after a round trip, and a way to run the oracle programs (lhasa, bsdtar, jlha).

#include "archiver/base/seams.h"

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace vadok::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    // path() + "/" + relative
    std::string operator/(const std::string& relative) const { return m_path + "/" + relative; }

private:
    std::string m_path;
};

void writeFile(const std::string& path, const std::string& content, unsigned mode = 0644);
std::string readFile(const std::string& path);
void makeDirs(const std::string& path);
void makeSymlink(const std::string& target, const std::string& linkPath);
void setMtime(const std::string& path, std::int64_t seconds, long nanoseconds = 0);

// What a tree looks like: per relative path its kind ('f', 'd', 'l'), content or link
// target, whether it is executable, and the modification time of files.
struct TreeNode {
    char kind = 'f';
    std::string content;
    bool executable = false;
    std::int64_t mtime = 0;
    bool operator==(const TreeNode&) const = default;
};
void PrintTo(const TreeNode& node, std::ostream* os);
using Tree = std::map<std::string, TreeNode>;
Tree readTree(const std::string& root, bool withTimes = true);
std::string describe(const Tree& tree);

// The archive member by member, sorted: "path kind mode" and " -> target" for links, kind
// 'f', 'd' or 'l', the mode's permission bits in octal.
std::vector<std::string> memberTable(const std::string& archive);
// The names in folder (not below it), sorted: what a store left beside its archive.
std::vector<std::string> listFolder(const std::string& folder);

// Runs a shell command line; returns its exit status.
int run(const std::string& commandLine);
bool haveProgram(const std::string& name);
std::string quote(const std::string& s);

std::string storeCommand(const std::string& archive, const std::string& folder, bool quiet = true);
std::string expandCommand(const std::string& archive, const std::string& folder, bool quiet = true);

// Expands through the library with a given number of threads: with several, the members of a
// small archive are spread over readers of their own, as those of a large one are.
int expandWithThreads(const std::string& archive, const std::string& folder, bool zip,
                      unsigned threads, const ArchiverSeams& seams = {});
// The counts of threads every expansion case runs with.
inline constexpr unsigned kExpandThreads[] = {1, 4};

std::string randomData(std::size_t size, unsigned seed, int alphabet = 256);

} // namespace vadok::test
