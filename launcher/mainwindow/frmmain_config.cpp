// The settings command: the dialog, then its choices applied to the window and saved.
#include "mainwindow/frmmain.h"

#include "catalog/settings.h"
#include "dialogs/frmsysconfig.h"
#include "mainwindow/displaylayout.h"
#include "mainwindow/searchpanel.h"
#include "mainwindow/trayresidence.h"
#include "shell/trayicon.h"

#include <QAction>

namespace vadok {

void frmMain::mnuConfig_Click() {
    {
        frmSysConfig dialog(this);
        dialog.exec();
    }
    ApplyInfoStyle();
    m_search->setFindKey(settings().Key.FindKey);
    // With the box always shown there is no search mode to be in.
    if (settings().Color.DispSearchTextBoxAnyTime)
        m_search->setSearchMode(false);
    else if (!m_search->searchMode())
        m_search->setControlsVisible(false);
    m_display->SetDispMode(m_menus.dispMode[1]->isChecked() ? 1 : 0);
    // The window is on the screen: only the resident mode keeps an icon in the tray.
    if (settings().Config.IntoTaskTray == 2 && TrayIcon::isAvailable())
        m_tray->showIcon();
    else
        m_tray->hideIcon();
    SaveSettings();
}

} // namespace vadok
