// The pages in the real main window at its default size (1152 x 921 on the
// 1280 x 1024 screen of the test display), in English and in Chinese: every
// list shows its column titles and the texts of its visible rows whole, and
// every row is as high as its glyphs (an underscore sits below the base
// line). With RAVIK_SHOT_DIR set, each page is also saved as a picture there
// for a person to look at.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/Paths.h"
#include "viewer/DlgRender.h"
#include "viewer/Language.h"
#include "viewer/RavikDlg.h"
#include "viewer/UiSeam.h"
#include "viewer/layout/ListCtrls.h"
#include "viewer/layout/ShellList.h"
#include "viewer/pages/DlgCodeEdit.h"
#include "viewer/render/RenderView.h"

namespace fs = std::filesystem;
using namespace ravik;

namespace {

fs::path g_realExe;

struct QuietSeam : UiSeam {
  void Message(QWidget*, const QString&, const QString& text, Icon) override { messages.push_back(text); }
  Answer Question(QWidget*, const QString&, const QString&, bool withCancel) override {
    return withCancel ? Answer::Cancel : Answer::No;
  }
  QString OpenFileName(QWidget*, const QString&) override { return openPath; }
  QString SaveFileName(QWidget*, const QString&) override { return {}; }
  std::vector<QString> messages;
  QString openPath;
};
QuietSeam g_seam;

void WriteBytes(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

// Where a list cuts a text: the column (or its title) is narrower than the
// text needs, or the rows are lower than the font's glyphs.
struct Cut {
  QString where;
};

void CheckTable(QTableView* list, const QString& name, std::vector<Cut>& cuts) {
  QHeaderView* h = list->horizontalHeader();
  const int lineHeight = list->fontMetrics().height();
  for (int c = 0; c < h->count(); ++c) {
    if (h->isSectionHidden(c)) continue;
    const QString title = list->model()->headerData(c, Qt::Horizontal).toString();
    if (h->sectionSizeHint(c) > h->sectionSize(c))
      cuts.push_back({name + " title \"" + title + "\": " + QString::number(h->sectionSize(c)) + " < " +
                      QString::number(h->sectionSizeHint(c)) + " of " + QString::number(list->width())});
    const int need = static_cast<QAbstractItemView*>(list)->sizeHintForColumn(c);
    if (need > list->columnWidth(c))
      cuts.push_back({name + " column \"" + title + "\": " + QString::number(list->columnWidth(c)) + " < " +
                      QString::number(need) + " of " + QString::number(list->width())});
  }
  if (list->model()->rowCount() > 0 && list->rowHeight(0) < lineHeight)
    cuts.push_back({name + " rows: " + QString::number(list->rowHeight(0)) + " < " + QString::number(lineHeight)});
}

void CheckShellList(CCustomShellList* list, std::vector<Cut>& cuts) {
  const QModelIndex first = list->model()->index(0, 0, list->rootIndex());
  if (!first.isValid()) {
    cuts.push_back({"shell list: empty"});
    return;
  }
  // The glyphs, descent included, lie inside the row's text area.
  const int rowHeight = list->visualRect(first).height();
  const QFontMetrics fm = list->fontMetrics();
  if (rowHeight < fm.height())
    cuts.push_back({"shell list rows: " + QString::number(rowHeight) + " < " + QString::number(fm.height())});
  for (int c = 0; c < 2; ++c) {
    const int need = static_cast<QAbstractItemView*>(list)->sizeHintForColumn(c);
    if (need > list->columnWidth(c))
      cuts.push_back({"shell list column " + QString::number(c) + ": " + QString::number(list->columnWidth(c)) +
                      " < " + QString::number(need)});
  }
}

class Readable : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    g_seam = QuietSeam();
    SetUiSeam(&g_seam);
    SetLanguageFlag(GetParam());
    exe = fs::temp_directory_path() / ("ravik_readable_" + std::to_string(getpid()) + "_" +
                                       std::to_string(GetParam()));
    fs::remove_all(exe);
    fs::create_directories(exe / "fanuc");
    for (const auto& e : fs::directory_iterator(RAVIK_DATA_DIR))
      if (e.path().filename().string().rfind("dlg_", 0) == 0) fs::copy_file(e.path(), exe / e.path().filename());
    for (const char* name : {"language", "coderule", "vertexShader.glsl", "fragmentShader.glsl"})
      fs::copy(g_realExe / name, exe / name, fs::copy_options::recursive);
    fs::copy(g_realExe / "fanuc", exe / "fanuc", fs::copy_options::recursive);
    // Variables with long values in each kind of row: local, common, system.
    std::string vars;
    for (int i = 0; i < 5400; ++i)
      vars += i == 1 ? "-12345.678 1\r\n" : i == 100 ? "-1234.5678 2\r\n" : i == 5221 ? "-12345.678 3\r\n"
            : i >= 4000 ? "0 3\r\n" : "0 0\r\n";
    WriteBytes(exe / "fanuc" / "variables.txt", vars);
    // Offsets and work offsets with long values.
    std::vector<double> offsets(401 * 4, 0.0), zero(7 * 3, 0.0);
    for (int i = 12; i < 16; ++i) offsets[static_cast<std::size_t>(i)] = -1234.5678;
    for (int i = 6; i < 9; ++i) zero[static_cast<std::size_t>(i)] = -12345.678;
    auto doubles = [](const std::vector<double>& v) {
      return std::string(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(double));
    };
    WriteBytes(exe / "fanuc" / "offset.dat", doubles(offsets));
    WriteBytes(exe / "fanuc" / "partzero.dat", doubles(zero));
    fs::create_directories(exe / "code");
    for (const char* name : {"contour_arcs.nc", "drill_pattern.nc", "surface_3d.nc"})
      fs::copy_file(fs::path(RAVIK_DATA_DIR) / "samples" / name, exe / "code" / name);
    plat::SetExeDirOverride(exe.string());
  }
  void TearDown() override {
    if (main) {
      main->close();
      main.reset();
    }
    SetLanguageFlag(1);
    plat::SetExeDirOverride("");
    SetUiSeam(nullptr);
    fs::remove_all(exe);
  }

