#include "catalog/xmlbusy.h"

#include <QCoreApplication>
#include <QThread>

namespace vadok {

bool XmlBusy = false;

namespace {
std::function<void(int)> g_sleep;
}

void setXmlBusySleep(std::function<void(int)> sleep) {
    g_sleep = std::move(sleep);
}

bool waitWhileXmlBusy() {
    for (int round = 0; round < 50; ++round) {
        // Command-line paths run before any application object exists.
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
        if (!XmlBusy)
            return true;
        if (g_sleep)
            g_sleep(100);
        else
            QThread::msleep(100);
    }
    return !XmlBusy;
}

} // namespace vadok
