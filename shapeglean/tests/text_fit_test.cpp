// Every text that a window, dialog, menu or message box of the program
// shows fits its control in each of the three languages, measured with the
// control's own font: labels, buttons, check boxes, column headers, every
// entry of every combo (the encoding lists for every language), the run
// button's second text, the captions of message boxes, and the columns and
// side bar of the file dialogs.
#include <set>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTreeView>

#include "gui_fixture.h"
#include "ui/dialogs.h"
#include "ui/popup_menus.h"

namespace shapeglean::testing {
namespace {

using namespace palisk;

// The widest line of `text` in `metrics`, as drawn: a single '&' marks the
// next letter's shortcut and takes no room.
int Advance(const QFontMetrics& metrics, QString text) {
  text.replace(QRegularExpression("&(.)"), "\\1");
  int widest = 0;
  for (const QString& line : text.split('\n')) widest = std::max(widest, metrics.horizontalAdvance(line));
  return widest;
}

class TextFitGui : public GuiFixture {
 protected:
  // Notes every text under `root` wider than the room its control gives it.
  void Check(QWidget* root, const std::string& where) {
    root->ensurePolished();
    QCoreApplication::processEvents();
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
      w->ensurePolished();
      // Inside its window, or the window cuts it.
      if (w != root && w->isVisibleTo(root)) {
        const QRect place(w->mapTo(root, QPoint(0, 0)), w->size());
        if (!root->rect().contains(place) && !w->objectName().startsWith("qt_"))
          cuts_.insert(where + "/" + w->objectName().toStdString() + " (" +
                       w->metaObject()->className() + ") lies outside its window");
      }
      const QFontMetrics metrics = w->fontMetrics();
      const std::string name = where + "/" + (w->objectName().isEmpty() ? w->metaObject()->className()
                                                                        : w->objectName().toStdString());
      if (auto* label = qobject_cast<QLabel*>(w)) {
        if (label->wordWrap() || label->text().isEmpty() || !label->pixmap().isNull()) continue;
        const int indent = label->indent() > 0 ? label->indent() : 0;
        Note(name, label->text(), Advance(metrics, label->text()),
             label->contentsRect().width() - 2 * label->margin() - indent);
      } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        if (button->text().isEmpty()) continue;
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        QStyle::SubElement contents = QStyle::SE_PushButtonContents;
        if (qobject_cast<QCheckBox*>(button)) contents = QStyle::SE_CheckBoxContents;
        if (qobject_cast<QRadioButton*>(button)) contents = QStyle::SE_RadioButtonContents;
        const QRect room = button->style()->subElementRect(contents, &option, button);
        Note(name, button->text(), Advance(metrics, button->text()), room.width());
      } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        // The file dialogs' folder history shows paths, cut in the middle
        // by design, as the Windows dialogs' do.
        if (combo->objectName() == "lookInCombo") continue;
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = combo->isEditable();
        const QRect field =
            combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
        for (int i = 0; i < combo->count(); ++i)
          Note(name, combo->itemText(i), metrics.horizontalAdvance(combo->itemText(i)), field.width() - 2);
      }
    }
  }

  void Note(const std::string& where, const QString& text, int need, int have) {
    if (need > have)
      cuts_.insert(where + " \"" + text.toStdString() + "\" needs " + std::to_string(need) + " px, has " +
                   std::to_string(have));
  }

  std::set<std::string> cuts_;
};

