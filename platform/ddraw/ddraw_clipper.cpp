// DirectDraw clippers: the window a surface's blits are clipped to.
#include "platform/ddraw/ddraw_object.h"

#include "platform/window/window.h"

// A clipper whose DirectDraw object is closing stays for the object to delete.
bool IDirectDrawClipper::lastReferenceGone()
{
    if (owner_->closing)
        return false;
    owner_->forget(this);
    return true;
}

HRESULT IDirectDrawClipper::SetHWnd(DWORD, HWND window)
{
    if (window && !IsWindow(window))
        return DDERR_INVALIDPARAMS;
    window_ = window;
    return DD_OK;
}

HRESULT IDirectDrawClipper::GetHWnd(HWND* window)
{
    if (!window)
        return DDERR_INVALIDPARAMS;
    *window = window_;
    return DD_OK;
}
