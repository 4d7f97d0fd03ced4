#include "mainwindow/windowstage.h"

namespace vadok {

QString windowStageName(WindowStage stage) {
    switch (stage) {
    case WindowStage::Init:
        return QStringLiteral("INIT");
    case WindowStage::Boot:
        return QStringLiteral("BOOT");
    case WindowStage::IconLoad:
        return QStringLiteral("ICONLOAD");
    case WindowStage::IconLoading:
        return QStringLiteral("ICONLOADING");
    case WindowStage::Normal:
        return QStringLiteral("NORMAL");
    case WindowStage::TrayFin:
        return QStringLiteral("TrayFIN");
    case WindowStage::Fining:
        return QStringLiteral("FINing");
    case WindowStage::Fin:
        return QStringLiteral("FIN");
    }
    return QString();
}

} // namespace vadok
