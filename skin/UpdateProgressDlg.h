// CUpdateProgressDlg: the small window a player sees while a new build
// downloads. In our skin: the title strip with "Orlenmark", a standard
// progress bar, and "正在更新…" with the percentage. It has nothing to press:
// the update ends by itself.
#pragma once

#include <windows.h>

#include <cstdint>

#include "skin/SkinBitmap.h"
#include "toolkit/DialogBase.h"
#include "toolkit/GdiOwners.h"

class CUpdateProgressDlg : public CDialogBase {
public:
    CUpdateProgressDlg();
    // Destroys the window if it is still there.
    ~CUpdateProgressDlg() override;

    // Creates the window, centred on the work area, and shows it in front.
    // False when it could not be created. Once only.
    bool Show();
    // Shows received of total bytes as a percentage on the bar and in the
    // text; nothing without a window or a total.
    void SetProgress(uint32_t received, uint32_t total);
    // Destroys the window; it is gone when this returns.
    void Close();

    // Brings a shown progress window of any process to the front; false when
    // there is none.
    static bool BringShownToFront();

protected:
    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    LRESULT OnInitDialog() override;

private:
    // The background, the gold frame, the title strip and the title.
    void PaintBackground(HDC dc) const;

    CSkinPicture m_picTitleBar;
    CBrush m_brBackground;
    int m_nShownPercentage = -1;
};
