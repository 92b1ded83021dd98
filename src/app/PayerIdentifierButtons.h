#pragma once

class QWidget;

namespace Ui {
class TfmZelvan;
}

// The three buttons of the main window that open the payer identifier dialog over `window` and
// put what it computed into their fields.
void ConnectPayerIdentifierButtons(Ui::TfmZelvan& ui, QWidget& window);
