#pragma once

#include "platform/chooser.h"

#include <QList>
#include <deque>
#include <variant>

namespace vadok::test {

// Answers folder, file, colour and font choices from a queue and records every request. A
// choice nobody expected, or one of another kind than the next answer, fails the test; so
// does an answer still waiting when the chooser is destroyed. nullopt answers cancel.
class ScriptedChooser : public Chooser {
public:
    ScriptedChooser();
    ~ScriptedChooser() override;

    ScriptedChooser& expectFolder(std::optional<QString> answer);
    ScriptedChooser& expectFile(std::optional<QString> answer);
    ScriptedChooser& expectColor(std::optional<QColor> answer);
    ScriptedChooser& expectFont(std::optional<QFont> answer);

    std::optional<QString> chooseFolder(const QString& prompt, const QString& startFolder) override;
    std::optional<QString> chooseFile(const FileRequest& request) override;
    std::optional<QColor> chooseColor(const QColor& initial) override;
    std::optional<QFont> chooseFont(const QFont& initial) override;

    // What was asked, in order.
    const QStringList& folderPrompts() const { return m_folderPrompts; }
    const QList<FileRequest>& fileRequests() const { return m_fileRequests; }
    const QList<QColor>& colorInitials() const { return m_colorInitials; }
    const QList<QFont>& fontInitials() const { return m_fontInitials; }
    bool allAnswered() const { return m_answers.empty(); }

private:
    enum class Kind { Folder, File, Color, Font };
    using Answer = std::variant<std::optional<QString>, std::optional<QColor>, std::optional<QFont>>;
    struct Expected {
        Kind kind;
        Answer answer;
    };
    // The next answer when it is of this kind; a failure (and cancel) otherwise.
    std::optional<Answer> next(Kind kind, const char* what);

    std::deque<Expected> m_answers;
    QStringList m_folderPrompts;
    QList<FileRequest> m_fileRequests;
    QList<QColor> m_colorInitials;
    QList<QFont> m_fontInitials;
};

} // namespace vadok::test
