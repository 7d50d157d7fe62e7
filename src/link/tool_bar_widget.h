#pragma once
// The text-only tool buttons of the tool windows' own tool bars.
#include <QString>

class QToolButton;
class QWidget;

namespace ulv {

// A text-only tool button with its defined name and hint, added to `parent`:
// a tool bar takes it as a widget, any other parent through its layout.
QToolButton* AddTextButton(QWidget* parent, const char* name, const QString& caption,
                           const QString& hint = QString());
// Every tool button inside `bar` gets this height (tool windows are shown
// with their buttons 34 pixels high).
void SetToolButtonHeights(QWidget* bar, int height);

}  // namespace ulv
