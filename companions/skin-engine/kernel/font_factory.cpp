// GDI+ fonts for skin text: made from the face GDI selects, so its substitution applies, with fallbacks.
#include "companions/skin-engine/kernel/font_factory.h"

#include <vector>

#include "base/win/handle.h"

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
    const TVSP::unique_hfont font(::CreateFontIndirectW(&lf));
    if (!font) return false;
    HGDIOBJ old = ::SelectObject(dc, font.get());
    WORD glyphs[4] = {};
    const DWORD n = ::GetGlyphIndicesW(dc, L"\x4E2D\x6587\x5347\x7EA7", 4, glyphs, GGI_MARK_NONEXISTING_GLYPHS);
    ::SelectObject(dc, old);  // before the font's owner lets it go
    if (n != 4) return false;
    for (WORD g : glyphs) {
        if (g == 0xFFFF) return false;
    }
    return true;
}

// The font when GDI+ made it and can draw with it; null otherwise.
std::unique_ptr<Font> Drawable(std::unique_ptr<Font> font) {
    return font->GetLastStatus() == Ok && font->IsAvailable() ? std::move(font) : nullptr;
}

// The face GDI selects for lf, its font substitutes applied (empty when it selects none): what
// GdipCreateFontFromLogfontW looks up itself.
std::wstring FaceGdiSelects(HDC dc, const LOGFONTW& lf) {
    const TVSP::unique_hfont font(::CreateFontIndirectW(&lf));
    if (!font) return {};
    HGDIOBJ old = ::SelectObject(dc, font.get());
    wchar_t name[LF_FACESIZE] = {};
    const int n = ::GetTextFaceW(dc, LF_FACESIZE, name);
    ::SelectObject(dc, old);  // before the font's owner lets it go
    return n > 0 ? std::wstring(name) : std::wstring();
}

// GDI+ font of the family named face. Made from a FontFamily only: a failed
// GdipCreateFontFromLogfontW (the Font(HDC, LOGFONT) constructor) may leave the pointer to the
// font it freed in the wrapper, whose destructor then frees it again and corrupts the heap.
std::unique_ptr<Font> FromFamily(const std::wstring& face, int pixelHeight, INT style) {
    FontFamily family(face.c_str());
    if (family.GetLastStatus() != Ok || !family.IsAvailable()) return nullptr;
    return Drawable(std::make_unique<Font>(&family, static_cast<REAL>(pixelHeight), style, UnitPixel));
}

// GDI+ font for face: the face GDI selects for it first (substitutes apply), then by family name.
std::unique_ptr<Font> TryFace(HDC dc, const std::wstring& face, int pixelHeight, bool bold, bool underline) {
    const INT style = (bold ? FontStyleBold : FontStyleRegular) | (underline ? FontStyleUnderline : 0);
    const std::wstring selected = FaceGdiSelects(dc, MakeLogFont(face, pixelHeight, bold, underline));
    if (!selected.empty() && selected != face) {
        if (auto font = FromFamily(selected, pixelHeight, style)) return font;
    }
    return FromFamily(face, pixelHeight, style);
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

std::unique_ptr<Font> CreateUiFont(HDC dc, const std::vector<std::wstring>& faces, int pixelHeight, bool bold,
                                   bool underline, std::wstring* usedFace) {
    auto take = [&](std::unique_ptr<Font> font, const std::wstring& face) {
        if (usedFace) *usedFace = face;
        return font;
    };
    // The configured faces, first one that draws Chinese. A face without Chinese glyphs is kept
    // in reserve: Latin text is better than none.
    std::unique_ptr<Font> latin;
    std::wstring latinFace;
    for (const std::wstring& face : faces) {
        if (!Usable(face)) continue;
        std::unique_ptr<Font> font = TryFace(dc, face, pixelHeight, bold, underline);
        if (!font) continue;
        if (HasChineseGlyphs(dc, face)) return take(std::move(font), face);
        if (!latin) {
            latin = std::move(font);
            latinFace = face;
        }
    }
    // None of them: any installed family GDI+ can use that has Chinese glyphs.
    const std::vector<std::wstring> installed = InstalledFamilies();
    for (const std::wstring& face : installed) {
        if (!Usable(face) || !HasChineseGlyphs(dc, face)) continue;
        if (auto font = TryFace(dc, face, pixelHeight, bold, underline)) return take(std::move(font), face);
    }
    if (latin) return take(std::move(latin), latinFace);
    const INT style = (bold ? FontStyleBold : FontStyleRegular) | (underline ? FontStyleUnderline : 0);
    if (auto generic = Drawable(std::make_unique<Font>(FontFamily::GenericSansSerif(), static_cast<REAL>(pixelHeight),
                                                       style, UnitPixel))) {
        return take(std::move(generic), L"sans-serif");
    }
    for (const std::wstring& face : installed) {
        if (!Usable(face)) continue;
        if (auto font = TryFace(dc, face, pixelHeight, bold, underline)) return take(std::move(font), face);
    }
    return nullptr;
}

}  // namespace uifeature
