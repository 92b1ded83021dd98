#pragma once

#include "client/Form.h"

#include <QDate>
#include <QString>
#include <QStringList>

class IControlReader;

// The field files of the four data tabs: the operator's templates of a message, kept as key=value
// lines that hold the raw texts of the controls.
enum class FieldFileKind { Payment, Charge, Order, DocumentDetails };

// The tab's file in the current folder that is loaded at start-up and proposed by the dialogs.
QString StartupFieldFile(FieldFileKind kind);

// The memo a tab keeps below its fields as the file's free text after an empty line; empty for a
// tab without one.
QString TailMemoName(FieldFileKind kind);

// The keys of the tab's file, in the order they are written.
QStringList FieldFileKeys(FieldFileKind kind);

// The control each key of the tab's file fills, in the same order.
QStringList FieldFileControls(FieldFileKind kind);

// The tab's named values as the lines of the file (free text excluded); lists are stored as
// their position, their item's code or its text, as each key always was.
QStringList FieldFileLines(FieldFileKind kind, const IControlReader& controls);

// Puts the file's values into the form, every key of the tab: a missing key empties its field or
// selects the list's default. `today` decides how far the year lists reach.
void LoadFieldLines(FieldFileKind kind, const QStringList& lines, Form& form, QDate today);

// The free text after the first empty line, as the result memo shows it.
QString FieldFileTail(const QStringList& lines);

// Adds the memo's text as the free text unless it is blank.
void AppendFieldFileTail(QStringList& lines, const QString& memoText);