  std::unique_ptr<CRavikDlg> main;
  fs::path exe;
};

TEST_P(Readable, EveryListShowsItsTitlesTextsAndGlyphsWhole) {
  main = std::make_unique<CRavikDlg>();
  main->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
  EXPECT_EQ(main->size(), QSize(1152, 921));
  ASSERT_TRUE(QTest::qWaitFor([&] { return main->render()->view()->glReady(); }, 5000));
  // A program whose commands carry positions, centres and radii.
  g_seam.openPath = QString::fromStdString((exe / "code" / "contour_arcs.nc").string());
  QSignalSpy loaded(main->render(), &CDlgRender::loadFinished);
  main->render()->OnOpenNcFile();
  ASSERT_TRUE(!main->render()->loaderRunning() || loaded.wait(20000) || !main->render()->loaderRunning());

  auto* code = dynamic_cast<CDlgCodeEdit*>(main->pages().at(0));
  ASSERT_NE(code, nullptr);
  // Every page with a list is owned by the view window; the code page has none.
  for (CDlgParams* page : main->pages())
    EXPECT_EQ(page->ownerWindow(), page->mainList() ? static_cast<QWidget*>(main->render()) : nullptr)
        << page->GetTitle().toStdString();
  EXPECT_EQ(code->ownerWindow(), nullptr);
  ASSERT_NE(code->shellList(), nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return code->shellList()->GetItemCount() >= 3; }, 5000));

  const QByteArray shots = qgetenv("RAVIK_SHOT_DIR");
  std::vector<Cut> cuts;
  for (int i = 0; i < static_cast<int>(main->pages().size()); ++i) {
    main->SelectPage(i);
    QApplication::processEvents();
    CDlgParams* page = main->pages().at(static_cast<std::size_t>(i));
    for (auto* list : page->findChildren<CListCtrlBase*>(Qt::FindDirectChildrenOnly))
      if (list->isVisible())
        CheckTable(list, page->GetTitle() + " " + QString::number(CtrlId(list)), cuts);
    if (i == 0) CheckShellList(code->shellList(), cuts);
    if (!shots.isEmpty())
      main->grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/page%1_%2.png").arg(i).arg(GetParam()));
  }
  for (const Cut& c : cuts) ADD_FAILURE() << c.where.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Languages, Readable, ::testing::Values(1, 0),
                         [](const auto& info) { return info.param ? "English" : "Chinese"; });

}  // namespace

int main(int argc, char** argv) {
  g_realExe = fs::path(argv[0]).parent_path();
  QSurfaceFormat::setDefaultFormat(RenderView::DefaultFormat());
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
