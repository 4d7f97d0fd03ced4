#include "support/scriptedchooser.h"

#include <gtest/gtest.h>

namespace vadok::test {

ScriptedChooser::ScriptedChooser() { setChooser(this); }

ScriptedChooser::~ScriptedChooser() {
    setChooser(nullptr);
    if (!m_answers.empty())
        ADD_FAILURE() << m_answers.size() << " expected choice(s) never asked for";
}

ScriptedChooser& ScriptedChooser::expectFolder(std::optional<QString> answer) {
    m_answers.push_back({Kind::Folder, std::move(answer)});
    return *this;
}

ScriptedChooser& ScriptedChooser::expectFile(std::optional<QString> answer) {
    m_answers.push_back({Kind::File, std::move(answer)});
    return *this;
}

ScriptedChooser& ScriptedChooser::expectColor(std::optional<QColor> answer) {
    m_answers.push_back({Kind::Color, answer});
    return *this;
}

ScriptedChooser& ScriptedChooser::expectFont(std::optional<QFont> answer) {
    m_answers.push_back({Kind::Font, std::move(answer)});
    return *this;
}

std::optional<ScriptedChooser::Answer> ScriptedChooser::next(Kind kind, const char* what) {
    if (m_answers.empty()) {
        ADD_FAILURE() << "unexpected " << what << " chooser";
        return std::nullopt;
    }
    Expected expected = std::move(m_answers.front());
    m_answers.pop_front();
    if (expected.kind != kind) {
        ADD_FAILURE() << "a " << what << " chooser came where another kind was expected";
        return std::nullopt;
    }
    return std::move(expected.answer);
}

std::optional<QString> ScriptedChooser::chooseFolder(const QString& prompt, const QString&) {
    m_folderPrompts.append(prompt);
    const auto answer = next(Kind::Folder, "folder");
    return answer ? std::get<std::optional<QString>>(*answer) : std::nullopt;
}

std::optional<QString> ScriptedChooser::chooseFile(const FileRequest& request) {
    m_fileRequests.append(request);
    const auto answer = next(Kind::File, "file");
    return answer ? std::get<std::optional<QString>>(*answer) : std::nullopt;
}

std::optional<QColor> ScriptedChooser::chooseColor(const QColor& initial) {
    m_colorInitials.append(initial);
    const auto answer = next(Kind::Color, "colour");
    return answer ? std::get<std::optional<QColor>>(*answer) : std::nullopt;
}

std::optional<QFont> ScriptedChooser::chooseFont(const QFont& initial) {
    m_fontInitials.append(initial);
    const auto answer = next(Kind::Font, "font");
    return answer ? std::get<std::optional<QFont>>(*answer) : std::nullopt;
}

} // namespace vadok::test
