// GDI+ fonts for skin text: made from a LOGFONT so GDI's substitution applies, with fallbacks.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <memory>
#include <string>
#include <vector>

namespace uifeature {

// A font of the given pixel height that really draws, Chinese included. GDI+ resolves a family
// by name without the system's font substitutes, so "Microsoft YaHei" missing on the machine
// fails there and DrawString then draws nothing. Each configured face is tried as the face GDI
// selects for it (substitutes apply) and then by its own name, and kept only when GDI+
// accepts it; a face whose font lacks Chinese glyphs is only a reserve. After the list come the
// installed families with Chinese glyphs, the reserve, GDI+'s generic sans serif and any
// installed family. Null only when GDI+ has no usable font at all. usedFace gets the face taken.
std::unique_ptr<Gdiplus::Font> CreateUiFont(HDC dc, const std::vector<std::wstring>& faces, int pixelHeight, bool bold,
                                            bool underline, std::wstring* usedFace);

}  // namespace uifeature
