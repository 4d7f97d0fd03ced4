#pragma once

// Helpers shared by the archiver tests: a temporary folder, file trees described as data and
// compared after a round trip, and a way to run the oracle programs (lhasa, bsdtar, jlha).

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

// Runs a shell command line; returns its exit status.
int run(const std::string& commandLine);
bool haveProgram(const std::string& name);
std::string quote(const std::string& s);

std::string storeCommand(const std::string& archive, const std::string& folder, bool quiet = true);
std::string expandCommand(const std::string& archive, const std::string& folder, bool quiet = true);

// Raw member for hand-made hostile archives.
struct RawMember {
    std::string path;
    std::string content;
    std::string linkTarget; // non-empty: symbolic link
    bool directory = false;
};
// Writes an -lh0- archive with level-2 headers exactly as given, names unchecked.
void writeRawLzh(const std::string& archive, const std::vector<RawMember>& members);
// Writes a stored (uncompressed) ZIP archive with the given entries, names unchecked; with
// utf8Flag false the names carry no UTF-8 flag, as old Windows zip tools wrote them.
void writeRawZip(const std::string& archive, const std::vector<RawMember>& members,
                 bool utf8Flag = true);

std::string randomData(std::size_t size, unsigned seed, int alphabet = 256);

} // namespace vadok::test