TEST_F(TextFitGui, EveryWindowDialogAndMenu) {
  const std::pair<int, const char*> languages[] = {
      {kLanguageEnglish, "en"}, {kLanguageJapanese, "jp"}, {kLanguageChinese, "cn"}};
  for (const auto& language_and_tag : languages) {
    const int number = language_and_tag.first;
    const std::string tag = language_and_tag.second;  // clang 14 lambdas capture no structured binding
    UseLanguage(number);
    Open();
    Add(Drawing("Floor plan 2F.vsd"));
    List()->SelectItem(0);
    QWidget* main = window_->GetHWND();
    const std::string where = tag + "/main";
    // Han characters in the forms of the window's language, where a face
    // of that region is installed (fonts-noto-cjk has both).
    for (const auto& [language, mark] : {std::pair{kLanguageJapanese, " JP"}, std::pair{kLanguageChinese, " SC"}}) {
      const QStringList regional = QFontDatabase::families().filter(mark);
      if (language == number && !regional.isEmpty()) {
        const QString family = QFontInfo(main->font()).family();
        EXPECT_TRUE(family.contains(mark)) << tag << ": " << family.toStdString();
      }
    }
    // Each language's encoding list, and the run button's texts.
    auto* languages_combo = Find<CComboUI>("ComboUI2");
    for (int language = 0; language < languages_combo->GetCount(); ++language) {
      languages_combo->SelectItem(language);
      Check(main, where);
    }
    for (int id : {243, 234}) {
      Find("btnExcute")->SetText(LangString(id));
      Check(main, where);
    }

    auto check = [&](CWindowWnd* dialog, const std::string& name) {
      ASSERT_NE(dialog, nullptr) << name;
      Check(dialog->GetHWND(), tag + "/" + name);
      dialog->DestroyWindow();
      EnableWindow(window_->GetHWND(), true);
    };
    check(OpenDialog<MivoAboutDialog>(window_.get()), "about");
    check(OpenDialog<Mivolanguage>(window_.get()), "language");
    auto* detail = OpenDialog<DetailPage>(window_.get());
    auto* detail_languages = dynamic_cast<CComboUI*>(detail->Manager().FindControl("ComboUI2"));
    for (int language = 0; language < detail_languages->GetCount(); ++language) {
      detail_languages->SelectItem(language);
      Check(detail->GetHWND(), tag + "/settings");
    }
    check(detail, "settings");
    check(OpenDialog<OutDetailPage>(window_.get()), "output-details");
    check(OpenDialog<PWPage>(window_.get()), "password");
    check(OpenDialog<DocinfoPage>(window_.get(), Drawing("Floor plan 2F.vsd")), "file-info");
    auto* list_menu = new CMivoListMenuWnd(window_.get());
    list_menu->Init(List(), POINT{main->x() + 120, main->y() + 110});
    check(list_menu, "list-menu");
    auto* sys_menu = new CMivoSysMenuWnd(window_.get());
    sys_menu->Init(Find("menubtn"), POINT{main->x() + 500, main->y() + 28});
    check(sys_menu, "system-menu");

    // Message boxes: short texts under each caption the program uses (the
    // help document that nothing opens among them), and a screenshot each.
    const std::pair<int, int> boxes[] = {{137, 238}, {190, 223}, {217, 233}, {305, 238}};
    for (const auto& [caption, text] : boxes) {
      std::unique_ptr<QMessageBox> box = MakeMessageBox(nullptr, LangString(text), LangString(caption), MB_OK);
      box->show();
      QCoreApplication::processEvents();
      box->grab().save(QString::fromStdString(
          (ScreenshotFolder() / ("message-" + std::to_string(caption) + "-" + tag + ".png")).string()));
      QFont title = box->font();
      title.setBold(true);
      // The title bar's icon and buttons take at least 96 px beside it.
      Note(tag + "/message-box caption", LangString(caption),
           QFontMetrics(title).horizontalAdvance(LangString(caption)) + 96, box->width());
      Check(box.get(), tag + "/message-box");
    }

    // The file dialogs over a folder of drawings and one subfolder.
    const fs::path folder = root_ / "home/Documents";
    fs::create_directories(folder / "Rack layouts");
    testsupport::WriteFile(folder / "Floor plan 2F.vsd", std::string(74000, 'x'));
    for (bool browser : {false, true}) {
      std::unique_ptr<QFileDialog> dialog =
          browser ? MakeFolderBrowser(nullptr, LangString(135))
                  : MakeOpenFileDialog(nullptr, LangString(135), {{"Visio Files", "*.vsd"}, {"All Files", "*.*"}}, 1);
      dialog->setDirectory(QString::fromStdString(folder.string()));
      dialog->setViewMode(QFileDialog::Detail);
      dialog->show();
      auto* tree = dialog->findChild<QTreeView*>("treeView");
      ASSERT_NE(tree, nullptr);
      ASSERT_TRUE(WaitFor([&] { return tree->model()->rowCount(tree->rootIndex()) >= (browser ? 1 : 2); }));
      WaitFor([] { return false; }, 200);  // the columns settle
      const std::string where = tag + (browser ? "/folder-browser" : "/open-file");
      Check(dialog.get(), where);
      if (!browser) {
        const fs::path shot = ScreenshotFolder() / ("dialog-open-file-" + tag + ".png");
        dialog->grab().save(QString::fromStdString(shot.string()));
      }
      const QFontMetrics metrics = tree->fontMetrics();
      // A cell's text keeps the focus frame's margin and one pixel clear on
      // either side.
      const int margins = 2 * (tree->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, tree) + 1);
      for (int row = 0; row < tree->model()->rowCount(tree->rootIndex()); ++row) {
        for (int column = 0; column < tree->model()->columnCount(tree->rootIndex()); ++column) {
          if (tree->isColumnHidden(column)) continue;
          const QModelIndex index = tree->model()->index(row, column, tree->rootIndex());
          const QString text = index.data().toString();
          const int icon = column == 0 ? tree->iconSize().width() + 8 : 0;
          Note(where + "/column " + std::to_string(column), text, metrics.horizontalAdvance(text) + icon,
               tree->columnWidth(column) - margins);
        }
      }
      auto* side = dialog->findChild<QListView*>("sidebar");
      ASSERT_NE(side, nullptr);
      for (int row = 0; row < side->model()->rowCount(); ++row) {
        const QString text = side->model()->index(row, 0).data().toString();
        Note(where + "/sidebar", text, side->fontMetrics().horizontalAdvance(text) + side->iconSize().width() + 8,
             side->viewport()->width());
      }
      // Qt's own words are in the dialog's language.
      if (number != kLanguageEnglish) {
        EXPECT_NE(tree->model()->index(0, 2, tree->rootIndex()).data().toString(), "Folder") << where;
      }
    }
    window_.reset();
  }
  EXPECT_TRUE(cuts_.empty()) << [&] {
    std::string all;
    for (const std::string& cut : cuts_) all += cut + "\n";
    return all;
  }();
}

}  // namespace
}  // namespace shapeglean::testing
