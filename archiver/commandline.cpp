#include "commandline.h"

#include <algorithm>
#include <set>
#include <vector>

namespace vadok::archiver {

namespace {

struct Token {
    std::string text;
    bool quoted = false;
};

// Splits at spaces; a token starting with a double quote runs to the next double quote,
// which must end the token.
std::optional<std::vector<Token>> tokenize(const std::string& s) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] == ' ') {
            ++i;
            continue;
        }
        Token t;
        if (s[i] == '"') {
            const std::size_t close = s.find('"', i + 1);
            if (close == std::string::npos)
                return std::nullopt;
            t.text = s.substr(i + 1, close - i - 1);
            t.quoted = true;
            i = close + 1;
            if (i < s.size() && s[i] != ' ')
                return std::nullopt;
        } else {
            const std::size_t end = std::min(s.find(' ', i), s.size());
            t.text = s.substr(i, end - i);
            if (t.text.find('"') != std::string::npos)
                return std::nullopt;
            i = end;
        }
        tokens.push_back(std::move(t));
    }
    return tokens;
}

// Reads switches from tokens[pos...] until the first quoted token; they must be exactly
// the required ones plus optionally -n.
bool takeSwitches(const std::vector<Token>& tokens, std::size_t& pos,
                  const std::set<std::string>& required, bool& quiet) {
    std::set<std::string> seen;
    quiet = false;
    while (pos < tokens.size() && !tokens[pos].quoted) {
        const std::string& t = tokens[pos].text;
        if (seen.count(t))
            return false;
        if (t == "-n")
            quiet = true;
        else if (!required.count(t))
            return false;
        seen.insert(t);
        ++pos;
    }
    for (const auto& r : required)
        if (!seen.count(r))
            return false;
    return true;
}

bool takePaths(const std::vector<Token>& tokens, std::size_t& pos, ArchiverCommand& c) {
    if (pos + 2 > tokens.size() || !tokens[pos].quoted || !tokens[pos + 1].quoted)
        return false;
    c.archive = tokens[pos].text;
    c.folder = tokens[pos + 1].text;
    pos += 2;
    if (c.archive.empty() || c.archive.back() == '/' || c.folder.size() < 2 ||
        c.folder.back() != '/')
        return false;
    return true;
}

} // namespace

std::optional<ArchiverCommand> parseUnlhaCommand(const std::string& command) {
    const auto tokens = tokenize(command);
    if (!tokens || tokens->empty() || (*tokens)[0].quoted)
        return std::nullopt;
    ArchiverCommand c;
    std::set<std::string> required;
    if ((*tokens)[0].text == "u") {
        c.operation = ArchiverCommand::Operation::Store;
        required = {"-d1", "-y1", "-h2", "-jm2"};
    } else if ((*tokens)[0].text == "x") {
        c.operation = ArchiverCommand::Operation::Expand;
        required = {"-d1", "-y1"};
    } else {
        return std::nullopt;
    }
    std::size_t pos = 1;
    if (!takeSwitches(*tokens, pos, required, c.quiet) || !takePaths(*tokens, pos, c))
        return std::nullopt;
    if (pos + 1 != tokens->size() || (*tokens)[pos].quoted || (*tokens)[pos].text != "*")
        return std::nullopt;
    return c;
}

std::optional<ArchiverCommand> parseUnzipCommand(const std::string& command) {
    const auto tokens = tokenize(command);
    if (!tokens || tokens->empty())
        return std::nullopt;
    ArchiverCommand c;
    c.operation = ArchiverCommand::Operation::ExpandZip;
    std::size_t pos = 0;
    if (!takeSwitches(*tokens, pos, {"-xs"}, c.quiet) || !takePaths(*tokens, pos, c))
        return std::nullopt;
    if (pos != tokens->size())
        return std::nullopt;
    return c;
}

} // namespace vadok::archiver
