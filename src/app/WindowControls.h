#pragma once

#include "client/Form.h"
#include "values/ControlReader.h"

#include <QList>
#include <QString>

class QWidget;

// The named controls of a window as the value provider and the field files read them, and the
// form a field file fills them from.
class WindowControls final : public IControlReader {
  public:
    explicit WindowControls(const QWidget& root) : root_(root) {}

    // A name the window does not have is a fault of the caller and raises the general exception.
    QString ControlText(const QString& name) const override;
    int ControlIndex(const QString& name) const override;
    QWidget* control(const QString& name) const;

    // Every named edit, memo and list with its text and position as they stand now: what an
    // operation on another thread reads.
    Form snapshot() const;
    // Puts the form's texts and positions into the controls of those names.
    void show(const Form& form) const;

    // Brings views back to their empty state: scroll boxes to their origin, memos emptied,
    // combo boxes' item lists emptied. Other controls are left alone.
    static void ResetViews(const QList<QWidget*>& controls);

  private:
    const QWidget& root_;
};

// A memo's text from a field file, as the memo shows it.
void SetMemoText(QWidget* memo, const QString& text);
