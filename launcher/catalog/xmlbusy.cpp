#include "catalog/xmlbusy.h"

#include <QCoreApplication>
#include <QThread>

namespace vadok {

namespace {
int g_holders = 0;
std::function<void(int)> g_sleep;
} // namespace

bool xmlBusy() { return g_holders > 0; }

XmlBusyScope::XmlBusyScope() { ++g_holders; }

XmlBusyScope::~XmlBusyScope() { --g_holders; }

void setXmlBusySleep(std::function<void(int)> sleep) {
    g_sleep = std::move(sleep);
}

bool waitWhileXmlBusy() {
    for (int round = 0; round < 50; ++round) {
        // Command-line paths run before any application object exists.
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
        if (!xmlBusy())
            return true;
        if (g_sleep)
            g_sleep(100);
        else
            QThread::msleep(100);
    }
    return !xmlBusy();
}

} // namespace vadok
