// What a version-up from the dropped-item dialog asks of the window: whether the catalog
// can be chosen from yet, and the editor for the updated application.
#include "mainwindow/frmmain.h"

#include "dialogs/frmedit.h"

namespace vadok {

bool frmMain::catalogLoading() const {
    return m_stage == WindowStage::Boot;
}

EditOutcome frmMain::EditUpdatedApp(PackApp& app) {
    frmEdit editor(editorFolderList(), this);
    const EditOutcome outcome = app.ShowConfig(editor);
    if (outcome != EditOutcome::Cancelled)
        LoadTree();
    return outcome;
}

} // namespace vadok
