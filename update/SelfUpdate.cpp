#include "skin/TranslucentDlg.h"

bool CTranslucentDlg::CleanupAndCheckUpdate(bool relaunched) {
    m_nRunMode = kRunModeStartWindow;
    // PLACEHOLDER until the self-update lands: no previous build is removed,
    // no instance mutex is created and no version file is read.
    (void)relaunched;
    return true;
}
