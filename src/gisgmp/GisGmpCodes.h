#pragma once

#include <QString>

// The codes and texts of GIS GMP that its messages carry and its replies show.

// The payer identifiers of GIS GMP for a kind of payer ("1" citizen, "2" resident company,
// "3" non-resident company, "4" sole trader), joined by ";": at most one here. A citizen without a
// document number gives none. Values are taken exactly as typed; an identifier of the wrong length
// raises Exception "Неверная длина идентификатора плательщика: <actual>. Ожидалось: <expected>".
QString MakePayerIdentifiers(const QString& kind, const QString& innOrKio, const QString& kpp,
                             const QString& citizenship, const QString& documentNumber,
                             const QString& documentType);

// The request kind keyword of a position in the charge-kind list; "CHARGE" for any other position.
QString ChargeKindName(int chargeKindIndex);

// A quittance status code with its explanation ("1" gives "1 (сквитировано)"); other texts unchanged.
QString QuittanceStatusText(const QString& statusCode);
