#pragma once

#include <QList>

class QWidget;

// Shows whether fields apply. Group boxes and scroll boxes are not changed themselves: the flag
// goes to the controls inside them (labels there are left alone), nested groups included. A label
// named directly is enabled or disabled. Any other control stays enabled and editable, so its text
// stays readable and can still be clicked into, but it leaves the Tab order when `enabled` is
// clear and comes back in its old place when set; it takes the field colour when set and the
// background of the form around it when clear. Controls in `except`, and everything inside an
// excepted group, are not touched.
void SetControlsEnabled(const QList<QWidget*>& controls, bool enabled, const QList<QWidget*>& except = {});
