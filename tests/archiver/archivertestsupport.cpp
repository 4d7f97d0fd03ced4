#include "archivertestsupport.h"

#include "archiver/expand/expandjob.h"
#include "archiver/lzh/lzhheaderreader.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vadok::test {

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vadok-archiver-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

void writeFile(const std::string& path, const std::string& content, unsigned mode) {
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos)
        makeDirs(path.substr(0, slash));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    ::chmod(path.c_str(), mode);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void makeDirs(const std::string& path) {
    std::filesystem::create_directories(path);
}

void makeSymlink(const std::string& target, const std::string& linkPath) {
    const std::size_t slash = linkPath.rfind('/');
    if (slash != std::string::npos)
        makeDirs(linkPath.substr(0, slash));
    if (::symlink(target.c_str(), linkPath.c_str()) != 0)
        throw std::runtime_error("symlink failed");
}

void setMtime(const std::string& path, std::int64_t seconds, long nanoseconds) {
    struct timespec times[2];
    times[0].tv_sec = seconds;
    times[0].tv_nsec = nanoseconds;
    times[1] = times[0];
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

namespace {
void walk(const std::string& root, const std::string& rel, Tree& tree, bool withTimes) {
    DIR* d = ::opendir((rel.empty() ? root : root + "/" + rel).c_str());
    if (!d)
        return;
    while (dirent* e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n == "." || n == "..")
            continue;
        const std::string r = rel.empty() ? n : rel + "/" + n;
        const std::string full = root + "/" + r;
        struct stat st {};
        ::lstat(full.c_str(), &st);
        TreeNode node;
        if (S_ISDIR(st.st_mode)) {
            node.kind = 'd';
            tree[r] = node;
            walk(root, r, tree, withTimes);
            continue;
        }
        if (S_ISLNK(st.st_mode)) {
            node.kind = 'l';
            char buf[4096];
            const ssize_t k = ::readlink(full.c_str(), buf, sizeof buf);
            node.content.assign(buf, k > 0 ? static_cast<std::size_t>(k) : 0);
        } else {
            node.content = readFile(full);
            node.executable = (st.st_mode & S_IXUSR) != 0;
            if (withTimes)
                node.mtime = st.st_mtim.tv_sec;
        }
        tree[r] = node;
    }
    ::closedir(d);
}
} // namespace

Tree readTree(const std::string& root, bool withTimes) {
    Tree tree;
    walk(root, "", tree, withTimes);
    return tree;
}

void PrintTo(const TreeNode& node, std::ostream* os) {
    *os << node.kind << (node.executable ? "x" : "-") << " " << node.content.size()
        << " bytes t=" << node.mtime;
    if (node.kind == 'l')
        *os << " -> " << node.content;
}

std::string describe(const Tree& tree) {
    std::ostringstream s;
    for (const auto& [path, node] : tree)
        s << node.kind << (node.executable ? "x " : "  ") << path << " (" << node.content.size()
          << " bytes, t=" << node.mtime << ")\n";
    return s.str();
}

std::vector<std::string> listFolder(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> memberTable(const std::string& archive) {
    std::vector<std::string> rows;
    for (const auto& m : archiver::readArchiveIndex(archive).members) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", m.unixMode.value_or(0) & 07777);
        const char kind = m.kind == archiver::MemberKind::Directory ? 'd'
                          : m.kind == archiver::MemberKind::Symlink ? 'l'
                                                                    : 'f';
        rows.push_back(m.path + " " + kind + " " + mode +
                       (m.kind == archiver::MemberKind::Symlink ? " -> " + m.linkTarget : ""));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

int run(const std::string& commandLine) {
    const int status = std::system(commandLine.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool haveProgram(const std::string& name) {
    return run("command -v " + name + " >/dev/null 2>&1") == 0;
}

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

std::string storeCommand(const std::string& archive, const std::string& folder, bool quiet) {
    return std::string("u -d1 -y1 -h2 -jm2 ") + (quiet ? "-n " : "") + "\"" + archive + "\" \"" +
           folder + "/\" *";
}

int expandWithThreads(const std::string& archive, const std::string& folder, bool zip,
                      unsigned threads, const ArchiverSeams& seams) {
    archiver::ExpandOptions options;
    options.threads = threads;
    options.seams = seams;
    return archiver::expandArchive(archive, folder + "/",
                                   zip ? archiver::ArchiveFormat::Zip : archiver::ArchiveFormat::Lzh,
                                   options)
        .code;
}

std::string expandCommand(const std::string& archive, const std::string& folder, bool quiet) {
    return std::string("x -d1 -y1 ") + (quiet ? "-n " : "") + "\"" + archive + "\" \"" + folder +
           "/\" *";
}

std::string randomData(std::size_t size, unsigned seed, int alphabet) {
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (auto& c : s)
        c = static_cast<char>(rng() % static_cast<unsigned>(alphabet));
    return s;
}

} // namespace vadok::test
