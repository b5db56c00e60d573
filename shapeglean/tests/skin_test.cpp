// Every layout of every skin archive builds, with every control name the
// program looks up in it.
#include <map>
#include <vector>

#include <gtest/gtest.h>

#include "app.h"
#include "palisk/testing.h"
#include "ui/quandel_mivo_wnd.h"

namespace shapeglean {
namespace {

using namespace palisk;

const std::map<QString, std::vector<const char*>>& NamesByLayout() {
  static const std::map<QString, std::vector<const char*>> names = {
      {"quandelmain+list.xml",
       {"opAddTimeToEnd", "cmbFolderSet", "BtnOutPath", "edOutPath", "menubtn", "minbtn", "closebtn", "btnExcute",
        "filelist", "ComboUI1", "ComboUI2", "OptionBig", "OptionLittle", "btnAddFile", "btnAddFolder",
        "btnRemoveSel", "btnRemoveAll", "btnDown", "btnUp", "BtnDetailSet", "BtnMore", "hbtnFilename",
        "hbtnFilePath", "hbtnEncrypted", "hbtnState"}},
      {"ExpSet.xml", {}},
      {"about_wnd.xml", {"closebtn", "lblFlag", "view_richedit"}},
      {"LanguageChoose.xml", {"closebtn", "cancelbtn", "savebtn", "LanguageSel"}},
      {"mivosetstate3.xml", {"closebtn", "cancelbtn", "minbtn", "savebtn", "ComboUI1", "ComboUI2", "pathlist",
                             "ComSD", "ComED"}},
      {"OutDetail.xml", {"EdOP", "EdConfirmOP", "Textcon2", "EdUP", "EdConfirmUP", "Textcon1", "OpLineOut", "OpOP",
                         "OpUP", "btnclose", "btnCancel", "btnmin", "BtnStoreSet"}},
      {"Password.xml", {"inputpw", "Cancel", "closebtn"}},
      {"FileInfo.xml", {"TITLE", "SUBJECT", "AUTHOR", "MANAGER", "COMPANY", "CATEGORY", "KEYWORD", "COMMENT",
                        "btnclose", "btnOK"}},
      {"list_menu1.xml", {"menu_Up", "menu_Down", "menu_Decrypt", "menu_FileInfo", "menu_DeleteThis",
                          "menu_DeleteAll"}},
      {"sys_menu.xml", {"menu_Help", "menu_About", "menu_Language"}},
  };
  return names;
}

TEST(SkinGui, EveryLayoutOfEveryArchiveBuildsWithItsControls) {
  EnsureTestApplication();
  CPaintManagerUI::SetResourcePath(CPaintManagerUI::GetInstancePath() + "skin");
  for (const char* archive : {"QuandelSkin+icon_en.zip", "QuandelSkin+icon_jp.zip", "QuandelSkin+icon_cn.zip"}) {
    CPaintManagerUI::SetResourceZip(archive);
    for (const auto& [layout, names] : NamesByLayout()) {
      CPaintManagerUI pm;
      CPageBuilderCallbackEx callback(&pm);
      CDialogBuilder builder;
      CControlUI* root = builder.Create(layout, "", &callback, &pm);
      ASSERT_NE(root, nullptr) << archive << " " << layout.toStdString() << ": "
                               << builder.GetLastErrorText().ToUtf8();
      for (const char* name : names) {
        CControlUI* found = root->FindControl(name);
        ASSERT_NE(found, nullptr) << archive << " " << layout.toStdString() << " lacks " << name;
        // Names are unique ignoring case: the first found is the one named.
        EXPECT_EQ(found->GetName(), QString(name)) << archive << " " << layout.toStdString();
      }
      delete root;
    }
  }
  CPaintManagerUI::SetResourceZip("");
}

}  // namespace
}  // namespace shapeglean
