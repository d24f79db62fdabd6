#include "viewer/layout/Layout.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <cmath>

#include "platform/Host.h"
#include "platform/Text.h"
#include "viewer/TextConv.h"
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

Qt::Alignment LabelAlignment(std::int32_t style) {
  Qt::Alignment a = Qt::AlignVCenter;
  switch (style & 3) {
    case 1: return a | Qt::AlignHCenter;
    case 2: return a | Qt::AlignRight;
    default: return a | Qt::AlignLeft;
  }
}

}  // namespace

// ------------------------------------------------------------ geometry

std::vector<WRect> StackBands(const std::vector<float>& ratios, int clientWidth, int clientHeight) {
  std::vector<WRect> bands;
  int y = 0;
  for (float ratio : ratios) {
    const int h = static_cast<int>(static_cast<float>(clientHeight) * ratio);
    bands.push_back(WRect{0, y + 2, clientWidth, y + h});
    y += h;
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
  const int m = static_cast<int>(static_cast<float>(band.Width()) * grid.margin);
  if (!grid.name.empty()) {
    g.hasGroupBox = true;
    g.groupBox = WRect{band.left + m / 3, band.top, band.right - m / 3, band.bottom};
  }
  const int n = static_cast<int>(labels.size());
  if (n == 0) return g;
  const int col = grid.col < 1 ? 1 : grid.col;
  const int rows = static_cast<int>(std::ceil(static_cast<double>(n) / static_cast<double>(col)));
  g.rows = rows;
  const int rowH = (r.bottom - r.top) / rows;
  const int ctrlH = static_cast<int>(grid.ctrl_h * static_cast<float>(rowH));
  const int vOff = (rowH - ctrlH) / 2;
  const int innerW = r.right - r.left;
  auto colWidth = [&](std::size_t c) {
    const float f = c < grid.col_ratio.size() ? grid.col_ratio[c] : 0.0f;
    return static_cast<int>(f * static_cast<float>(innerW));
  };
  std::size_t c = 0;
  int colW = colWidth(0);
  int lblW = static_cast<int>(static_cast<float>(colW - m) * grid.lbl_w);
  int x = 0;
  int i = 0;
  for (int j = 0; j < n; ++j, ++i) {
    if (i > rows - 1) {
      x += colW;
      ++c;
      i = 0;
      colW = colWidth(c);
      lblW = static_cast<int>(static_cast<float>(colW - m) * grid.lbl_w);
    }
    const int t = r.top + i * rowH + vOff;
    CellGeometry cell;
    cell.hasLabel = labels[static_cast<std::size_t>(j)];
    if (cell.hasLabel) {
      cell.label = WRect{r.left + x + m / 2, t, r.left + x + lblW, t + ctrlH};
      const int left = r.left + x + m / 2 + lblW;
      cell.control = WRect{left, t, left + colW - m - lblW, t + ctrlH};
    } else {
      const int left = r.left + x + m / 2;
      cell.control = WRect{left, t, left + colW - m, t + ctrlH};
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
  std::optional<std::u16string> text = ReadUnicodeTextFile(m_path);
  if (!text) return;  // an empty layout; never saved over the file
  LoadText(*text);
}

void CLayoutProp::LoadText(std::u16string_view text) {
  m_complete = true;
  const ParseIssues issues = ParseBraceBlocks(text, this, &CLayoutProp::OnLayoutBlock);
  if (issues.Any()) {
    m_complete = false;
    plat::Trace("layout: " + plat::WideToUtf8(m_path) + " is not well formed" +
                (issues.unclosedBrace ? " (a block is not closed)" : "") +
                (issues.missingBrace ? " (a name without a block)" : "") +
                (issues.tooDeep ? " (blocks nested too deep)" : "") +
                (issues.cutText ? " (a key or value longer than 255 characters)" : ""));
  }
}

void CLayoutProp::OnLayoutBlock(void* owner, const std::u16string& name, const KeyValueMap* pairs) {
  auto* self = static_cast<CLayoutProp*>(owner);
  if (!pairs) {
    if (name == u"layout") self->m_layouts.emplace_back();
    return;
  }
  const KeyValueMap& p = *pairs;
  if (name == u"layoutprop") {
    self->m_name = Get(p, u"name");
  } else if (name == u"grid") {
    if (self->m_layouts.empty()) {
      plat::Trace("layout: a grid block outside a layout block is skipped");
      self->m_complete = false;
      return;
    }
    LayoutGrid& g = self->m_layouts.back().grid;
    g.ctrl_h = static_cast<float>(ValueNumber(Get(p, u"ctrl_h")));
    g.lbl_w = static_cast<float>(ValueNumber(Get(p, u"lbl_w")));
    g.col = ValueWhole(Get(p, u"col"));
    g.col_ratio = SplitNumberList(Get(p, u"col_ratio"));
    g.ratio = static_cast<float>(ValueNumber(Get(p, u"ratio")));
    g.margin = static_cast<float>(ValueNumber(Get(p, u"margin")));
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

bool CLayoutProp::Save() {
  if (!m_complete) {
    plat::Trace("layout: " + plat::WideToUtf8(m_path) + " was not read completely and is not written back");
    return false;
  }
  bool writable = IsWritableValue(m_name);
  for (const Layout& band : m_layouts) {
    writable = writable && IsWritableValue(band.grid.name);
    for (const auto& c : band.controls) writable = writable && c->IsWritable();
  }
  if (!writable) {
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
