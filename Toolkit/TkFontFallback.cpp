// Text that the chosen face cannot show. Windows links its faces to others
// for the scripts they lack; a machine without the face a window asks for
// ("微软雅黑" on a system without it), or without that linking, would draw
// Chinese as empty boxes. The toolkit checks the glyphs of what a control
// shows and, for text the face lacks, takes an installed face that has
// them.
#include <algorithm>
#include <map>

#include "TkGdi.h"

namespace {

// Faces that show Chinese, best first: the two of the Chinese Windows
// versions, then the older ones, then what Linux desktops (and so Wine)
// carry.
const wchar_t* const kPreferred[] = {
    L"Microsoft YaHei", L"微软雅黑", L"Microsoft JhengHei", L"微軟正黑體", L"SimHei", L"黑体", L"SimSun",
    L"宋体", L"PMingLiU", L"新細明體", L"WenQuanYi Micro Hei", L"WenQuanYi Zen Hei", L"Noto Sans CJK SC",
    L"Droid Sans Fallback"};

int CALLBACK CollectFamily(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM data) {
  auto* names = reinterpret_cast<std::vector<std::wstring>*>(data);
  // Vertical variants ("@SimSun") lay text sideways.
  if (font->lfFaceName[0] != L'@') names->push_back(font->lfFaceName);
  return 1;
}

std::vector<std::wstring> FamiliesWithCharset(HDC dc, BYTE charset) {
  LOGFONTW query = {};
  query.lfCharSet = charset;
  std::vector<std::wstring> names;
  ::EnumFontFamiliesExW(dc, &query, CollectFamily, reinterpret_cast<LPARAM>(&names), 0);
  return names;
}

// The installed faces for Chinese, preferred ones first; found once.
const std::vector<std::wstring>& ChineseFaces() {
  static const std::vector<std::wstring> faces = [] {
    std::vector<std::wstring> found;
    tk::TWindowDC dc(nullptr);
    if (!dc.Get()) return found;
    std::vector<std::wstring> installed = FamiliesWithCharset(dc.Get(), GB2312_CHARSET);
    for (const std::wstring& name : FamiliesWithCharset(dc.Get(), CHINESEBIG5_CHARSET)) installed.push_back(name);
    for (const wchar_t* name : kPreferred) {
      if (std::find(installed.begin(), installed.end(), name) != installed.end()) found.push_back(name);
    }
    for (const std::wstring& name : installed) {
      if (std::find(found.begin(), found.end(), name) == found.end()) found.push_back(name);
    }
    return found;
  }();
  return faces;
}

}  // namespace

HFONT tk::CreateFontFor(const TTkFont& font, const WideString& face) {
  return ::CreateFontW(-font.Height, 0, 0, 0, font.Bold ? FW_BOLD : FW_NORMAL, FALSE, font.Underline ? TRUE : FALSE,
                       FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, W(face));
}

bool tk::FontShows(HFONT font, const WideString& text) {
  std::u16string shown;
  for (char16_t c : text) {
    if (c >= 0x20 && !(c >= 0xD800 && c <= 0xDFFF)) shown += c;  // controls and surrogate halves aside
  }
  if (shown.empty() || !font) return true;
  // Plain ASCII is in every face.
  if (std::all_of(shown.begin(), shown.end(), [](char16_t c) { return c < 0x80; })) return true;
  TWindowDC dc(nullptr);
  if (!dc.Get()) return true;
  TSelection selection(dc.Get(), font);
  std::vector<WORD> glyphs(shown.size());
  if (::GetGlyphIndicesW(dc.Get(), W(WideString(shown)), static_cast<int>(shown.size()), glyphs.data(),
                         GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR)
    return true;
  return std::none_of(glyphs.begin(), glyphs.end(), [](WORD g) { return g == 0xFFFF; });
}

HFONT tk::CreateFontShowing(const TTkFont& font, const WideString& text) {
  HFONT created = CreateFontFor(font, font.Name);
  if (!created || FontShows(created, text)) return created;
  for (const std::wstring& face : ChineseFaces()) {
    HFONT other = CreateFontFor(font, WideString(reinterpret_cast<const char16_t*>(face.c_str())));
    if (other && FontShows(other, text)) {
      ::DeleteObject(created);
      return other;
    }
    if (other) ::DeleteObject(other);
  }
  return created;  // nothing shows it better
}
