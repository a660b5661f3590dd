#include "SetupTexts.h"

#include <array>

namespace {

struct TTextRow {
  const char16_t* CHS;
  const char16_t* CHT;
  const char16_t* ENG;
};

// Spacing and punctuation are part of the texts: the CHS system messages
// have a space between 在 and "Windows", the CHT ones none; the Chinese
// texts use full-width punctuation; the progress texts end in six dots.
const TTextRow kRows[tidTextCount] = {
  /* tidAppVersionFmt */ {u"%s 版本 %s", u"%s 版本 %s", u"%s Version %s"},
  /* tidCheckingOldVersion */ {u"正在检查旧版本", u"正在檢查舊版本", u"Checking old version"},
  /* tidCreateDestDirFailureFmt */
  {u"创建安装目录失败：%s，请重新输入。", u"創建安裝目錄失敗：%s，請重新輸入。",
   u"Failed to create destination directory: %s, please re-enter."},
  /* tidCreatingShortCut */ {u"正在创建快捷方式......", u"正在創建快捷方式......", u"Creating shortcut......"},
  /* tidDestDirCannotBeEmpty */
  {u"安装目录不能为空，请重新输入。", u"安裝目錄不能為空，請重新輸入。",
   u"The Destination directory cannot be empty, please re-enter."},
  /* tidExit */ {u"退出", u"退出", u"Exit"},
  /* tidInstallComplete */ {u"安装完成", u"安裝完成", u"Installation Complete"},
  /* tidInstalling */ {u"正在安装", u"正在安裝", u"Installing"},
  /* tidInstallProgramTitleFmt */ {u"%s 安装程序", u"%s 安裝程式", u"%s Setup"},
  /* tidModifyingRegistry */ {u"正在修改注册表......", u"正在修改註冊表......", u"Modifying registry......"},
  /* tidNeedWin7OrHigher */
  {u"请在 Windows 7 及以上版本系统中安装本软件。", u"請在Windows 7 及以上版本系統中安裝本軟件。",
   u"Please install this software in Windows 7 or higher."},
  /* tidNeedWinXPOrHigher */
  {u"请在 Windows XP 及以上版本系统中安装本软件。", u"請在Windows XP 及以上版本系統中安裝本軟件。",
   u"Please install this software in Windows XP or higher."},
  /* tidRunningAppFmt */ {u"正在运行程序：%s", u"正在運行程式：%s", u"Running program: %s"},
  /* tidSelectInstallPath */ {u"选择安装目录", u"選擇安裝目錄", u"Select Destination"},
  /* tidSetupPackageError */ {u"安装包错误。", u"安裝包錯誤。", u"Installation Package Error."},
  /* tidVerifyingSetup */ {u"正在验证安装......", u"正在驗證安裝......", u"Verifying installation......"},
  /* tidVersionFmt */ {u"版本：%s", u"版本：%s", u"Version: %s"},
  /* tidWriteDestDirFalureFmt */
  {u"尝试在安装目录写入文件失败：%s，请重新输入。", u"嘗試在安裝目錄寫入檔案失敗：%s，請重新輸入。",
   u"Attempt to write file in destination directory failed: %s, please re-enter."},
  /* tidDestDirCaption */ {u"安装目录：", u"安裝目錄：", u"Destination:"},
  /* tidBrowseCaption */ {u"浏览...", u"瀏覽...", u"Browse..."},
  /* tidAgreeCaption */ {u"同意", u"同意", u"Agree"},
  /* tidLicenseCaption */ {u"用户许可协议", u"用戶授權合約", u"User License Agreement"},
  /* tidInstallCaption */ {u"立即安装", u"立即安裝", u"Install"},
  /* tidWaitCaption */ {u"请等待", u"請等待", u"Please wait"},
  /* tidRunAppCaption */ {u"立即体验", u"立即體驗", u"Run"},
  /* tidCopyFailureCaption */ {u"复制文件失败", u"複製檔案失敗", u"Failed to copy file"},
  /* tidRetry */ {u"重试", u"重試", u"Retry"},
  /* tidIgnore */ {u"忽略", u"忽略", u"Ignore"},
  /* tidExitSetup */ {u"退出安装", u"退出安裝", u"Exit Setup"},
  /* tidCopyFailureMessageFmt */
  {u"文件：%s\r\n\r\n失败原因：%s", u"檔案：%s\r\n\r\n失敗原因：%s", u"File: %s\r\n\r\nFailure reason: %s"},
  /* tidFileDataMissing */
  {u"安装包已损坏，缺少此文件的数据。", u"安裝包已損壞，缺少此檔案的資料。",
   u"The installation package is damaged: the data of this file is missing."},
  /* tidFileDataDamaged */
  {u"安装包已损坏，此文件的数据无法解码。", u"安裝包已損壞，此檔案的資料無法解碼。",
   u"The installation package is damaged: the data of this file cannot be decoded."},
  /* tidDownloadVerifyFailed */
  {u"下载的安装包校验失败。", u"下載的安裝包校驗失敗。", u"The downloaded installation package failed verification."},
  /* tidDestDirRefusedFmt */
  {u"不能安装到 %s：该文件夹属于系统或由许多程序共用，安装后将无法卸载。请在其中另建一个文件夹。",
   u"不能安裝到 %s：該資料夾屬於系統或由許多程式共用，安裝後將無法解除安裝。請在其中另建一個資料夾。",
   u"Cannot install into %s: this folder belongs to Windows or is shared by many programs, and the software could "
   u"never be removed from it. Please choose a folder of its own inside it."},
  /* tidDestDirRelativeFmt */
  {u"安装目录 %s 不是完整路径（应以盘符开头，例如 D:\\Apps），请重新输入。",
   u"安裝目錄 %s 不是完整路徑（應以磁碟機代號開頭，例如 D:\\Apps），請重新輸入。",
   u"The destination directory %s is not a full path (it must begin with a drive, such as D:\\Apps), "
   u"please re-enter."},
  /* tidDestDirOpenFmt */
  {u"没有管理员权限的用户也可以更改文件夹 %s：他们可以替换安装在其中的程序，使其以管理员权限运行。",
   u"沒有系統管理員權限的使用者也可以變更資料夾 %s：他們可以替換安裝在其中的程式，使其以系統管理員權限執行。",
   u"Users without administrator rights can change the folder %s: they could replace the programs installed "
   u"there and have them run with administrator rights."},
  /* tidDestDirProtectQuestion */
  {u"是否将该文件夹设为只有管理员可以更改（其他用户仍可读取和运行其中的程序），然后安装？",
   u"是否將該資料夾設為只有系統管理員可以變更（其他使用者仍可讀取和執行其中的程式），然後安裝？",
   u"Make the folder changeable by administrators only (other users can still read it and run its programs) "
   u"and install?"},
  /* tidDestDirProtectFailed */
  {u"安装程序无法更改该文件夹的权限。请选择其他文件夹。", u"安裝程式無法變更該資料夾的權限。請選擇其他資料夾。",
   u"Setup cannot change the rights of this folder. Please choose another folder."},
  /* tidSelectLanguageCaption */ {u"选择语言", u"選擇語言", u"Select Language"},
  /* tidSelectLanguagePrompt */
  {u"请选择安装过程中要使用的语言：", u"請選擇安裝過程中要使用的語言：",
   u"Select the language to use during installation:"},
  /* tidOk */ {u"确定", u"確定", u"OK"},
  /* tidCancel */ {u"取消", u"取消", u"Cancel"},
};

// The three columns as wide strings, built once.
struct TTextTable {
  std::array<std::array<WideString, 3>, tidTextCount> Texts;
  TTextTable() {
    for (int i = 0; i < tidTextCount; ++i) Texts[i] = {kRows[i].CHS, kRows[i].CHT, kRows[i].ENG};
  }
};

const TTextTable& Table() {
  static const TTextTable table;
  return table;
}

}  // namespace

const char16_t* const ProxyLinkCaption = u"代理服务器设置";
const char16_t* const ApplyButtonCaption = u"应用";

// Codes compare case-sensitively: the platform reports them in upper case.
const WideString& SetupText(TTextId id, const WideString& code) {
  const int column = code == u"CHS" ? 0 : code == u"CHT" ? 1 : 2;
  return Table().Texts[id][column];
}

// The item for "CHT" is written with the simplified character 体.
WideString LanguageItemCaption(const WideString& code) {
  if (code == u"CHS") return u"简体中文";
  if (code == u"CHT") return u"繁体中文";
  return u"English";
}
