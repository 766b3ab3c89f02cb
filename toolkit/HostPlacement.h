// Where a control host goes when its control asks for another position
// rectangle (IOleInPlaceSite::OnPosRectChange). No Windows header.
#pragma once

#include <cstdint>

struct HostRect {
    int32_t left, top, right, bottom;

    bool operator==(const HostRect&) const = default;
};

// The host window's new rectangle in its parent's client coordinates.
// asked is the rectangle the control asks for and given the position
// rectangle the host last gave it, both in the host's client coordinates;
// window is the host's rectangle now and (originX, originY) the top-left of
// its client area, both in the parent's client coordinates.
// A control builds its request from the rectangle it was given and changes
// the edges it means to move: each of those goes where it is asked, mapped
// to the parent, and every other edge stays where the host window has it, so
// the host keeps its own non-client parts (a scroll bar) there. A request
// that changes no edge leaves the window as it is.
HostRect HostRectForRequest(const HostRect& asked, const HostRect& given, const HostRect& window, int32_t originX,
                            int32_t originY);
