// The controls of a layout: one CDlgCtrls object per "ctrl" block, holding
// the block's settings and, once its band is built, the window it created.
// The block's "type" chooses the class (MakeCtrlForType).
#pragma once
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QRect>
#include <QToolButton>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ravik {

class CDlgCtrls {
 public:
  CDlgCtrls() = default;
  // Copies the record; windows are not copied.
  CDlgCtrls(const CDlgCtrls& other) { CopyRecord(other); }
  CDlgCtrls& operator=(const CDlgCtrls&) = delete;
  // Deletes the window, then the label.
  virtual ~CDlgCtrls();

  // Creates the window in `rect` (parent coordinates) as a child of `parent`.
  virtual QWidget* Create(const QRect& rect, QWidget* parent);
  // Reloads the window from the record.
  virtual void Refill();
  virtual int GetNumber();
  virtual QWidget* GetWnd() const;

  // The "cbstrings" item whose index is the whole-number value of "value";
  // empty when the index lies outside the list.
  std::u16string GetSelectedCbString() const;
  std::u16string GetCbStringsText() const;
  std::u16string GetCnamesText() const;
  std::u16string GetCwText() const;
  // Appends the control's "ctrl" block.
  void Write(std::u16string& out) const;
  // Copies every record field (not the windows).
  void CopyRecord(const CDlgCtrls& from);
  // Whether every text of the record can be written and read back unchanged.
  bool IsWritable() const;

  std::int32_t id = 0;
  bool lbl = false;
  bool anychar = false;
  bool readonly = false;
  std::u16string lblname, name, type, value;
  std::vector<std::u16string> cbstrings, cnames, cw;
  QPointer<QWidget> window;
  QPointer<QLabel> label;
  std::uint32_t style = 0;
  std::int32_t band = 0;

 protected:
  // Takes `w` as the control's window, places it and gives it the id and style.
  QWidget* Adopt(QWidget* w, const QRect& rect, std::uint32_t wndStyle);
  // Reports to the parent window: WM_COMMAND (id | code << 16, window).
  void SendCommand(int code);
};

class CDlgCtrlsEdit : public CDlgCtrls {
 public:
  using CDlgCtrls::CDlgCtrls;
  QWidget* Create(const QRect& rect, QWidget* parent) override;
};

class CDlgCheckBox : public CDlgCtrls {
 public:
  using CDlgCtrls::CDlgCtrls;
  QWidget* Create(const QRect& rect, QWidget* parent) override;
  // The check box's running number, shared by every check box of the program.
  int GetNumber() override { return number; }
  std::int32_t number = 0;
  // How many check boxes were created so far (the next number).
  static int CreatedCount();
};

// An up-down control: two arrow buttons and no number of its own (its
// buddy edit shows the number). Values run from the minimum to the maximum;
// the arrows repeat while held.
class CUpDown : public QWidget {
  Q_OBJECT

 public:
  explicit CUpDown(QWidget* parent = nullptr);
  int value() const { return m_value; }
  void setValue(int value);
  void setRange(int minimum, int maximum);
  void stepUp() { setValue(m_value + 1); }
  void stepDown() { setValue(m_value - 1); }
  QToolButton* upButton() const { return m_up; }
  QToolButton* downButton() const { return m_down; }

 signals:
  void valueChanged(int value);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QToolButton* m_up;
  QToolButton* m_down;
  int m_value = 0;
  int m_minimum = 0;
  int m_maximum = 100;
};

// An up-down control. Its buddy is the edit created just before it (when
// the window before it is one): the spin's value is the edit's number.
class CDlgSpin : public CDlgCtrls {
 public:
  using CDlgCtrls::CDlgCtrls;
  QWidget* Create(const QRect& rect, QWidget* parent) override;
  QPointer<QWidget> buddy;
};

class CDlgCtrlsLabel : public CDlgCtrls {
 public:
  using CDlgCtrls::CDlgCtrls;
  QWidget* Create(const QRect& rect, QWidget* parent) override;
};

