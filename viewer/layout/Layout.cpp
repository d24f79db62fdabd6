#include "viewer/layout/Layout.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>

#include <algorithm>
#include <cmath>

#include "platform/Files.h"
#include "platform/Host.h"
#include "platform/Text.h"
#include "viewer/Language.h"
#include "viewer/TextConv.h"
#include "viewer/UiSeam.h"
#include "viewer/layout/EditCtrls.h"
#include "viewer/layout/WinMsg.h"

namespace ravik {
namespace {

const std::u16string& Get(const KeyValueMap& pairs, const char16_t* key) {
  static const std::u16string empty;
  auto it = pairs.find(key);
  return it == pairs.end() ? empty : it->second;
}

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The shared empty record the look-ups return when nothing matches; handed
// out fresh each time, so a caller that writes into it affects no other.
CDlgCtrls& EmptyRecord(CDlgCtrls& slot) {
  slot.CopyRecord(CDlgCtrls());
  slot.window = nullptr;
  slot.label = nullptr;
  return slot;
}

// Where a coordinate can lie: far beyond any screen, yet far from the ends
// of an int, so that sums of a few of them cannot overflow.
constexpr long long kCoordLimit = 1 << 24;

int Coord(long long v) { return static_cast<int>(std::clamp(v, -kCoordLimit, kCoordLimit)); }

Qt::Alignment LabelAlignment(std::int32_t style) {
  Qt::Alignment a = Qt::AlignVCenter;
  switch (style & 3) {
    case 1: return a | Qt::AlignHCenter;
    case 2: return a | Qt::AlignRight;
    default: return a | Qt::AlignLeft;
  }
}

// How a layout file's bytes are stored, in words: the encoding, whether a
// byte-order mark leads, which line ends it uses and whether a last byte is
// left over. Only what differs from the layout format is named.
QString DescribeForm(const std::string& b, TextEncoding encoding) {
  auto starts = [&b](const char* prefix, std::size_t n) { return b.size() >= n && b.compare(0, n, prefix, n) == 0; };
  QStringList parts;
  QString name = QString::fromLatin1(EncodingName(encoding));
  bool utf16 = false, big = false, mark = false;
  switch (encoding) {
    case TextEncoding::Utf16Le:
      return Tr(QStringLiteral("UTF-16LE"), QStringLiteral("UTF-16LE"));
    case TextEncoding::Utf16LeOther:
      name = QStringLiteral("UTF-16LE");
      utf16 = true;
      mark = starts("\xFF\xFE", 2);
      break;
    case TextEncoding::Utf16Be:
      utf16 = big = true;
      mark = starts("\xFE\xFF", 2);
      break;
    case TextEncoding::Utf8:
      if (starts("\xEF\xBB\xBF", 3)) parts << Tr(QStringLiteral("with a byte-order mark"), QStringLiteral("带字节顺序标记"));
      return parts.isEmpty() ? name : name + QLatin1Char(' ') + parts.join(QStringLiteral(", "));
    case TextEncoding::Unknown:
      return name;
  }
  if (utf16 && !mark) parts << Tr(QStringLiteral("without a byte-order mark"), QStringLiteral("无字节顺序标记"));
  std::size_t crlf = 0, lf = 0, cr = 0;
  const std::size_t from = mark ? 2 : 0;
  auto unit = [&](std::size_t p) {
    const unsigned lo = static_cast<unsigned char>(b[big ? p + 1 : p]);
    const unsigned hi = static_cast<unsigned char>(b[big ? p : p + 1]);
    return static_cast<char16_t>(lo | (hi << 8));
  };
  for (std::size_t p = from; p + 1 < b.size(); p += 2) {
    const char16_t u = unit(p);
    if (u == u'\r') {
      if (p + 3 < b.size() && unit(p + 2) == u'\n') {
        ++crlf;
        p += 2;
      } else {
        ++cr;
      }
    } else if (u == u'\n') {
      ++lf;
    }
  }
  if ((lf > 0) + (cr > 0) + (crlf > 0) > 1)
    parts << Tr(QStringLiteral("with mixed line ends"), QStringLiteral("换行符混杂"));
  else if (lf > 0)
    parts << Tr(QStringLiteral("with LF line ends"), QStringLiteral("使用 LF 换行"));
  else if (cr > 0)
    parts << Tr(QStringLiteral("with CR line ends"), QStringLiteral("使用 CR 换行"));
  if ((b.size() - from) % 2 != 0) parts << Tr(QStringLiteral("with a stray last byte"), QStringLiteral("末尾多一个字节"));
  return parts.isEmpty() ? name : name + QLatin1Char(' ') + parts.join(QStringLiteral(", "));
}

}  // namespace

// ------------------------------------------------------------ geometry

std::vector<WRect> StackBands(const std::vector<float>& ratios, int clientWidth, int clientHeight) {
  std::vector<WRect> bands;
  bands.reserve(ratios.size());
  long long y = 0;
  for (float ratio : ratios) {
    const long long h = static_cast<long long>(static_cast<float>(clientHeight) * LayoutFraction(ratio));
    bands.push_back(WRect{0, Coord(y + 2), clientWidth, Coord(y + h)});
    y = std::min(y + h, kCoordLimit);
  }
  return bands;
}


BandGeometry ComputeBandGeometry(const LayoutGrid& grid, const std::vector<bool>& labels, const WRect& band) {
  BandGeometry g;
  WRect r = band;
  if (!grid.name.empty()) {
    r.left += 5;
    r.right -= 5;
    r.top += 18;
  }
  g.inner = r;
  // Shares outside 0..1 never reach here from a file; they are brought
  // into range again so that no product overflows.
  const float margin = LayoutFraction(grid.margin), ctrlShare = LayoutFraction(grid.ctrl_h);
  const float lblShare = LayoutFraction(grid.lbl_w);
  const long long m = static_cast<long long>(static_cast<float>(band.Width()) * margin);
  if (!grid.name.empty()) {
    g.hasGroupBox = true;
    g.groupBox = WRect{Coord(band.left + m / 3), band.top, Coord(band.right - m / 3), band.bottom};
  }
  const long long n = static_cast<long long>(labels.size());
  if (n == 0) return g;
  const long long col = grid.col < 1 ? 1 : grid.col;
  const long long rows = (n + col - 1) / col;
  g.rows = static_cast<int>(rows);
  const long long rowH = (static_cast<long long>(r.bottom) - r.top) / rows;
  const long long ctrlH = static_cast<long long>(ctrlShare * static_cast<float>(rowH));
  const long long vOff = (rowH - ctrlH) / 2;
  const long long innerW = static_cast<long long>(r.right) - r.left;
  auto colWidth = [&](std::size_t c) {
    const float f = c < grid.col_ratio.size() ? LayoutFraction(grid.col_ratio[c]) : 0.0f;
    return static_cast<long long>(f * static_cast<float>(innerW));
  };
  auto labelWidth = [&](long long colW) { return static_cast<long long>(static_cast<float>(colW - m) * lblShare); };
  std::size_t c = 0;
  long long colW = colWidth(0);
  long long lblW = labelWidth(colW);
  long long x = 0;
  long long i = 0;
  g.cells.reserve(labels.size());
  for (long long j = 0; j < n; ++j, ++i) {
    if (i > rows - 1) {
      x = std::min(x + colW, kCoordLimit);
      ++c;
      i = 0;
      colW = colWidth(c);
      lblW = labelWidth(colW);
    }
    const long long t = r.top + i * rowH + vOff;
    CellGeometry cell;
    cell.hasLabel = labels[static_cast<std::size_t>(j)];
    if (cell.hasLabel) {
      cell.label = WRect{Coord(r.left + x + m / 2), Coord(t), Coord(r.left + x + lblW), Coord(t + ctrlH)};
      const long long left = r.left + x + m / 2 + lblW;
      cell.control = WRect{Coord(left), Coord(t), Coord(left + colW - m - lblW), Coord(t + ctrlH)};
    } else {
      const long long left = r.left + x + m / 2;
      cell.control = WRect{Coord(left), Coord(t), Coord(left + colW - m), Coord(t + ctrlH)};
    }
    g.cells.push_back(cell);
  }
  return g;
}

// ------------------------------------------------------------ one band

Layout::~Layout() {
  // Each control's window, then its label, then the record; the group box last.
  controls.clear();
  delete groupBox.data();
}

void Layout::Build(const WRect& bandRect, QWidget* parent, int bandIndex) {
  std::vector<bool> labels;
  for (const auto& c : controls) labels.push_back(c->lbl);
  const BandGeometry g = ComputeBandGeometry(grid, labels, bandRect);
  for (std::size_t j = 0; j < controls.size(); ++j) {
    CDlgCtrls& ctrl = *controls[j];
    const CellGeometry& cell = g.cells[j];
    if (cell.hasLabel) {
      auto* label = new QLabel(QString(), parent);
      label->setText(FromU16(ctrl.lblname));
      label->setAlignment(LabelAlignment(grid.lbl_align));
      SetWindowStyle(label, static_cast<std::uint32_t>(grid.lbl_align) | kStyleLabel);
      SetCtrlId(label, 2000 + static_cast<int>(j));
      label->setGeometry(cell.label.ToQRect());
      label->show();
      ctrl.label = label;
    }
    ctrl.style = static_cast<std::uint32_t>(grid.lbl_align);
    ctrl.band = bandIndex;
    ctrl.Create(cell.control.ToQRect(), parent);
    // The label's mnemonic gives its control the focus.
    if (ctrl.label && ctrl.GetWnd()) ctrl.label->setBuddy(ctrl.GetWnd());
    // Every item view starts zero-time timers that only the event loop
    // ends, and Qt searches its whole timer list on each start and stop: on
    // a page of thousands of controls the timers are let run now and then,
    // so that building stays linear. Input waits until the page is built.
    if (j % 256 == 255) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  if (g.hasGroupBox) {
    auto* box = new QGroupBox(FromU16(grid.name), parent);
    SetCtrlId(box, 5001);
    SetWindowStyle(box, kStyleGroupBox);
    box->setAttribute(Qt::WA_TransparentForMouseEvents);
    box->setGeometry(g.groupBox.ToQRect());
    box->show();
    box->lower();  // behind the band's controls
    groupBox = box;
  }
}

void Layout::Write(std::u16string& out) const {
  out += u"layout={\ngrid={\nctrl_h=" + DoubleToWString(grid.ctrl_h) + u",\nlbl_w=" + DoubleToWString(grid.lbl_w) +
         u",\ncol=" + IntToWString(grid.col) + u",\ncol_ratio=" + JoinNumberList(grid.col_ratio) + u",\nratio=" +
         DoubleToWString(grid.ratio) + u",\nmargin=" + DoubleToWString(grid.margin) + u",\nname=" + grid.name +
         u",\nlbl_align=" + IntToWString(grid.lbl_align) + u"\n}\n\n";
  for (const auto& c : controls) c->Write(out);
  out += u"\n}\n\n";
}

// ------------------------------------------------------------ layout object

CLayoutProp::CLayoutProp(std::string_view fileName) : CLayoutProp(fileName, DeferLoad{}) { Load(); }

CLayoutProp::CLayoutProp(std::string_view fileName, DeferLoad) : m_path(MakeExePath(ToWide(fileName))) {}

CLayoutProp::~CLayoutProp() { m_layouts.clear(); }

void CLayoutProp::Load() {
  m_layouts.clear();
  m_name.clear();
  m_complete = false;
  m_clamped = false;
  m_state = FileState::Fine;
  m_form.clear();
  std::optional<std::string> bytes;
  if (!m_path.empty()) bytes = plat::ReadFileBytes(plat::WideToUtf8(m_path));
  const LayoutText file = bytes ? DecodeLayoutBytes(*bytes) : LayoutText();
  m_encoding = file.encoding;
  const QString path = FromU16(m_path);
  if (!file.opened || file.encoding == TextEncoding::Unknown) {
    // An empty layout, never saved over the file. The message names the
    // file, so that the user knows which one to mend.
    plat::Trace("layout: cannot read " + plat::WideToUtf8(m_path));
    Ui().Message(nullptr, QString(), QStringLiteral("failed to read the file!\n") + path, UiSeam::Icon::Warning);
    m_state = FileState::Unreadable;
    return;
  }
  LoadText(file.text);
  if (!file.Native()) {
    // Read as it is, but not written: the file keeps the form its editor gave it.
    m_complete = false;
    m_form = DescribeForm(*bytes, file.encoding).toStdU16String();
    plat::Trace("layout: " + plat::WideToUtf8(m_path) + " is " + plat::WideToUtf8(m_form) +
                " text; read, and never written back");
    m_state = FileState::OtherForm;
  } else if (m_clamped) {
    m_state = FileState::Clamped;
  } else if (!m_complete) {
    m_state = FileState::Malformed;
  }
}

std::u16string CLayoutProp::notice(bool writtenBack) const {
  const QString path = FromU16(m_path);
  QString text;
  switch (m_state) {
    case FileState::Fine: return {};
    case FileState::Unreadable:
      text = Tr(QStringLiteral("The layout file %1 could not be read."), QStringLiteral("无法读取布局文件 %1。")).arg(path);
      break;
    case FileState::OtherForm:
      text = Tr(QStringLiteral("The layout file %1 is stored as %2, not as UTF-16LE with a byte-order mark and CR LF "
                               "line ends; the page was laid out from it."),
                QStringLiteral("布局文件 %1 的存储形式是 %2，而不是带字节顺序标记、CR LF 换行的 UTF-16LE；本页按它布局。"))
                 .arg(path, FromU16(m_form));
      text += QLatin1Char(' ');
      text += writtenBack ? Tr(QStringLiteral("What is set on this page is not saved into it."),
                               QStringLiteral("本页的设置不会保存到该文件。"))
                          : Tr(QStringLiteral("This page never writes its layout file, so nothing is lost."),
                               QStringLiteral("本页从不写入布局文件，因此没有任何内容丢失。"));
      break;
    case FileState::Clamped:
    case FileState::Malformed:
      text = m_state == FileState::Clamped
                 ? Tr(QStringLiteral("The layout file %1 holds a share outside 0..1 or one that is no number: the page "
                                     "uses the nearest share that fits."),
                      QStringLiteral("布局文件 %1 含有 0..1 以外或不是数的比例：本页使用最接近的可用比例。"))
                       .arg(path)
                 : Tr(QStringLiteral("The layout file %1 is not well formed: the page shows what could be read."),
                      QStringLiteral("布局文件 %1 格式有误：本页只显示能读取的部分。"))
                       .arg(path);
      if (writtenBack)
        text += QLatin1Char(' ') + Tr(QStringLiteral("The file is not written, so what is set on this page is not saved."),
                                      QStringLiteral("该文件不会被写入，本页的设置不会保存。"));
      break;
  }
  return text.toStdU16String();
}

void CLayoutProp::NoteClamped() {
  m_clamped = true;
  m_complete = false;
}

void CLayoutProp::LoadText(std::u16string_view text) {
  m_complete = true;
  m_clamped = false;
  m_understood = false;
  const ParseIssues issues = ParseBraceBlocks(text, this, &CLayoutProp::OnLayoutBlock);
  if (issues.Any()) {
    m_complete = false;
    plat::Trace("layout: " + plat::WideToUtf8(m_path) + " is not well formed" +
                (issues.unclosedBrace ? " (a block is not closed)" : "") +
                (issues.missingBrace ? " (a name without a block)" : "") +
                (issues.tooDeep ? " (blocks nested too deep)" : "") +
                (issues.cutText ? " (a key or value longer than 255 characters)" : ""));
  }
  if (m_clamped) {
    m_complete = false;
    plat::Trace("layout: " + plat::WideToUtf8(m_path) + " holds a share outside 0..1 or no number; it was brought "
                "into range and the file is not written back");
  }
  // A text without one block of a layout is not a layout: writing it back
  // would replace whatever it is with an empty one.
  if (!m_understood) m_complete = false;
}

void CLayoutProp::OnLayoutBlock(void* owner, const std::u16string& name, const KeyValueMap* pairs) {
  auto* self = static_cast<CLayoutProp*>(owner);
  if (!pairs) {
    if (name == u"layout") {
      // A band whose grid block is missing reads as one with an empty grid
      // block (whose empty column list is one column of 0), so that what is
      // written for it reads back the same.
      self->m_layouts.emplace_back().grid.col_ratio = SplitNumberList(u"");
    }
    return;
  }
  const KeyValueMap& p = *pairs;
  if (name == u"layoutprop" || name == u"layout") self->m_understood = true;
  if (name == u"layoutprop") {
    self->m_name = Get(p, u"name");
  } else if (name == u"grid") {
    if (self->m_layouts.empty()) {
      plat::Trace("layout: a grid block outside a layout block is skipped");
      self->m_complete = false;
      return;
    }
    LayoutGrid& g = self->m_layouts.back().grid;
    bool clamped = false;
    g.ctrl_h = LayoutFraction(ValueNumber(Get(p, u"ctrl_h")), &clamped);
    g.lbl_w = LayoutFraction(ValueNumber(Get(p, u"lbl_w")), &clamped);
    g.col = ValueWhole(Get(p, u"col"));
    g.col_ratio.clear();
    for (const std::u16string& item : SplitTextList(Get(p, u"col_ratio")))
      g.col_ratio.push_back(LayoutFraction(ValueNumber(item), &clamped));
    g.ratio = LayoutFraction(ValueNumber(Get(p, u"ratio")), &clamped);
    g.margin = LayoutFraction(ValueNumber(Get(p, u"margin")), &clamped);
    if (clamped) self->NoteClamped();
    g.name = Get(p, u"name");
    g.lbl_align = ValueWhole(Get(p, u"lbl_align"));
  } else if (name == u"ctrl") {
    if (self->m_layouts.empty()) {
      plat::Trace("layout: a ctrl block outside a layout block is skipped");
      self->m_complete = false;
      return;
    }
    CDlgCtrls record;
    record.lblname = Get(p, u"lblname");
    record.name = Get(p, u"name");
    record.type = Get(p, u"type");
    record.id = ValueWhole(Get(p, u"id"));
    record.lbl = ValueWhole(Get(p, u"lbl")) > 0;
    record.value = Get(p, u"value");
    record.anychar = ValueNumber(Get(p, u"anychar")) >= 1.0;
    record.readonly = ValueNumber(Get(p, u"readonly")) >= 1.0;
    record.cbstrings = SplitTextList(Get(p, u"cbstrings"));
    record.cnames = SplitTextList(Get(p, u"cnames"));
    record.cw = SplitTextList(Get(p, u"cw"));
    // Column widths stay text (they are written back as read); the lists
    // bring them into range when they make their columns.
    bool clamped = false;
    for (const std::u16string& item : record.cw)
      if (!item.empty()) LayoutFraction(ValueNumber(item), &clamped);
    if (clamped) self->NoteClamped();
    std::unique_ptr<CDlgCtrls> ctrl =
        record.type == u"combobox_customized" ? self->CreateCustomCombobox() : MakeCtrlForType(record.type);
    if (!ctrl) {
      plat::Trace("layout: control \"" + plat::WideToUtf8(record.name) + "\" of unknown type \"" +
                  plat::WideToUtf8(record.type) + "\" is skipped");
      self->m_complete = false;
      return;
    }
    ctrl->CopyRecord(record);
    self->m_layouts.back().controls.push_back(std::move(ctrl));
  }
}

std::unique_ptr<CDlgCtrls> CLayoutProp::CreateCustomCombobox() { return nullptr; }

std::map<std::string, std::string> CLayoutProp::GetComboSelections(std::u16string_view prefix) {
  std::map<std::string, std::string> result;
  for (const Layout& band : m_layouts)
    for (const auto& c : band.controls) {
      if (!StartsWith(c->type, prefix)) continue;
      const int index = ValueWhole(c->value);
      if (index < 0 || static_cast<std::size_t>(index) >= c->cbstrings.size()) continue;
      result[ToNarrow(c->name)] = ToNarrow(c->cbstrings[static_cast<std::size_t>(index)]);
    }
  return result;
}

std::map<std::u16string, std::u16string> CLayoutProp::GetValueMap(std::u16string_view prefix) {
  std::map<std::u16string, std::u16string> result;
  for (const Layout& band : m_layouts)
    for (const auto& c : band.controls)
      if (StartsWith(c->type, prefix)) result[c->name] = c->value;
  return result;
}

std::vector<std::u16string> CLayoutProp::GetValues(std::u16string_view prefix) {
  std::vector<std::u16string> result;
  for (const Layout& band : m_layouts)
    for (const auto& c : band.controls)
      if (StartsWith(c->type, prefix)) result.push_back(c->value);
  return result;
}

std::vector<bool> CLayoutProp::GetFlags(std::u16string_view prefix) {
  std::vector<bool> result;
  for (const Layout& band : m_layouts)
    for (const auto& c : band.controls)
      if (StartsWith(c->type, prefix)) result.push_back(c->value != u"0");
  return result;
}

void CLayoutProp::SetChecks(std::u16string_view prefix, bool check, QWidget* except) {
  for (Layout& band : m_layouts)
    for (auto& c : band.controls) {
      if (!StartsWith(c->type, prefix) || c->GetWnd() == except) continue;
      if (auto* button = qobject_cast<QAbstractButton*>(c->GetWnd())) button->setChecked(check);
      c->value = check ? u"1" : u"0";
    }
}

void CLayoutProp::EnableByType(bool enable, std::u16string_view type) {
  for (Layout& band : m_layouts)
    for (auto& c : band.controls)
      if (c->type == type && c->GetWnd()) c->GetWnd()->setEnabled(enable);
}

std::u16string CLayoutProp::ToText() const {
  std::u16string out = u"layoutprop={\nname=" + m_name + u"\n}\n\n";
  for (const Layout& band : m_layouts) band.Write(out);
  return out;
}

bool CLayoutProp::IsWritable() const {
  bool writable = IsWritableValue(m_name);
  for (const Layout& band : m_layouts) {
    // The column shares are written with three decimals ("0.5" becomes
    // "0.500", an empty item "0"): the list must still be read whole.
    std::u16string shares = JoinNumberList(band.grid.col_ratio);
    TrimRightBlanks(shares);
    writable = writable && IsWritableValue(band.grid.name) && shares.size() <= kMaxKeyValue;
    for (const auto& c : band.controls) writable = writable && c->IsWritable();
  }
  return writable;
}

bool CLayoutProp::Save() {
  if (!m_complete) {
    plat::Trace("layout: " + plat::WideToUtf8(m_path) + " was not read completely and is not written back");
    return false;
  }
  if (!IsWritable()) {
    plat::Trace("layout: a name or value holds a character the layout file cannot hold; " +
                plat::WideToUtf8(m_path) + " is not written");
    return false;
  }
  return WriteUnicodeTextFile(m_path, ToText());
}

void CLayoutProp::BuildLayouts(const QRect& client, QWidget* parent) {
  std::vector<float> ratios;
  for (const Layout& band : m_layouts) ratios.push_back(band.grid.ratio);
  const std::vector<WRect> bands = StackBands(ratios, client.width(), client.height());
  for (std::size_t i = 0; i < m_layouts.size(); ++i) m_layouts[i].Build(bands[i], parent, static_cast<int>(i));
}

void CLayoutProp::HandleMessage(QWidget* window, unsigned message, std::uintptr_t wParam, bool redraw) {
  if (!window) return;
  if (message == WM_CHAR) {
    CDlgCtrls& ctrl = FindCtrlByWnd(window);
    if (!ctrl.GetWnd()) return;
    auto* edit = qobject_cast<QLineEdit*>(window);
    if (!edit) return;
    ctrl.value = ToU16(edit->text());
    if (redraw) {
      if (auto* num = qobject_cast<CNumEdit*>(window); num && num->markEmpty())
        num->setErrorHighlight(edit->text().isEmpty() ? 1 : 0);
      window->repaint();
    }
    return;
  }
  if (message != WM_COMMAND) return;
  CDlgCtrls& ctrl = FindCtrlByWnd(window);
  if (!ctrl.GetWnd() || ctrl.id != static_cast<std::int32_t>(LoWord(wParam))) return;
  const unsigned code = HiWord(wParam);
  if (code == CBN_SELCHANGE) {
    if (auto* combo = qobject_cast<QComboBox*>(window)) ctrl.value = IntToWString(combo->currentIndex());
  } else if (code == BN_CLICKED) {
    auto* button = qobject_cast<QAbstractButton*>(window);
    if (!button) return;
    const std::uint32_t kind = WindowStyle(window) & 0xFFFF;
    if (kind == 9) {
      SetChecks(u"radio", false, window);
      ctrl.value = button->isChecked() ? u"1" : u"0";
    } else if (kind == 3) {
      ctrl.value = button->isChecked() ? u"1" : u"0";
    }
  }
}

CDlgCtrls& CLayoutProp::FindCtrlByWnd(const QWidget* window) {
  if (window)
    for (Layout& band : m_layouts)
      for (auto& c : band.controls)
        if (c->GetWnd() == window) return *c;
  static CDlgCtrls empty;
  return EmptyRecord(empty);
}

CDlgCtrls& CLayoutProp::FindCtrlByName(std::u16string_view name) {
  for (Layout& band : m_layouts)
    for (auto& c : band.controls)
      if (c->name == name) return *c;
  static CDlgCtrls empty;
  return EmptyRecord(empty);
}

QWidget* CLayoutProp::FindWndByName(std::u16string_view name) { return FindCtrlByName(name).GetWnd(); }

}  // namespace ravik
