// GDI+ fonts for skin text: made from a LOGFONT so GDI's substitution applies, with fallbacks.
#include "companions/skin-engine/kernel/font_factory.h"

#include <vector>

namespace uifeature {

using namespace Gdiplus;

namespace {

LOGFONTW MakeLogFont(const std::wstring& face, int pixelHeight, bool bold, bool underline) {
    LOGFONTW lf{};
    lf.lfHeight = -pixelHeight;
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfUnderline = underline ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = CLEARTYPE_QUALITY;
    lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
    return lf;
}

// Whether the font GDI selects for face has glyphs for Chinese text (a Latin face would draw
// boxes or nothing for the tool's texts).
bool HasChineseGlyphs(HDC dc, const std::wstring& face) {
    const LOGFONTW lf = MakeLogFont(face, 16, false, false);
    HFONT font = ::CreateFontIndirectW(&lf);
    if (!font) return false;
    HGDIOBJ old = ::SelectObject(dc, font);
    WORD glyphs[4] = {};
    const DWORD n = ::GetGlyphIndicesW(dc, L"\x4E2D\x6587\x5347\x7EA7", 4, glyphs, GGI_MARK_NONEXISTING_GLYPHS);
    ::SelectObject(dc, old);
    ::DeleteObject(font);
    if (n != 4) return false;
    for (WORD g : glyphs) {
        if (g == 0xFFFF) return false;
    }
    return true;
}

// GDI+ font for face: through GDI first (substitutes apply), then by family name.
Font* TryFace(HDC dc, const std::wstring& face, int pixelHeight, bool bold, bool underline) {
    const LOGFONTW lf = MakeLogFont(face, pixelHeight, bold, underline);
    auto* font = new Font(dc, &lf);
    if (font->GetLastStatus() == Ok && font->IsAvailable()) return font;
    delete font;
    FontFamily family(face.c_str());
    if (family.GetLastStatus() != Ok) return nullptr;
    const INT style = (bold ? FontStyleBold : FontStyleRegular) | (underline ? FontStyleUnderline : 0);
    font = new Font(&family, static_cast<REAL>(pixelHeight), style, UnitPixel);
    if (font->GetLastStatus() == Ok && font->IsAvailable()) return font;
    delete font;
    return nullptr;
}

bool Usable(const std::wstring& face) { return !face.empty() && face.size() < LF_FACESIZE; }

std::vector<std::wstring> InstalledFamilies() {
    std::vector<std::wstring> names;
    InstalledFontCollection installed;
    const INT count = installed.GetFamilyCount();
    if (count <= 0) return names;
    std::vector<FontFamily> families(static_cast<size_t>(count));
    INT found = 0;
    installed.GetFamilies(count, families.data(), &found);
    for (INT i = 0; i < found; ++i) {
        wchar_t name[LF_FACESIZE] = {};
        if (families[static_cast<size_t>(i)].GetFamilyName(name) == Ok && name[0]) names.emplace_back(name);
    }
    return names;
}

}  // namespace

Font* CreateUiFont(HDC dc, const std::vector<std::wstring>& faces, int pixelHeight, bool bold, bool underline,
                   std::wstring* usedFace) {
    auto take = [&](Font* font, const std::wstring& face) {
        if (usedFace) *usedFace = face;
        return font;
    };
    // The configured faces, first one that draws Chinese. A face without Chinese glyphs is kept
    // in reserve: Latin text is better than none.
    Font* latin = nullptr;
    std::wstring latinFace;
    for (const std::wstring& face : faces) {
        if (!Usable(face)) continue;
        Font* font = TryFace(dc, face, pixelHeight, bold, underline);
        if (!font) continue;
        if (HasChineseGlyphs(dc, face)) {
            delete latin;
            return take(font, face);
        }
        if (!latin) {
            latin = font;
            latinFace = face;
        } else {
            delete font;
        }
    }
    // None of them: any installed family GDI+ can use that has Chinese glyphs.
    const std::vector<std::wstring> installed = InstalledFamilies();
    for (const std::wstring& face : installed) {
        if (!Usable(face) || !HasChineseGlyphs(dc, face)) continue;
        if (Font* font = TryFace(dc, face, pixelHeight, bold, underline)) {
            delete latin;
            return take(font, face);
        }
    }
    if (latin) return take(latin, latinFace);
    const INT style = (bold ? FontStyleBold : FontStyleRegular) | (underline ? FontStyleUnderline : 0);
    auto* generic = new Font(FontFamily::GenericSansSerif(), static_cast<REAL>(pixelHeight), style, UnitPixel);
    if (generic->GetLastStatus() == Ok && generic->IsAvailable()) return take(generic, L"sans-serif");
    delete generic;
    for (const std::wstring& face : installed) {
        if (!Usable(face)) continue;
        if (Font* font = TryFace(dc, face, pixelHeight, bold, underline)) return take(font, face);
    }
    return nullptr;
}

}  // namespace uifeature
