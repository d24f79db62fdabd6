#include "viewer/Styling.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTextEdit>
#include <QTreeView>

#include <cmath>

#include "platform/Paths.h"

namespace ravik {
namespace {
QFont g_normal, g_large, g_fixed;

// The dialog fonts name a Windows family first; where it is missing, a sans
// family that carries Latin and Chinese glyphs stands in, never the serif
// face the font system would otherwise pick (wider, so lists and tabs cut).
QFont MakeFont(const QString& family, bool fixed, int pixels) {
  QFont f(family);
  f.setFamilies(fixed ? QStringList{family, QStringLiteral("WenQuanYi Micro Hei Mono"), QStringLiteral("DejaVu Sans Mono")}
                      : QStringList{family, QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("DejaVu Sans")});
  f.setPixelSize(pixels > 0 ? pixels : 1);
  f.setStyleStrategy(QFont::PreferAntialias);
  return f;
}

void StyleEditor(QWidget* w) {
  QFont f = g_normal;
  f.setBold(true);
  f.setItalic(false);
  f.setUnderline(false);
  f.setStrikeOut(false);
  w->setFont(f);
  QPalette p = w->palette();
  p.setColor(QPalette::Text, QColor(0x55, 0x15, 0x07));
  w->setPalette(p);
}
}  // namespace

void CreateDialogFonts(int h) {
  g_normal = MakeFont(QStringLiteral("SimSun"), false, h / 44);
  g_large = MakeFont(QStringLiteral("SimSun"), false, h / 25);
  g_fixed = MakeFont(QStringLiteral("Fixedsys"), true, h / 42);
  g_fixed.setStyleHint(QFont::Monospace);
}

const QFont& NormalFont() { return g_normal; }
const QFont& LargeFont() { return g_large; }
const QFont& FixedFont() { return g_fixed; }

QIcon AppIcon() { return QIcon(QString::fromStdString(plat::ExePath("ravik.png"))); }

void StyleDialogChildren(QWidget* dialog) {
  if (!dialog) return;
  for (QObject* o : dialog->children()) {
    auto* w = qobject_cast<QWidget*>(o);
    if (!w || w->isWindow()) continue;
    if (qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QTextEdit*>(w)) {
      StyleEditor(w);
    } else if (qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w) || qobject_cast<QGroupBox*>(w) ||
               qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractItemView*>(w) ||
               qobject_cast<QLineEdit*>(w)) {
      w->setFont(g_normal);
    }
  }
}

void UnstyleDialog(QWidget* /*dialog*/) {}

float ScaleFactor(int newSize, int oldSize) {
  float f = static_cast<float>(newSize) / static_cast<float>(oldSize);
  return std::isfinite(f) ? f : 1.0f;
}

QRect ScaleRect(const QRect& r, float fx, float fy) {
  return QRect(static_cast<int>(static_cast<float>(r.x()) * fx), static_cast<int>(static_cast<float>(r.y()) * fy),
               static_cast<int>(static_cast<float>(r.width()) * fx),
               static_cast<int>(static_cast<float>(r.height()) * fy));
}

void ResizeDialogChildren(int newWidth, int newHeight, QWidget* dialog, const QRect& oldClient) {
  if (!dialog) return;
  const float fx = ScaleFactor(newWidth, oldClient.width());
  const float fy = ScaleFactor(newHeight, oldClient.height());
  for (QObject* o : dialog->children()) {
    auto* w = qobject_cast<QWidget*>(o);
    if (!w || w->isWindow()) continue;
    const int oldWidth = w->width();
    w->setGeometry(ScaleRect(w->geometry(), fx, fy));
    if (auto* table = qobject_cast<QTableView*>(w)) {
      QHeaderView* h = table->horizontalHeader();
      const float f = ScaleFactor(w->width(), oldWidth);
      for (int c = 0; c < h->count(); ++c)
        h->resizeSection(c, static_cast<int>(static_cast<float>(h->sectionSize(c)) * f));
    } else if (auto* tree = qobject_cast<QTreeView*>(w)) {
      QHeaderView* h = tree->header();
      const float f = ScaleFactor(w->width(), oldWidth);
      for (int c = 0; c < h->count(); ++c)
        h->resizeSection(c, static_cast<int>(static_cast<float>(h->sectionSize(c)) * f));
    }
  }
}

}  // namespace ravik
