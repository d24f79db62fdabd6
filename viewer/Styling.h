// Dialog styling shared by every window of the viewer: three fonts sized
// from the screen height, fonts and colours applied to a window's direct
// children, and proportional resizing of a window's children.
#pragma once
#include <QFont>
#include <QIcon>
#include <QRect>

class QWidget;

namespace ravik {

// (Re)creates the fonts: normal (height h/44), large (h/25) and fixed
// (h/42), integer divisions, heights in pixels.
void CreateDialogFonts(int h);
const QFont& NormalFont();
const QFont& LargeFont();
const QFont& FixedFont();
// The viewer's icon, "ravik.png" beside the executable (empty when missing).
QIcon AppIcon();

// Gives every direct child of `dialog` the normal font; text editors get
// the bold dark-red program text format.
void StyleDialogChildren(QWidget* dialog);
// Undoes what StyleDialogChildren attached to `dialog` (nothing to free yet:
// the number edits come with the pages).
void UnstyleDialog(QWidget* dialog);

// The scale factor of one direction: newSize / oldSize in single precision;
// a quotient that is not finite counts as 1.
float ScaleFactor(int newSize, int oldSize);
// A child rectangle scaled by (fx, fy): left, top, width and height each
// multiplied and truncated.
QRect ScaleRect(const QRect& rect, float fx, float fy);
// Scales every direct child of `dialog` from the client size `oldClient`
// to (newWidth, newHeight); list and table views scale their columns too.
void ResizeDialogChildren(int newWidth, int newHeight, QWidget* dialog, const QRect& oldClient);

}  // namespace ravik
