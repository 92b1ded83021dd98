#pragma once

#include <QString>
#include <QStringList>
#include <QUuid>

#include <atomic>
#include <functional>

// Small text and list helpers shared by the window, the value provider and the result display,
// and the two identifier sources of every message.

// The code of a list item written as "(code) description": the characters between the leading
// "(" and the first ")", when that ")" is at least the third character; otherwise empty.
QString ItemCode(const QString& item);

// Position of the first item whose ItemCode is exactly `value`; failing that, `value` read as a
// decimal integer, unless it lies past the last position (then `defaultIndex`); otherwise
// `defaultIndex`. A negative number means no selection and is given as -1.
int IndexOfCode(const QStringList& items, const QString& value, int defaultIndex);

// Position of the item equal to `text` regardless of letter case, or `defaultIndex`.
int IndexOfText(const QStringList& items, const QString& text, int defaultIndex);

// A list's selected position (`currentIndex`, -1 for none), or `defaultIndex` when nothing is
// selected. Callers pass the combo box's current index.
int SelectedIndex(int currentIndex, int defaultIndex);

// first + separator + second when both are non-empty, else first + second.
QString JoinNonEmpty(const QString& separator, const QString& first, const QString& second);

QString ChooseText(bool flag, const QString& first, const QString& second);

// True when `text` ends with `ending` regardless of letter case; an empty ending always matches.
bool EndsWithText(const QString& text, const QString& ending);

// True when the texts are equal with ASCII letters compared without regard to case and every other
// character exactly. Names and constants of the state systems are ASCII; a full Unicode fold would
// let look-alikes such as the Kelvin sign or the long s pass for them.
bool SameAsciiText(QStringView a, QStringView b);
bool SameAsciiText(QStringView a, QLatin1StringView b);

// True when every character is "0" to "9" (the empty text included).
bool IsDigits(const QString& text);

// Line breaks as "#13" and "#10" so that a multi-line text fits one key=value line, and back.
QString EncodeLineBreaks(const QString& text);
QString DecodeLineBreaks(const QString& text);

// The two identifier sources of every message. The program's session keeps one, so the Ids of
// its messages ascend from start to end; messages may be built on any thread.
class IdentifierSource final {
  public:
    // `lastSuffix` is the value before the first suffix; `guids` replaces the random GUIDs
    // (tests that need fixed identifiers).
    explicit IdentifierSource(quint32 lastSuffix = 0, std::function<QUuid()> guids = {});
    IdentifierSource(const IdentifierSource&) = delete;
    IdentifierSource& operator=(const IdentifierSource&) = delete;

    // The counter's next value, upper-case hexadecimal of at least five digits: "00001" first.
    QString NextIdSuffix();
    // A new GUID: 36 upper-case hexadecimal characters in groups 8-4-4-4-12, no braces.
    QString NewGuidText() const;

  private:
    std::atomic<quint32> counter_;
    std::function<QUuid()> guids_;
};
