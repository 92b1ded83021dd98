#pragma once

#include <QString>

class ISOAPValues;

// The four GIS ZhKH request elements; each becomes the Body of the signed envelope. The container
// name belongs to the builders' common signature and is not used here.
QString SoapCreateExportPaymentDocumentDetailsRequest(const QString& containerName, ISOAPValues& values);
QString SoapCreateImportNotificationsOfOrderExecutionRequest(const QString& containerName,
                                                             ISOAPValues& values);
QString SoapCreateImportNotificationsOfOrderExecutionCancellationRequest(const QString& containerName,
                                                                         ISOAPValues& values);
QString SoapCreateGetStateRequest(const QString& containerName, ISOAPValues& values);
