#pragma once

// Replies of the state systems as the loopback server hands them out: SOAP envelopes around the
// GIS GMP and GIS ZhKH answers the reply readers know.

#include "support/LoopbackHttpServer.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

QByteArray Envelope(const QString& body, const QString& root = QStringLiteral("soap:Envelope"));
QString GisGmpReply(const QString& response, const QString& status = QStringLiteral("RESULT"));
// An accepted payment package.
QString ImportResult(const QString& packageId);
QString PackageStatus(const QString& code, const QString& description = {});
// One charge document as GIS GMP sends it, Base64 inside its wrapper.
QString ChargeInfo(const QString& billId, const QString& amount);
QString ExportCharges(const QString& chargesAttributes, const QStringList& charges);
QString AckResult(const QString& messageGuid, const QString& status = QStringLiteral("ACCEPT"));
QString StateResult(const QString& transportId);
QString DocumentDetails(const QString& content);

// A reply of that body with the XML content type.
TScriptedReply Xml(const QByteArray& body, int status = 200);
// The answer in its envelope.
TScriptedReply Soap(const QString& body);
