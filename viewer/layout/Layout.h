// The layout engine: a page's controls come from a layout object read from
// the page's ".dlgc" file. The page is divided into horizontal bands (one
// Layout each, stacked from the top); each band places its controls in a
// grid of rows and columns, filling column 0 from top to bottom first, with
// an optional label in front of each control and an optional group box
// around the band. After building, the layout object is the page's model of
// its controls: found by name, values read and set by type, and kept current
// from the page's messages (HandleMessage).
#pragma once
#include <QGroupBox>
#include <QPointer>
#include <QRect>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/layout/DlgCtrls.h"
#include "viewer/layout/LayoutFile.h"

namespace ravik {

// The grid block of a band.
struct LayoutGrid {
  float ctrl_h = 0;       // control height as a fraction of the row height
  float lbl_w = 0;        // label width as a fraction of a cell's free width
  float ratio = 0;        // the band's share of the page height
  float margin = 0;       // horizontal margin as a fraction of the band width
  std::int32_t lbl_align = 0;  // style bits of the band's labels
  std::u16string name;    // group box caption; empty: no group box
  std::vector<float> col_ratio;  // column widths as fractions of the inner width
  std::int32_t col = 0;   // number of columns
};

// A rectangle with Windows edges (right and bottom are outside it).
struct WRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  QRect ToQRect() const { return QRect(left, top, right - left, bottom - top); }
  bool operator==(const WRect&) const = default;
};

// Where a band puts one control (and its label).
struct CellGeometry {
  bool hasLabel = false;
  WRect label;
  WRect control;
};

struct BandGeometry {
  WRect inner;               // the band less the group box's frame and caption
  int rows = 0;
  std::vector<CellGeometry> cells;
  bool hasGroupBox = false;
  WRect groupBox;
};

// The band rectangles of a page with the client size (width, height): each
// band is height x ratio high (truncated) and starts 2 pixels below the end
// of the one above.
std::vector<WRect> StackBands(const std::vector<float>& ratios, int clientWidth, int clientHeight);
// The cells of a band. `labels[j]` tells whether control j has a label. A
// band without controls gets only its group box; a column count below 1
// counts as 1 and missing column ratios count as 0.
BandGeometry ComputeBandGeometry(const LayoutGrid& grid, const std::vector<bool>& labels, const WRect& band);

// One band.
class Layout {
 public:
  Layout() = default;
  Layout(Layout&&) = default;
  Layout& operator=(Layout&&) = default;
  virtual ~Layout();

  // Creates the band's labels, controls and group box inside `band`.
  void Build(const WRect& band, QWidget* parent, int bandIndex);
  // Appends the band's "layout" block with its controls.
  void Write(std::u16string& out) const;

  LayoutGrid grid;
  QPointer<QGroupBox> groupBox;
  std::vector<std::unique_ptr<CDlgCtrls>> controls;
};

// The layout object of one page.
class CLayoutProp {
 public:
  // Reads "<executable folder>/<fileName>" (8-bit text in the system code
  // page). A file that cannot be read or parsed leaves an empty or partial
  // layout, which is never saved over the file.
  explicit CLayoutProp(std::string_view fileName);
  virtual ~CLayoutProp();
  CLayoutProp(const CLayoutProp&) = delete;
  CLayoutProp& operator=(const CLayoutProp&) = delete;

  // Slot 1: makes the control of a "combobox_customized" block; the base
  // makes none (the block is then skipped). A subclass that overrides it
  // constructs itself with the deferred constructor and calls Load().
  virtual std::unique_ptr<CDlgCtrls> CreateCustomCombobox();
  // Selection by type prefix: a control takes part when its type begins
  // with `prefix`.
  // Name -> selected "cbstrings" item, both as 8-bit text (controls whose
  // selection lies outside their list are left out).
  virtual std::map<std::string, std::string> GetComboSelections(std::u16string_view prefix);
  virtual std::map<std::u16string, std::u16string> GetValueMap(std::u16string_view prefix);
  virtual std::vector<std::u16string> GetValues(std::u16string_view prefix);
  // True unless the value is exactly "0".
  virtual std::vector<bool> GetFlags(std::u16string_view prefix);
  // Checks or unchecks every such control but `except`, and records "1"/"0".
  virtual void SetChecks(std::u16string_view prefix, bool check, QWidget* except);
  // Enables or disables the window of every control whose type is `type`.
  virtual void EnableByType(bool enable, std::u16string_view type);
  // Writes the layout back to its file (atomically). Refused (false) for a
  // layout whose file could not be read or parsed completely, and for one
  // holding a text the format cannot hold.
  virtual bool Save();

  // Builds every band inside the page's client rectangle.
  void BuildLayouts(const QRect& client, QWidget* parent);
  // Keeps values current from the page's messages: `window` is the control
  // the message names (lParam), `redraw` marks empty number edits.
  void HandleMessage(QWidget* window, unsigned message, std::uintptr_t wParam, bool redraw);

  // Never null: a shared empty record (window null) when nothing matches.
  CDlgCtrls& FindCtrlByWnd(const QWidget* window);
  CDlgCtrls& FindCtrlByName(std::u16string_view name);
  QWidget* FindWndByName(std::u16string_view name);

  // Reads layout text (the file's content, line breaks included) into the
  // records; used by the constructor and by Load().
  void LoadText(std::u16string_view text);
  // Reads the file named at construction.
  void Load();

  const std::u16string& path() const { return m_path; }
  const std::u16string& name() const { return m_name; }
  void setName(std::u16string name) { m_name = std::move(name); }
  std::vector<Layout>& layouts() { return m_layouts; }
  const std::vector<Layout>& layouts() const { return m_layouts; }
  // Whether the file was read and every block of it understood (only such
  // a layout is written back).
  bool IsComplete() const { return m_complete; }
  // How the file was stored (Unknown when it could not be read).
  TextEncoding encoding() const { return m_encoding; }
  // What the page tells the user about its layout file: why it could not be
  // read, how it differs from the layout format and, for a page that writes
  // its layout back (`writtenBack`), that the page's settings are not saved;
  // empty when all is well.
  std::u16string notice(bool writtenBack = true) const;
  // The layout's text as Save writes it (LF line ends).
  std::u16string ToText() const;
  // Whether that text reads back to the same records: no name or value
  // holds a character the format cannot hold, and none is too long to be
  // read whole as written.
  bool IsWritable() const;

 protected:
  struct DeferLoad {};
  // Stores the path only; the subclass calls Load() when it is ready.
  CLayoutProp(std::string_view fileName, DeferLoad);

 private:
  static void OnLayoutBlock(void* owner, const std::u16string& name, const KeyValueMap* pairs);
  // A number of the file was brought into its range.
  void NoteClamped();

  std::u16string m_path;
  std::u16string m_name;
  std::vector<Layout> m_layouts;
  bool m_complete = false;
  bool m_clamped = false;
  bool m_understood = false;
  TextEncoding m_encoding = TextEncoding::Unknown;
  // What the notice tells of the file.
  enum class FileState { Fine, Unreadable, OtherForm, Clamped, Malformed };
  FileState m_state = FileState::Fine;
  std::u16string m_form;  // how a file in another form is stored, in words
};

}  // namespace ravik
