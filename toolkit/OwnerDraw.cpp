#include "toolkit/OwnerDraw.h"

#include "toolkit/Reflection.h"

bool COwnerDraw::ProcessOwnerDraw(UINT message, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case kReflectedBase + WM_DRAWITEM:
            DrawItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            result = TRUE;
            return true;
        case kReflectedBase + WM_MEASUREITEM:
            MeasureItem(reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
            result = TRUE;
            return true;
        case kReflectedBase + WM_COMPAREITEM:
            result = CompareItem(reinterpret_cast<const COMPAREITEMSTRUCT*>(lParam));
            return true;
        case kReflectedBase + WM_DELETEITEM:
            DeleteItem(reinterpret_cast<const DELETEITEMSTRUCT*>(lParam));
            result = TRUE;
            return true;
        default:
            return false;
    }
}
