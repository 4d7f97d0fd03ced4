#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPixmap;
class QPushButton;

namespace vadok {

class LayoutHelper;
class PackApp;
struct ColorRecord;

// The panel beside the tree: the shown node's big icon, title and notes, which the status
// bar repeats, and the buttons that run, edit and store the selected application. What the
// buttons do is the window's.
class InfoPanel : public QWidget {
    Q_OBJECT
public:
    explicit InfoPanel(QWidget* parent);

    void showRoot();
    void showApp(PackApp& app);
    void showFolder(const QString& name);
    // An application whose title fails the title rules: what is wrong, and that nothing runs.
    void showRefusedTitle(const QString& title);

    // The notes' colours and font.
    void applyStyle(const ColorRecord& color);
    // Wide display: everything shown. Narrow: notes only, and the buttons when asked for.
    void showWide();
    void showNarrow(bool commandButtons);
    // Places the parts in the panel's present size, measured in twips through layout.
    void arrange(const LayoutHelper& layout, bool narrow, bool commandButtons);
    // The exit has begun: no button starts anything any more.
    void disableCommands();

signals:
    void execClicked();
    void editClicked();
    void packClicked();

private:
    void paintBigIcon(const QPixmap& picture, int size);

    QLabel* m_bigIcon = nullptr;
    QLineEdit* m_title = nullptr;
    QPlainTextEdit* m_infoText = nullptr;
    QPushButton* m_exec = nullptr;
    QPushButton* m_edit = nullptr;
    QPushButton* m_pack = nullptr;
};

} // namespace vadok
