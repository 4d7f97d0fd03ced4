// What a version-up from the dropped-item dialog asks of the window: whether the catalog can
// be chosen from yet and holds anything to choose, and the editor for the updated application.
#include "mainwindow/frmmain.h"

#include "dialogs/frmedit.h"

namespace vadok {

bool frmMain::catalogLoading() const {
    return m_stage == WindowStage::Boot;
}

bool frmMain::holdsApplications() const {
    // The first slot of Apps is never an application's.
    return m_apps.size() > 1;
}

EditOutcome frmMain::EditUpdatedApp(PackApp& app) {
    frmEdit editor(editorFolderList(), this);
    const EditOutcome outcome = app.ShowConfig(editor);
    if (outcome != EditOutcome::Cancelled)
        reloadTreeShowing(app.AppName());
    return outcome;
}

} // namespace vadok
