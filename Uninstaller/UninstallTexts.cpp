#include "UninstallTexts.h"

namespace {

struct TTextRow {
  const char16_t* CHS;
  const char16_t* CHT;
  const char16_t* ENG;
};

// In the order of TUninstallTextId.
const TTextRow kTexts[utTextCount] = {
    {u"确定要完全移除 %s 及其所有组件吗？", u"確定要完全移除 %s 及其所有元件嗎？",
     u"Remove %s and all of its components?"},
    {u"%s 已从您的计算机中移除。", u"%s 已從您的電腦中移除。", u"%s was removed from your computer."},
    {u"以下项目无法移除，您可以手动删除：", u"以下項目無法移除，您可以手動刪除：",
     u"These items could not be removed; you can delete them by hand:"},
    {u"%s 卸载", u"%s 解除安裝", u"%s Uninstall"},
    {u"正在移除 %s", u"正在移除 %s", u"Removing %s"},
    {u"请稍候...", u"請稍候...", u"Please wait..."},
    {u"无法读取卸载数据 \"%s\"：%s\r\n没有移除任何内容。", u"無法讀取解除安裝資料 \"%s\"：%s\r\n沒有移除任何內容。",
     u"The uninstall data \"%s\" cannot be read: %s\r\nNothing was removed."},
    {u"卸载程序位于 \"%s\"，不能从该文件夹中移除任何内容。", u"解除安裝程式位於 \"%s\"，不能從該資料夾中移除任何內容。",
     u"The uninstaller is in \"%s\", a folder it never removes anything from. Nothing was removed."},
    {u"卸载数据 \"%s\" 中的产品标识无效。没有移除任何内容。", u"解除安裝資料 \"%s\" 中的產品識別碼無效。沒有移除任何內容。",
     u"The uninstall data \"%s\" names no valid product GUID. Nothing was removed."},
    {u"%s（未移除：卸载数据中的这个路径不完整，或含有 \".\" 或 \"..\"）",
     u"%s（未移除：解除安裝資料中的這個路徑不完整，或含有 \".\" 或 \"..\"）",
     u"%s (not removed: the uninstall data gives no full path for it, or one with \".\" or \"..\")"},
    {u"卸载程序位于 \"%s\"，没有管理员权限的用户也可以更改该文件夹，因此其中的卸载数据不可信。没有移除任何内容。",
     u"解除安裝程式位於 \"%s\"，沒有系統管理員權限的使用者也可以變更該資料夾，因此其中的解除安裝資料不可信。沒有移除任何內容。",
     u"The uninstaller is in \"%s\", a folder that users without administrator rights can change, so its "
     u"uninstall data cannot be trusted. Nothing was removed."},
};

}  // namespace

const WideString& UninstallText(TUninstallTextId id, const WideString& code) {
  // Built once, on first use; the table itself stays constant.
  static const struct TCache {
    WideString Texts[utTextCount][3];
    TCache() {
      for (int i = 0; i < utTextCount; ++i) {
        Texts[i][0] = kTexts[i].CHS;
        Texts[i][1] = kTexts[i].CHT;
        Texts[i][2] = kTexts[i].ENG;
      }
    }
  } cache;
  const int row = id >= 0 && id < utTextCount ? id : 0;
  const int column = code == u"CHS" ? 0 : code == u"CHT" ? 1 : 2;
  return cache.Texts[row][column];
}
