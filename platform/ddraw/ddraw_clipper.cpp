// DirectDraw clippers: the window a surface's blits are clipped to.
#include "platform/ddraw/ddraw_object.h"

#include "platform/window/window.h"

ULONG IDirectDrawClipper::AddRef() { return ++references_; }

ULONG IDirectDrawClipper::Release()
{
    if (references_ == 0)
        return 0;
    ULONG left = --references_;
    if (left == 0 && !owner_->closing) {
        owner_->forget(this);
        delete this;
    }
    return left;
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