class CDlgCtrlsCombobox : public CDlgCtrls {
 public:
  using CDlgCtrls::CDlgCtrls;
  QWidget* Create(const QRect& rect, QWidget* parent) override { return CreateBox(rect, parent); }
  // Deletes every item, adds every "cbstrings" item, selects the last one
  // and records its index as the value.
  void Refill() override;
  virtual QWidget* CreateBox(const QRect& rect, QWidget* parent);
};

class CDlgCtrlsButton : public CDlgCtrls {
 public:
  using CDlgCtrls::CDlgCtrls;
  QWidget* Create(const QRect& rect, QWidget* parent) override;
};

class CDlgCtrlsRadioButton : public CDlgCtrls {
 public:
  using CDlgCtrls::CDlgCtrls;
  QWidget* Create(const QRect& rect, QWidget* parent) override;
};

// A button with a drop-down menu holding one item, "设置", whose command is
// the control's id.
class CDlgCtrlsMfcButton : public CDlgCtrls {
 public:
  using CDlgCtrls::CDlgCtrls;
  ~CDlgCtrlsMfcButton() override;
  QWidget* Create(const QRect& rect, QWidget* parent) override;
  QPointer<QMenu> menu;
};

class CDlgCtrlsEditbrowse : public CDlgCtrls {
 public:
  using CDlgCtrls::CDlgCtrls;
  QWidget* Create(const QRect& rect, QWidget* parent) override;
};

class CDlgCtrlsTree : public CDlgCtrls {
 public:
  using CDlgCtrls::CDlgCtrls;
  QWidget* Create(const QRect& rect, QWidget* parent) override;
};

class CDlgCtrlsSysListView32 : public CDlgCtrls {
 public:
  using CDlgCtrls::CDlgCtrls;
  QWidget* Create(const QRect& rect, QWidget* parent) override;
};

class CDlgCtrlsCListCtrlEdited : public CDlgCtrls {
 public:
  using CDlgCtrls::CDlgCtrls;
  QWidget* Create(const QRect& rect, QWidget* parent) override;
};

class CDlgCtrlsRichEdit : public CDlgCtrls {
 public:
  using CDlgCtrls::CDlgCtrls;
  QWidget* Create(const QRect& rect, QWidget* parent) override;
};

class CDlgCtrlsMFCShellListCtrl : public CDlgCtrls {
 public:
  using CDlgCtrls::CDlgCtrls;
  QWidget* Create(const QRect& rect, QWidget* parent) override;
};

class CDlgCtrlsMFCShellTreeCtrl : public CDlgCtrls {
 public:
  using CDlgCtrls::CDlgCtrls;
  QWidget* Create(const QRect& rect, QWidget* parent) override;
};

// A new control object of the class `type` names, or null for a type not in
// the table (and for "combobox_customized", which the layout's hook makes).
std::unique_ptr<CDlgCtrls> MakeCtrlForType(const std::u16string& type);

// The windows of the shell list and shell tree ("mfcshelllist",
// "mfcshelltree"): CCustomShellList and CShellTree unless a factory is
// installed.
using ShellWidgetFactory = std::function<QWidget*(QWidget* parent)>;
void SetShellListFactory(ShellWidgetFactory factory);
void SetShellTreeFactory(ShellWidgetFactory factory);

// Window style bits.
enum : std::uint32_t {
  kStyleEdit = 0x50810084,
  kStyleEditReadOnly = 0x50810884,
  kStyleCheckBox = 0x50010003,
  kStyleSpin = 0x50010026,
  kStyleLabel = 0x50000200,
  kStyleCombo = 0x50010003,
  kStyleButton = 0x50010000,
  kStyleRadio = 0x50010009,
  kStyleMfcButton = 0x50019383,
  kStyleEditBrowse = 0x50810080,
  kStyleTree = 0x50010023,
  kStyleList = 0x56810009,
  kStyleListOwnerData = 0x56811009,
  kStyleListEdited = 0x56810409,
  kStyleRichEdit = 0x50311184,
  kStyleShellList = 0x50910009,
  kStyleShellTree = 0x50B10023,
  kStyleGroupBox = 0x50000007,
  kLvsOwnerData = 0x1000
};

}  // namespace ravik
