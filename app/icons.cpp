#include "app/icons.h"

#include <wx/bitmap.h>
#include <wx/icon.h>
#include <wx/image.h>

#include "app/icon_data.h"

namespace corvane::app {

wxIconBundle AppIcons() {
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
    wxIconBundle icons;
    for (size_t i = 0; i < kIconImageCount; ++i) {
        wxBitmap bitmap = wxBitmap::NewFromPNGData(kIconImages[i].png, kIconImages[i].bytes);
        if (!bitmap.IsOk()) continue;
        wxIcon icon;
        icon.CopyFromBitmap(bitmap);
        icons.AddIcon(icon);
    }
    return icons;
}

}  // namespace corvane::app
