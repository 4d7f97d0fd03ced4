// glimtake TARGET: writes the icon of the Windows program or library TARGET as _temp.ico
// beside this program (in the working folder when installed under /usr). Silent, and always exits with 0; the file is the only answer.

#include "commandline.h"
#include "glimtake.h"

#include <clocale>
#include <cstring>
#include <filesystem>
#include <langinfo.h>

int main(int argc, char** argv) {
    // File names are UTF-8 bytes whatever the user's locale claims.
    const char* set = std::setlocale(LC_ALL, "");
    if (!set || std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
        std::setlocale(LC_ALL, "C.UTF-8");
    try {
        const std::string target =
            glimtake::targetFromCommandLine(glimtake::wholeCommandLine(argc, argv));
        std::error_code ec;
        const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
        std::error_code noWorkingFolder; // then an installed glimtake writes nowhere
        const std::filesystem::path working = std::filesystem::current_path(noWorkingFolder);
        if (!ec && !target.empty())
            glimtake::extractIconToFolder(target, glimtake::outputFolderFor(self, working));
    } catch (...) {
        // Out of memory or a filesystem oddity: still no message and no other exit code.
    }
    return 0;
}
