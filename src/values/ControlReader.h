#pragma once

#include <QString>

// What the value provider may see of the window: the current text and the selected item of a
// control, both by the control's object name. The provider never touches widget classes, so it
// can be driven by anything that answers these two questions.
class IControlReader {
  public:
    virtual ~IControlReader() = default;

    // The control's text as the operator sees it; a memo's lines are joined by CR LF.
    virtual QString ControlText(const QString& name) const = 0;

    // The selected item position of a list control, -1 when nothing is selected.
    virtual int ControlIndex(const QString& name) const = 0;
};
