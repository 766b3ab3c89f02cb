// The owner-draw dispatch for controls that draw themselves: the reflected
// OCM_DRAWITEM, OCM_MEASUREITEM, OCM_COMPAREITEM and OCM_DELETEITEM reach
// these operations.
#pragma once

#include <windows.h>

class COwnerDraw {
public:
    virtual void DrawItem(const DRAWITEMSTRUCT*) {}
    virtual void MeasureItem(MEASUREITEMSTRUCT*) {}
    virtual int CompareItem(const COMPAREITEMSTRUCT*) { return 0; }
    virtual void DeleteItem(const DELETEITEMSTRUCT*) {}

protected:
    ~COwnerDraw() = default;
    // True, with the result, when the message is one of the four reflected
    // owner-draw messages.
    bool ProcessOwnerDraw(UINT message, LPARAM lParam, LRESULT& result);
};
