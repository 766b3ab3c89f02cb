// How the start window owns its inner dialog without knowing its class.
#pragma once

#include <windows.h>

class IStandardDialog {
public:
    // Creates the dialog modeless, owned by the parent it was made with, and
    // shows it. Its initialisation runs before this returns.
    virtual int CreateAndShow() = 0;
    virtual HWND GetHwnd() = 0;
    virtual bool DestroyDialog() = 0;
    // Deletes the object; the pointer is invalid afterwards.
    virtual void DeleteDialog() = 0;

protected:
    ~IStandardDialog() = default;
};

// Lets a std::unique_ptr own an inner dialog: deletes it through DeleteDialog.
struct StandardDialogDeleter {
    void operator()(IStandardDialog* dialog) const { dialog->DeleteDialog(); }
};
