#pragma once

#include "values/ControlReader.h"

#include <QDate>
#include <QHash>
#include <QString>
#include <QStringList>

// The named values of an operation's tab without the tab: for every control the value provider
// reads, its text and (for a list) the selected position. The window fills one from its controls,
// a program without widgets from a field file and the settings; the operations read nothing else.
class Form final : public IControlReader {
  public:
    struct Field {
        QString text;
        int index = -1;
    };

    void set(const QString& name, const QString& text, int index = -1)
    {
        fields_.insert(name, {text, index});
    }
    // Selects a position of a fixed list; the text is the item's, or empty for no selection.
    void select(const QString& name, const QStringList& items, int index);
    bool contains(const QString& name) const { return fields_.contains(name); }
    const QHash<QString, Field>& fields() const { return fields_; }

    // As the window answers them: a name the form does not hold is the caller's fault.
    QString ControlText(const QString& name) const override;
    int ControlIndex(const QString& name) const override;

  private:
    const Field& field(const QString& name) const;

    QHash<QString, Field> fields_;
};

// The items of the lists whose text is fixed (search types, order types, statuses, months, years)
// by control name; empty for any other control. The year lists reach the year after `today`.
QStringList ListItems(const QString& control, QDate today);

// The names of those lists.
QStringList FixedListNames();

// A memo's text as the window gives it: every line ended by CR LF but the last.
QString MemoText(const QString& text);
