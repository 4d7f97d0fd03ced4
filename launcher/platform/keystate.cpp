#include "platform/keystate.h"

#include <QGuiApplication>

namespace vadok {

namespace {
std::function<bool(int)> g_source;
}

bool isKeyDown(int virtualKey) {
    if (g_source)
        return g_source(virtualKey);
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return false;
    const Qt::KeyboardModifiers mods = QGuiApplication::queryKeyboardModifiers();
    switch (virtualKey) {
    case kVkShift:
        return mods.testFlag(Qt::ShiftModifier);
    case kVkControl:
        return mods.testFlag(Qt::ControlModifier);
    default:
        return false;
    }
}

void setKeyStateSource(std::function<bool(int)> source) { g_source = std::move(source); }

} // namespace vadok
