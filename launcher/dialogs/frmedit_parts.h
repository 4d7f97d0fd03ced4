#pragma once

// What the source files of the property editor share; nothing outside them includes it.

#include <QPushButton>
#include <QString>
#include <QWidget>

namespace vadok::editparts {

inline const QString kCrLf = QStringLiteral("\r\n");
inline const QString kProgramTip = QStringLiteral("実行するExeファイルを指定してください");
inline const QString kOtherFileTip =
    QStringLiteral("Exeファイル以外を実行したい場合にこのボタンを押して対象ファイルを指定してください");

// The captions of the two panel buttons: the arrow points where the button moves the panel.
inline const QString kTextsClosed = QStringLiteral("テキスト参照→");
inline const QString kTextsOpen = QStringLiteral("テキスト参照←");
inline const QString kCommandsClosed = QStringLiteral("通常以外の実行→");
inline const QString kCommandsOpen = QStringLiteral("通常以外の実行←");

// The editor's sizes in twips: its fields alone, and with either side panel open.
inline constexpr int kClosedWidth = 4650;
inline constexpr int kClosedHeight = 6390;
inline constexpr int kTextsWidth = 9930;
inline constexpr int kCommandsWidth = 8925;

inline int twipsToPixels(const QWidget& widget, int twips) {
    return twips * widget.logicalDpiX() / 1440;
}

template <typename W>
W* named(W* widget, const QString& name, const QString& tip = QString()) {
    widget->setObjectName(name);
    if (!tip.isEmpty())
        widget->setToolTip(tip);
    return widget;
}

inline QPushButton* button(const QString& caption, const QString& name, const QString& tip,
                           QWidget* parent) {
    return named(new QPushButton(caption, parent), name, tip);
}

// The small "..." buttons beside a field.
inline QPushButton* chooseButton(const QString& name, const QString& tip, QWidget* parent) {
    QPushButton* choose = button(QStringLiteral("..."), name, tip, parent);
    choose->setFixedWidth(choose->fontMetrics().horizontalAdvance(QStringLiteral("...")) * 3);
    return choose;
}

} // namespace vadok::editparts
