#pragma once

#include "foundation/Exceptions.h"
#include "foundation/TextHelper.h"
#include "values/ControlReader.h"
#include "values/ValuesType.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

// A value key that has no source under the operation in progress.
ZELVAN_DECLARE_EXCEPTION(EUnknownValue, Exception);

// A value that holds a character XML 1.0 does not allow; sending it would make the signed
// message ill-formed, so it is refused before anything is built.
ZELVAN_DECLARE_EXCEPTION(EInvalidValue, Exception);

// The window's state that values are drawn from besides its controls.
struct TValuesState {
    TValuesType ValuesType = TValuesType::vtGISGMPPayment;
    QDateTime ExecuteDateTime; // when the operation began; null gives empty date keys
    qint32 PagingPageLength = 0;
    qint32 PagingPageNumber = 0;
    QDate Today; // the local date, from the same clock as ExecuteDateTime
    // The GUIDs of the messages (entity and transport identifiers); none: such a key fails.
    const IdentifierSource* Identifiers = nullptr;
};

// The value of the key `name` (ASCII letters in any case) for the operation in `state`, rendered
// and escaped for the element it goes into. Raises EUnknownValue when the key has no source,
// EInvalidValue for a character XML cannot carry, EConvertError for a number or date text that
// does not read.
QString GetFieldValue(const QString& name, const IControlReader& controls, const TValuesState& state);

// The keys that have a source under the operation `type`, in resolution order.
QStringList ValueKeys(TValuesType type);
